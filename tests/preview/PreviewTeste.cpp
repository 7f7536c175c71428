#include "PreviewTeste.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>

#include "app/ConfiguracaoImpressora.h"
#include "support/TestSupport.h"

namespace bilhetor::preview::teste {

using testing::ReadFile;
using testing::TempDir;

std::string BytesEpson(const std::vector<std::string>& linhas, const std::function<void(TPosPrinter&)>& ajustar) {
  TempDir dir;
  TPosPrinter impressora;
  PrepararImpressora(impressora);
  TConfiguracaoImpressora config;
  config.Modelo = TPosPrinterModelo::ppEscPosEpson;
  config.PaginaDeCodigo = TPosPaginaCodigo::pc850;
  config.Porta = "FILE:" + (dir / "impressora.bin");
  AplicarConfiguracao(impressora, config);
  if (ajustar) ajustar(impressora);
  impressora.Ativar();
  for (const std::string& l : linhas) impressora.Buffer().Add(l);
  impressora.Imprimir("", false, true, true, 1);
  impressora.Desativar();
  return ReadFile(dir / "impressora.bin");
}

namespace {

bool Preto(QRgb c) { return (c & 0xFFFFFF) == 0; }

// Runs a program and returns what it wrote on standard output; standard error
// goes to /dev/null.
std::string Saida(const std::vector<std::string>& argv) {
  int canal[2];
  if (pipe(canal) != 0) throw std::runtime_error("pipe failed");
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    dup2(canal[1], 1);
    close(canal[0]);
    close(canal[1]);
    const int nulo = open("/dev/null", O_RDWR);
    dup2(nulo, 0);
    dup2(nulo, 2);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  close(canal[1]);
  std::string saida;
  char buffer[4096];
  ssize_t n;
  while ((n = read(canal[0], buffer, sizeof buffer)) > 0) saida.append(buffer, static_cast<std::size_t>(n));
  close(canal[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  // zbarimg exits with 4 when it finds no symbol.
  if (!WIFEXITED(status) || (WEXITSTATUS(status) != 0 && WEXITSTATUS(status) != 4))
    throw std::runtime_error("could not run " + argv[0]);
  return saida;
}

}  // namespace

int Tinta(const QImage& imagem, const QRect& area) {
  const QRect r = area.intersected(imagem.rect());
  int n = 0;
  for (int y = r.top(); y <= r.bottom(); ++y)
    for (int x = r.left(); x <= r.right(); ++x) n += Preto(imagem.pixel(x, y));
  return n;
}

QRect CaixaDaTinta(const QImage& imagem, const QRect& area) {
  const QRect r = area.intersected(imagem.rect());
  QRect caixa;
  for (int y = r.top(); y <= r.bottom(); ++y)
    for (int x = r.left(); x <= r.right(); ++x)
      if (Preto(imagem.pixel(x, y))) caixa |= QRect(x, y, 1, 1);
  return caixa;
}

int Anotado(const QImage& imagem, const QRect& area) {
  const QRect r = area.intersected(imagem.rect());
  int n = 0;
  for (int y = r.top(); y <= r.bottom(); ++y)
    for (int x = r.left(); x <= r.right(); ++x) {
      const QRgb c = imagem.pixel(x, y) & 0xFFFFFF;
      n += c != 0 && c != 0xFFFFFF;
    }
  return n;
}

QRect Retangulo(const TRetangulo& r) { return QRect(r.x, r.y, r.largura, r.altura); }

std::vector<std::string> LerCodigos(const QImage& imagem) {
  static const std::string zbarimg = testing::FindProgram("zbarimg");
  if (zbarimg.empty()) throw std::runtime_error("zbarimg not found (Debian package zbar-tools)");
  TempDir dir;
  const std::string arquivo = dir / "codigos.png";
  if (!imagem.save(QString::fromStdString(arquivo), "PNG")) throw std::runtime_error("could not save " + arquivo);
  const std::string saida = Saida({zbarimg, "-q", arquivo});
  std::vector<std::string> linhas;
  std::size_t inicio = 0;
  while (inicio < saida.size()) {
    std::size_t fim = saida.find('\n', inicio);
    if (fim == std::string::npos) fim = saida.size();
    if (fim > inicio) linhas.push_back(saida.substr(inicio, fim - inicio));
    inicio = fim + 1;
  }
  std::sort(linhas.begin(), linhas.end());
  return linhas;
}

std::vector<std::string> LerCodigos(const QImage& imagem, const QRect& area, int margem) {
  QImage recorte(area.width() + 2 * margem, area.height() + 2 * margem, QImage::Format_RGB32);
  recorte.fill(Qt::white);
  for (int y = 0; y < area.height(); ++y)
    for (int x = 0; x < area.width(); ++x)
      if (imagem.rect().contains(area.x() + x, area.y() + y))
        recorte.setPixel(margem + x, margem + y, imagem.pixel(area.x() + x, area.y() + y));
  return LerCodigos(recorte);
}

std::vector<TObjeto> Objetos(const TFolha& folha, TTipoObjeto tipo) {
  std::vector<TObjeto> r;
  for (const TObjeto& o : folha.objetos)
    if (o.tipo == tipo) r.push_back(o);
  return r;
}

}  // namespace bilhetor::preview::teste
