#include "posprinter/EscDaruma.h"

#include <algorithm>
#include <exception>

#include "common/Strings.h"
#include "device/Device.h"
#include "posprinter/EscPosEpson.h"
#include "posprinter/PosBytes.h"
#include "posprinter/PosPrinter.h"

namespace bilhetor {

namespace {

std::string Linha(const char* nome, const std::string& valor) { return std::string(nome) + "=" + valor + "\r\n"; }

// The byte at a 1-based position of the reply, or nothing when it is shorter.
std::string Posicao(const std::string& s, std::size_t pos) { return pos <= s.size() ? s.substr(pos - 1, 1) : ""; }

// The value of the line "Nome=valor" in the identification text.
std::string Valor(const std::string& info, const std::string& nome) {
  for (const std::string& linha : Split(ReplaceAll(info, "\r\n", "\n"), '\n')) {
    const std::size_t igual = linha.find('=');
    if (igual != std::string::npos && linha.compare(0, igual, nome) == 0) return linha.substr(igual + 1);
  }
  return {};
}

uint8_t SimbologiaDaruma(const std::string& tag) {
  static const struct {
    const char* tag;
    uint8_t m;
  } tabela[] = {
      {"<ean13>", 0x01},     {"<ean8>", 0x02},      {"<std>", 0x03},       {"<inter>", 0x04},
      {"<code128>", 0x05},   {"<code128a>", 0x05},  {"<code128b>", 0x05},  {"<code128c>", 0x05},
      {"<code39>", 0x06},    {"<code93>", 0x07},    {"<upca>", 0x08},      {"<codabar>", 0x09},
      {"<msi>", 0x0A},       {"<code11>", 0x0B},
  };
  for (const auto& e : tabela)
    if (SameText(tag, e.tag)) return e.m;
  return 0;
}

}  // namespace

TEscDaruma::TEscDaruma(TPosPrinter& impressora) : TPosPrinterClass(impressora) {
  NomeModelo = "EscDaruma";
  TPosComandos& c = Comandos;
  c.Bip = B({0x07});
  c.AlinhaCentro = B({0x1B, 0x6A, 0x01});
  c.AlinhaDireita = B({0x1B, 0x6A, 0x02});
  c.AlinhaEsquerda = B({0x1B, 0x6A, 0x00});
  c.CortaParcial = B({0x1B, 0x6D});
  c.FimAlturaDupla = B({0x1B, 0x77, 0x00});
  c.EspacamentoPadrao = B({0x1B, 0x32});
  c.InicioAlturaDupla = B({0x1B, 0x77, 0x01});
  c.RestauraFonte = B({0x1B, 0x21, 0x00, 0x12});
  c.InicioCondensado = B({0x1B, 0x0F});
  c.CortaTotal = B({0x1B, 0x6D});
  c.PrefixoEspacamento = B({0x1B, 0x33});
  c.InicioExpandido = B({0x1B, 0x57, 0x01});
  c.FimCondensado = B({0x12});
  c.FimExpandido = B({0x1B, 0x57, 0x00});
  c.FimItalico = B({0x1B, 0x34, 0x00});
  c.FimNegrito = B({0x1B, 0x46});
  c.FimSublinhado = B({0x1B, 0x2D, 0x00});
  c.SelecionaFonteA = B({0x14});
  c.SelecionaFonteB = B({0x1B, 0x0F});
  c.InicioItalico = B({0x1B, 0x34, 0x01});
  c.InicioNegrito = B({0x1B, 0x45});
  c.InicioSublinhado = B({0x1B, 0x2D, 0x01});
  c.AvancoLinha = B({0x0A});
  c.Reinicializa = B({0x1B, 0x40});
  RazaoColunas.Condensada = 0.8421;
  TagsSemSuporte = {"<code128c>", "<mp>"};
}

std::string TEscDaruma::MontarProgramacao(char Valor) {
  return B({0x1B, 0xC6}) + std::string(30, 'X') + Valor + std::string(9, 'X');
}

std::string TEscDaruma::MontarCodigoBarras(const std::string& Tag, const std::string& Codigo) {
  const uint8_t m = SimbologiaDaruma(Tag);
  if (m == 0) return Codigo;
  if (Codigo.find('\0') != std::string::npos)
    throw EPosPrinterException("C\xF3" "digo de barras " + Tag + " com o byte 00, que encerra o c\xF3" "digo na EscDaruma");
  const TConfigBarras& cfg = Impressora().ConfigBarras();
  const int w = cfg.LarguraLinha == 0 ? 2 : std::clamp(cfg.LarguraLinha, 2, 5);
  const int h = cfg.Altura == 0 ? 50 : std::clamp(cfg.Altura, 50, 200);
  return B({0x1B, 0x62}) + Byte(m) + Byte(w) + Byte(h) + Byte(cfg.MostrarCodigo ? 1 : 0) + Codigo + Byte(0x00);
}

std::string TEscDaruma::MontarQRCode(const std::string& Codigo) {
  TConfigQRCode& cfg = Impressora().ConfigQRCode();
  const int s = cfg.LarguraModulo() == 0 ? 5 : std::clamp(cfg.LarguraModulo(), 3, 7);
  char e;
  switch (cfg.ErrorLevel()) {
    case 1: e = 'M'; break;
    case 2: e = 'Q'; break;
    case 3: e = 'H'; break;
    default: e = '\0'; break;
  }
  if (Codigo.size() > 256) {
    // Long data needs a wider module and some error correction; the module
    // of this code is already chosen, the setting serves the next ones.
    if (cfg.LarguraModulo() < 4) cfg.SetLarguraModulo(4);
    if (e == '\0') e = 'M';
  }
  return B({0x1B, 0x81}) + escpos::LE2(static_cast<int64_t>(Codigo.size()) + 2, "Tamanho do QRCode") + Byte(s) + e +
         Codigo;
}

std::string TEscDaruma::MontarGaveta(int /*Gaveta*/) { return B({0x1B, 0x70}); }

std::string TEscDaruma::MontarInicializacao() {
  const std::string base = TPosPrinterClass::MontarInicializacao();
  return modoConfigurado_ ? base : MontarProgramacao('1') + base;
}

void TEscDaruma::AposAtivar() {
  modoConfigurado_ = false;
  TPosPrinter& p = Impressora();
  const TDevice& device = p.Device();
  if (!device.IsSerial() && !device.IsTCP() && !device.IsHook()) return;
  const std::string info = ConsultarInfo();
  const int colunas = StrToIntDef(Valor(info, "Colunas"), p.ColunasFonteNormal());
  const int modelo = StrToIntDef(Valor(info, "Modelo"), 0);
  p.SetColunasFonteNormal(colunas);
  // Models above 20000 print condensed at three quarters of the normal
  // width and take mode "0"; the older ones take mode "1".
  char valor;
  if (modelo > 20000) {
    RazaoColunas.Condensada = 0.75;
    valor = '0';
  } else {
    RazaoColunas.Condensada = 0.8421;
    valor = '1';
  }
  p.Device().EnviaString(MontarProgramacao(valor));
  modoConfigurado_ = true;
}

void TEscDaruma::ConsultarStatus(TPosStatus& Status) {
  std::string resposta;
  try {
    resposta = Impressora().TransmitirReceber(B({0x05}), 1, 500, false);
    if (!resposta.empty()) {
      const uint8_t b = static_cast<uint8_t>(resposta[0]);
      if (b & 0x01) Status.Incluir(TPosTipoStatus::stImprimindo);
      if (b & 0x08) Status.Incluir(TPosTipoStatus::stErro);
      if (!(b & 0x10)) Status.Incluir(TPosTipoStatus::stOffLine);
      if (b & 0x20) Status.Incluir(TPosTipoStatus::stSemPapel);
      if (b & 0x80) Status.Incluir(TPosTipoStatus::stTampaAberta);
      resposta = Impressora().TransmitirReceber(B({0x1D, 0x05}), 1, 500, false);
    }
  } catch (const std::exception&) {
    resposta.clear();
  }
  if (resposta.empty()) {
    Status.Incluir(TPosTipoStatus::stErroLeitura);
    return;
  }
  const uint8_t b = static_cast<uint8_t>(resposta[0]);
  if (b & 0x01) Status.Incluir(TPosTipoStatus::stPoucoPapel);
  if (b & 0x02) Status.Incluir(TPosTipoStatus::stSemPapel);
  if (b & 0x08) Status.Incluir(TPosTipoStatus::stOffLine);
  if (!(b & 0x10)) Status.Incluir(TPosTipoStatus::stTampaAberta);
  if (b & 0x40) Status.Incluir(TPosTipoStatus::stErro);
  if (b & 0x80) Status.Incluir(TPosTipoStatus::stGavetaAberta);
}

std::string TEscDaruma::ConsultarInfo() {
  TPosPrinter& p = Impressora();
  // The replies end in CR and begin with a byte that is not part of the value.
  auto consultar = [&p](std::initializer_list<uint8_t> comando) {
    return p.TransmitirReceber(B(comando), 0x0D, 500, true);
  };
  auto semPrimeiro = [](const std::string& s) { return s.empty() ? s : s.substr(1); };
  std::string r = Linha("Fabricante", "Daruma");
  r += Linha("Firmware", semPrimeiro(consultar({0x1B, 0xC7})));
  r += Linha("Modelo", semPrimeiro(consultar({0x1B, 0xC3})));
  const std::string config = consultar({0x1B, 0xE5});
  r += Linha("Guilhotina", Posicao(config, 9));
  const std::string tipoColunas = Posicao(config, 12);
  r += Linha("Colunas", tipoColunas == "2" ? "34" : tipoColunas == "1" ? "52" : "48");
  r += Linha("CodPage", Posicao(config, 40));
  return r;
}

std::string TEscDaruma::MontarLogo() { return B({0x16, 0x08, 0x16, 0x09}); }

}  // namespace bilhetor
