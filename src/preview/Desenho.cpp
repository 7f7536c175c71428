#include "preview/Desenho.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QPainter>
#include <QPen>
#include <QTransform>
#include <QVector>

#include <climits>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "common/Strings.h"

namespace bilhetor::preview {

namespace {

const char* const kArquivoFonte = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf";

// The preview's colours; the PNG palette holds exactly these.
const QRgb kPapel = qRgb(255, 255, 255);
const QRgb kTinta = qRgb(0, 0, 0);
const QRgb kErroFundo = qRgb(255, 228, 228);
const QRgb kErroTexto = qRgb(176, 0, 0);
const QRgb kNotaFundo = qRgb(228, 238, 255);
const QRgb kNotaTexto = qRgb(31, 78, 154);
const QRgb kGaveta = qRgb(224, 128, 0);
const QRgb kBip = qRgb(128, 64, 176);
const QRgb kCorte = qRgb(0, 102, 204);
const QRgb kLogo = qRgb(46, 125, 50);
const QRgb kLogoFundo = qRgb(232, 245, 233);
const QRgb kContorno = qRgb(170, 170, 170);

// Qt's debug messages and warnings of the application the preview made; the
// others go on to standard error.
void FiltrarMensagensQt(QtMsgType tipo, const QMessageLogContext&, const QString& mensagem) {
  if (tipo == QtDebugMsg || tipo == QtInfoMsg || tipo == QtWarningMsg) return;
  std::fprintf(stderr, "%s\n", mensagem.toLocal8Bit().constData());
}

// The printer's two fonts and the glyphs already rendered.
class TFontes {
 public:
  TFontes() {
    QString familia;
    if (std::filesystem::exists(kArquivoFonte)) {
      const int id = QFontDatabase::addApplicationFont(QString::fromUtf8(kArquivoFonte));
      if (id >= 0) familia = QFontDatabase::applicationFontFamilies(id).value(0);
    }
    QFont base = familia.isEmpty() ? QFontDatabase::systemFont(QFontDatabase::FixedFont) : QFont(familia);
    base.setStyleHint(QFont::TypeWriter);
    base.setStyleStrategy(QFont::NoAntialias);
    base.setHintingPreference(QFont::PreferFullHinting);
    fonteA_ = base;
    fonteA_.setPixelSize(20);  // advance 12, ascent + descent 24
    fonteB_ = base;
    fonteB_.setPixelSize(14);  // advance 8 in a 9-dot cell, height 16
    anotacao_ = base;
    anotacao_.setPixelSize(11);
  }

  const QFont& Anotacao() const { return anotacao_; }

  // The glyph in its cell (12 x 24 or 9 x 17), transparent around it.
  const QImage& Glifo(char32_t codigo, bool fonteB, bool italico, bool branco) {
    const uint64_t chave = static_cast<uint64_t>(codigo) | (uint64_t{fonteB} << 32) | (uint64_t{italico} << 33) |
                           (uint64_t{branco} << 34);
    auto it = cache_.find(chave);
    if (it != cache_.end()) return it->second;
    const int largura = fonteB ? kLarguraFonteB : kLarguraFonteA;
    const int altura = fonteB ? kAlturaFonteB : kAlturaFonteA;
    const int linhaBase = fonteB ? 13 : 19;
    QImage img(largura, altura, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    {
      QPainter p(&img);
      p.setRenderHint(QPainter::Antialiasing, false);
      p.setRenderHint(QPainter::TextAntialiasing, false);
      p.setFont(fonteB ? fonteB_ : fonteA_);
      p.setPen(QColor::fromRgb(branco ? kPapel : kTinta));
      if (italico) {
        // Slanted about the base line, leaning right; moved left so that the
        // top stays inside the cell.
        p.translate(-2, linhaBase);
        p.shear(-0.22, 0);
        p.translate(0, -linhaBase);
      }
      const char32_t texto[1] = {codigo};
      p.drawText(QPointF(0, linhaBase), QString::fromUcs4(texto, 1));
    }
    return cache_.emplace(chave, std::move(img)).first->second;
  }

 private:
  QFont fonteA_, fonteB_, anotacao_;
  std::unordered_map<uint64_t, QImage> cache_;
};

std::mutex& Trava() {
  static std::mutex m;
  return m;
}

// Kept until the process ends, like the application below: destroyed after
// main returns, QFont and QImage would reach into Qt's globals already gone.
TFontes& Fontes() {
  static TFontes& fontes = *std::make_unique<TFontes>().release();
  return fontes;
}

void DesenharGlifo(QPainter& p, TFontes& fontes, const TGlifo& g) {
  const TEstiloTexto& e = g.estilo;
  const int alturaCelula = e.AlturaCelula();
  if (e.invertido) p.fillRect(g.x, g.y, g.largura, alturaCelula, QColor::fromRgb(kTinta));
  if (g.codigo != U' ') {
    const QImage& img = fontes.Glifo(g.codigo, e.fonteB, e.italico, e.invertido);
    const QRect alvo(g.x, g.y, img.width() * e.escalaX, img.height() * e.escalaY);
    p.drawImage(alvo, img);
    // Emphasized: the printer prints every dot twice, one dot apart.
    if (e.negrito) p.drawImage(alvo.translated(e.escalaX, 0), img);
  }
  if (e.sublinhado > 0 && !e.invertido)
    p.fillRect(g.x, g.y + alturaCelula - e.sublinhado, g.largura, e.sublinhado, QColor::fromRgb(kTinta));
}

void DesenharBitmap(QPainter& p, const TBitmap& b) {
  if (b.largura <= 0 || b.altura <= 0) return;
  const std::size_t porLinha = static_cast<std::size_t>((b.largura + 7) / 8);
  if (b.raster.size() < porLinha * static_cast<std::size_t>(b.altura)) return;
  QImage img(b.largura, b.altura, QImage::Format_Mono);
  if (img.isNull()) return;
  img.setColorCount(2);
  img.setColor(0, qRgba(0, 0, 0, 0));
  img.setColor(1, kTinta);
  for (int y = 0; y < b.altura; ++y)
    std::memcpy(img.scanLine(y), b.raster.data() + static_cast<std::size_t>(y) * porLinha, porLinha);
  p.drawImage(QRect(b.x, b.y, b.LarguraImpressa(), b.AlturaImpressa()), img);
}

QString Texto1252(const std::string& s) { return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size())); }

void DesenharAnotacao(QPainter& p, TFontes& fontes, const TAnotacao& a) {
  const QRect r(a.area.x, a.area.y, a.area.largura, a.area.altura);
  p.setFont(fontes.Anotacao());
  switch (a.tipo) {
    case TTipoAnotacao::Desconhecido:
    case TTipoAnotacao::Erro:
    case TTipoAnotacao::Nota: {
      const bool nota = a.tipo == TTipoAnotacao::Nota;
      p.fillRect(r, QColor::fromRgb(nota ? kNotaFundo : kErroFundo));
      p.setPen(QColor::fromRgb(nota ? kNotaTexto : kErroTexto));
      const QString marca = a.tipo == TTipoAnotacao::Desconhecido ? "? " : (nota ? "i " : "! ");
      p.drawText(r.adjusted(4, 0, -2, 0), Qt::AlignVCenter | Qt::AlignLeft, marca + Texto1252(a.texto));
      break;
    }
    case TTipoAnotacao::Gaveta:
    case TTipoAnotacao::Bip:
      p.fillRect(r, QColor::fromRgb(a.tipo == TTipoAnotacao::Gaveta ? kGaveta : kBip));
      p.setPen(QColor::fromRgb(kPapel));
      p.drawText(r, Qt::AlignCenter, Texto1252(a.texto));
      break;
    case TTipoAnotacao::CorteTotal:
    case TTipoAnotacao::CorteParcial: {
      const int y = r.center().y();
      QPen caneta(QColor::fromRgb(kCorte));
      caneta.setWidth(2);
      if (a.tipo == TTipoAnotacao::CorteParcial) {
        caneta.setStyle(Qt::DashLine);
        p.setPen(caneta);
        // A partial cut leaves the middle of the paper uncut.
        p.drawLine(r.left(), y, r.center().x() - 12, y);
        p.drawLine(r.center().x() + 12, y, r.right(), y);
      } else {
        p.setPen(caneta);
        p.drawLine(r.left(), y, r.right(), y);
      }
      p.setPen(QColor::fromRgb(kCorte));
      const QRect rotulo(r.right() - 109, r.top(), 110, r.height());
      p.fillRect(rotulo, QColor::fromRgb(kPapel));
      p.drawText(rotulo.adjusted(4, 0, -6, 0), Qt::AlignRight | Qt::AlignVCenter, Texto1252(a.texto));
      break;
    }
    case TTipoAnotacao::Logo: {
      p.fillRect(r, QColor::fromRgb(kLogoFundo));
      QPen caneta(QColor::fromRgb(kLogo));
      caneta.setStyle(Qt::DashLine);
      p.setPen(caneta);
      p.drawRect(r.adjusted(0, 0, -1, -1));
      p.setPen(QColor::fromRgb(kLogo));
      p.drawText(r.adjusted(4, 4, -4, -4), Qt::AlignCenter | Qt::TextWordWrap, Texto1252(a.texto));
      break;
    }
  }
}

void Desenhar(QPainter& p, TFontes& fontes, const TFolha& f);

// A page of page mode, drawn turned straight onto the paper.
void DesenharPagina(QPainter& p, TFontes& fontes, const TPaginaImpressa& pg) {
  if (!pg.conteudo || pg.conteudo->largura <= 0 || pg.conteudo->altura <= 0) return;
  const QRect r(pg.area.x, pg.area.y, pg.area.largura, pg.area.altura);
  const int w = pg.conteudo->largura, h = pg.conteudo->altura;
  p.save();
  p.setClipRect(r);
  switch (pg.direcao % 4) {
    case 1:  // bottom to top: the content's top left goes to the area's bottom left
      p.translate(r.left(), r.top() + w);
      p.rotate(-90);
      break;
    case 2:
      p.translate(r.left() + w, r.top() + h);
      p.rotate(180);
      break;
    case 3:  // top to bottom
      p.translate(r.left() + h, r.top());
      p.rotate(90);
      break;
    default:
      p.translate(r.left(), r.top());
  }
  Desenhar(p, fontes, *pg.conteudo);
  p.restore();
  QPen caneta(QColor::fromRgb(kContorno));
  caneta.setStyle(Qt::DotLine);
  p.setPen(caneta);
  p.drawRect(r.adjusted(-1, -1, 0, 0));
}

// Ink inside the printable area (the whole paper for a page's content), then
// the annotations over everything.
void Desenhar(QPainter& p, TFontes& fontes, const TFolha& f) {
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setRenderHint(QPainter::TextAntialiasing, false);
  p.setRenderHint(QPainter::SmoothPixmapTransform, false);
  const int inicio = f.larguraImpressao > 0 ? f.margem : 0;
  const int largura = f.larguraImpressao > 0 ? f.larguraImpressao : f.largura;
  p.save();
  p.setClipRect(QRect(inicio, 0, largura, f.altura), Qt::IntersectClip);
  for (const TRetangulo& r : f.tinta) p.fillRect(r.x, r.y, r.largura, r.altura, QColor::fromRgb(kTinta));
  for (const TBitmap& b : f.bitmaps) DesenharBitmap(p, b);
  for (const TGlifo& g : f.glifos) DesenharGlifo(p, fontes, g);
  p.restore();
  for (const TPaginaImpressa& pg : f.paginas) DesenharPagina(p, fontes, pg);
  for (const TAnotacao& a : f.anotacoes) DesenharAnotacao(p, fontes, a);
}

// The palette of the PNG files: the preview's colours.
const QRgb kPaleta[] = {kPapel, kTinta, kErroFundo, kErroTexto, kNotaFundo, kNotaTexto,
                        kGaveta, kBip, kCorte, kLogo, kLogoFundo, kContorno};
constexpr int kCores = sizeof kPaleta / sizeof kPaleta[0];

// The palette entry of a colour: its own, or the nearest one for a colour
// that Qt blended (none of the drawing smooths, so that is rare).
uchar IndiceCor(QRgb cor) {
  int melhor = 0, distancia = INT32_MAX;
  for (int i = 0; i < kCores; ++i) {
    const int dr = qRed(cor) - qRed(kPaleta[i]), dg = qGreen(cor) - qGreen(kPaleta[i]),
              db = qBlue(cor) - qBlue(kPaleta[i]);
    const int d = dr * dr + dg * dg + db * db;
    if (d < distancia) {
      distancia = d;
      melhor = i;
    }
  }
  return static_cast<uchar>(melhor);
}

// Buffers above this size are not kept for the next picture.
constexpr qsizetype kTelaGuardada = 16 << 20;

// An RGB32 picture as an 8-bit paletted PNG, the rows of indices built in
// `indices` (a buffer the caller may keep).
std::string CodificarIndexada(const QImage& rgb, std::vector<uchar>& indices) {
  const int largura = rgb.width(), altura = rgb.height();
  const qsizetype porLinha = (largura + 3) & ~3;
  indices.resize(static_cast<std::size_t>(porLinha * altura));
  QRgb ultima = kPapel;
  uchar indiceUltima = 0;
  for (int y = 0; y < altura; ++y) {
    const QRgb* origem = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
    uchar* destino = indices.data() + y * porLinha;
    for (int x = 0; x < largura; ++x) {
      const QRgb cor = origem[x] | 0xFF000000u;
      if (cor != ultima) {
        ultima = cor;
        indiceUltima = IndiceCor(cor);
      }
      destino[x] = indiceUltima;
    }
  }
  QImage indexada(indices.data(), largura, altura, porLinha, QImage::Format_Indexed8);
  indexada.setColorTable(QVector<QRgb>(std::begin(kPaleta), std::end(kPaleta)));
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  // Quality 80: zlib's faster levels; a ticket gives some 20 KB.
  if (!indexada.save(&buffer, "PNG", 80)) throw EPreview("N\xE3o foi poss\xEDvel codificar a imagem em PNG");
  return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

}  // namespace

void GarantirAplicacaoGrafica() {
  static std::once_flag criada;
  std::call_once(criada, [] {
    if (QCoreApplication::instance()) return;
    static int argc = 3;
    static char nome[] = "bilhetor", opcao[] = "-platform", plataforma[] = "offscreen";
    static char* argv[] = {nome, opcao, plataforma, nullptr};
    qInstallMessageHandler(FiltrarMensagensQt);
    // Never destroyed: Qt's own globals go away when the process ends, before
    // an application destroyed after main could tidy up with them.
    static QGuiApplication& aplicacao = *std::make_unique<QGuiApplication>(argc, argv).release();
    (void)aplicacao;
  });
  if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
    throw EPreview("A pr\xE9-visualiza\xE7\xE3o precisa de uma QGuiApplication e o programa tem s\xF3 uma QCoreApplication");
}

QImage DesenharFolha(const TFolha& folha) {
  GarantirAplicacaoGrafica();
  std::lock_guard<std::mutex> trava(Trava());
  QImage img(std::max(1, folha.largura), std::max(1, folha.altura), QImage::Format_RGB32);
  if (img.isNull())
    throw EPreview(Format("Sem mem\xF3ria para a imagem de %d x %d pontos", folha.largura, folha.altura));
  img.fill(kPapel);
  QPainter p(&img);
  Desenhar(p, Fontes(), folha);
  return img;
}

std::string CodificarPng(const QImage& imagem) {
  std::vector<uchar> indices;
  return CodificarIndexada(imagem.convertToFormat(QImage::Format_RGB32), indices);
}

std::string DesenharPng(const TFolha& folha) {
  GarantirAplicacaoGrafica();
  std::lock_guard<std::mutex> trava(Trava());
  const int largura = std::max(1, folha.largura), altura = std::max(1, folha.altura);
  // The buffers of the last picture, when this one fits them.
  static QImage tela;
  static std::vector<uchar> indices;
  if (tela.width() != largura || tela.height() < altura) tela = QImage(largura, altura, QImage::Format_RGB32);
  if (tela.isNull()) throw EPreview(Format("Sem mem\xF3ria para a imagem de %d x %d pontos", largura, altura));
  QImage vista(tela.bits(), largura, altura, tela.bytesPerLine(), QImage::Format_RGB32);
  vista.fill(kPapel);
  {
    QPainter p(&vista);
    Desenhar(p, Fontes(), folha);
  }
  std::string png = CodificarIndexada(vista, indices);
  if (tela.sizeInBytes() > kTelaGuardada) {
    tela = QImage();
    std::vector<uchar>().swap(indices);
  }
  return png;
}

}  // namespace bilhetor::preview
