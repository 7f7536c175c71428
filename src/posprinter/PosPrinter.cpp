#include "posprinter/PosPrinter.h"

#include <chrono>
#include <cstring>
#include <thread>
#include <utility>

#include "common/Strings.h"
#include "device/Device.h"
#include "device/EscPosHook.h"
#include "posprinter/CodePage.h"
#include "posprinter/PosStatus.h"
#include "posprinter/PosTags.h"
#include "posprinter/TagProcessor.h"

namespace bilhetor {

namespace {

const std::string kTracos(80, '-');

}  // namespace

TMomentoLog AgoraLocal() {
  static TSystemClock relogio;
  return relogio.Agora();
}

// ---------------------------------------------------------------------------
// Construction

TPosPrinter::TPosPrinter(TFabricaConjuntoComandos fabrica)
    : device_(std::make_unique<TDevice>()),
      fabrica_(fabrica ? std::move(fabrica) : TFabricaConjuntoComandos(CriarConjuntoComandos)),
      conjuntoComandos_(std::make_unique<TPosPrinterClass>(*this)) {
  estadoFonte_.Incluir(TPosAtributoFonte::afNormal);
  tagProcessor_ = std::make_unique<TTagProcessor>();
  ConfigurarTags();
  buffer_.OnChange = [this] { EsvaziarBuffer(); };
  // With VerificarImpressora on, Imprimir first reads the printer's status.
  verificador_ = VerificarStatusImpressora;
}

TPosPrinter::~TPosPrinter() {
  // The hook goes first: the device's hook slots point into it.
  LiberarHook();
  buffer_.OnChange = nullptr;
  conjuntoComandos_.reset();
}

void TPosPrinter::ConfigurarTags() {
  RegistrarTagsPosPrinter(*tagProcessor_);
  tagProcessor_->OnTag = [this](const std::string& tag, std::string& resultado) { TraduzirTag(tag, resultado); };
  tagProcessor_->OnTagBloco = [this](const std::string& tag, const std::string& conteudo, std::string& resultado) {
    TraduzirTagBloco(tag, conteudo, resultado);
  };
  // While Imprimir translates, it learns where the last "</reset>" of the
  // text ends; a later "</zera>" initializes after its own reset.
  tagProcessor_->OnTagTraduzida = [this](const std::string& tag, std::size_t fim) {
    if (!fimUltimoReset_) return;
    if (tag == cTagReset)
      *fimUltimoReset_ = fim;
    else if (tag == cTagZera)
      *fimUltimoReset_ = std::string::npos;
  };
}

// ---------------------------------------------------------------------------
// Properties

std::string TPosPrinter::Porta() const { return device_->Porta(); }
void TPosPrinter::SetPorta(const std::string& Valor) { device_->SetPorta(Valor); }

void TPosPrinter::SetArqLOG(const std::string& v) {
  arqLOG_ = v;
  device_->SetArqLOG(v);
}

bool TPosPrinter::TraduzirTags() const { return tagProcessor_->TraduzirTags; }
void TPosPrinter::SetTraduzirTags(bool v) { tagProcessor_->TraduzirTags = v; }
bool TPosPrinter::IgnorarTags() const { return tagProcessor_->IgnorarTags; }
void TPosPrinter::SetIgnorarTags(bool v) { tagProcessor_->IgnorarTags = v; }

int TPosPrinter::ColunasAtuais() const {
  const TPosRazaoColunaFonte& r = conjuntoComandos_->RazaoColunas;
  double razao = 0;
  if (estadoFonte_.Contem(TPosAtributoFonte::afCondensado))
    razao = r.Condensada;
  else if (estadoFonte_.Contem(TPosAtributoFonte::afExpandido))
    razao = r.Expandida;
  // A ratio of zero or below (a broken command set) would divide by zero:
  // such a font keeps the normal column count.
  if (razao <= 0) return colunasFonteNormal_;
  const double colunas = colunasFonteNormal_ / razao;
  if (colunas >= 1e9) return 1000000000;
  if (colunas <= -1e9) return -1000000000;
  return static_cast<int>(colunas);
}

std::string TPosPrinter::CodificarPaginaDeCodigo(std::string_view Texto) const {
  return bilhetor::CodificarPaginaDeCodigo(Texto, paginaDeCodigo_);
}

// ---------------------------------------------------------------------------
// The log

std::string TPosPrinter::Carimbo(bool comAno) const {
  const TMomentoLog d = relogio_();
  if (comAno)
    return Format("%02d/%02d/%02d %02d:%02d:%02d:%03d", d.Dia, d.Mes, d.Ano % 100, d.Hora, d.Minuto, d.Segundo,
                  d.Milissegundo);
  return FormatarMomentoLog(d);
}

void TPosPrinter::RegistrarLog(std::string Linha, bool Traduzir, bool ComHora) {
  // Nobody reads the entry: building it would change nothing.
  if (!LogAtivo()) return;
  if (Traduzir) Linha = TraduzirControles(Linha);
  if (OnGravarLog) {
    bool tratado = false;
    OnGravarLog(Linha, tratado);
    if (tratado) return;
  }
  if (arqLOG_.empty()) return;
  if (ComHora) Linha = "-- " + Carimbo(false) + " - " + Linha;
  EscreverArquivoLog(arqLOG_, Linha);
}

// ---------------------------------------------------------------------------
// Activation

void TPosPrinter::SetAtivo(bool Valor) {
  if (Valor == ativo_) return;
  if (Valor)
    Ativar();
  else
    Desativar();
}

void TPosPrinter::Ativar() {
  if (ativo_) return;
  // The port line is built even without an engine log: for a serial port it
  // asks the device for its settings, which the device log records.
  std::string linhaPorta;
  if (device_->IsFile())
    linhaPorta = "  - Arquivo: " + Porta();
  else if (device_->IsHook())
    linhaPorta = "  - DLL....: " + Porta();
  else if (device_->IsSerial())
    linhaPorta = "  - Serial.: " + Porta() + " - " + device_->DeviceToString(false);
  else
    linhaPorta = "  - Porta..: " + Porta();
  if (LogAtivo()) {
    RegistrarLog("\r\n" + kTracos + "\r\n" + "ATIVAR - " + Carimbo(true) + "\r\n" + "  - Modelo.: " +
                     conjuntoComandos_->NomeModelo + "\r\n" + "  - TimeOut: " + Format("%d", device_->TimeOut()) +
                     "\r\n" + linhaPorta + "\r\n" + kTracos + "\r\n",
                 false, false);
  }
  ConfigurarHook();
  device_->Ativar();
  ativo_ = true;
  try {
    conjuntoComandos_->AposAtivar();
  } catch (...) {
    // A model whose activation talks to the printer (Daruma) failed: the
    // engine does not stay active as if it had succeeded.
    try {
      Desativar();
    } catch (...) {
      // The activation's error is the one the caller sees.
    }
    throw;
  }
  inicializacaoEnviada_ = false;
}

void TPosPrinter::Desativar() {
  if (!ativo_) return;
  if (LogAtivo())
    RegistrarLog("\r\n" + kTracos + "\r\n" + "DESATIVAR - " + Carimbo(true) + "\r\n" + kTracos + "\r\n", false,
                 false);
  device_->Desativar();
  ativo_ = false;
  inicializacaoEnviada_ = false;
}

void TPosPrinter::AtivarPorta() {
  if (device_->Ativo()) return;
  RegistrarLog("Ativando a porta: " + Porta(), false, true);
  device_->Ativar();
}

void TPosPrinter::DesativarPorta() {
  if (!device_->Ativo()) return;
  RegistrarLog("Desativando a porta: " + Porta(), false, true);
  device_->Desativar();
  // A serial printer keeps its settings while the port is closed; the others
  // get the initialization again with the next send.
  if (!device_->IsSerial()) inicializacaoEnviada_ = false;
}

// ---------------------------------------------------------------------------
// USB hooks

void TPosPrinter::LiberarHook() {
  if (device_) {
    device_->SetHookAtivar(nullptr);
    device_->SetHookDesativar(nullptr);
    device_->SetHookEnviaString(nullptr);
    device_->SetHookLeString(nullptr);
  }
  hook_.reset();
}

void TPosPrinter::ConfigurarHook() {
  if (!device_->IsHook()) {
    LiberarHook();
    return;
  }
  // The brand after the first ":", or the first class whose library lies
  // beside the program.
  const std::string porta = Porta();
  const std::size_t doisPontos = porta.find(':');
  std::string marca = doisPontos == std::string::npos ? std::string() : Trim(UpperCase(porta.substr(doisPontos + 1)));
  if (marca.empty()) {
    const TClasseHook* disponivel = PrimeiraClasseHookDisponivel();
    if (!disponivel) throw EPosPrinterException("Nenhuma biblioteca de modo USB encontrada");
    marca = disponivel->NomeMarcaClasse();
  }
  if (hook_ && hook_->NomeMarca() == marca) return;
  LiberarHook();
  const TClasseHook* classe = ClasseHookDaMarca(marca);
  if (!classe) throw EPosPrinterException("Marca " + marca + ", n\xE3o tem suporte em modo USB");
  hook_ = classe->Criar();
  SetModelo(hook_->Modelo());
  try {
    hook_->Inicializar();
  } catch (...) {
    // A hook whose library did not load is dropped, so the next activation
    // tries to load it again instead of finding a dead hook in place.
    hook_.reset();
    throw;
  }
  device_->SetHookAtivar([this](const std::string& APort, const std::string&) {
    if (hook_) hook_->Abrir(APort);
  });
  device_->SetHookDesativar([this](const std::string&) {
    if (hook_) hook_->Fechar();
  });
  device_->SetHookEnviaString([this](const std::string& cmd) {
    if (hook_) hook_->Enviar(cmd);
  });
  device_->SetHookLeString([this](int NumBytes, int ATimeOut, std::string& Retorno) {
    if (hook_)
      hook_->Ler(NumBytes, ATimeOut, Retorno);
    else
      Retorno.clear();
  });
}

// ---------------------------------------------------------------------------
// Model

void TPosPrinter::SetModelo(TPosPrinterModelo Valor) {
  if (Valor == modelo_) return;
  if (ativo_) Desativar();
  RegistrarLog("SetModelo(" + NomeModeloEnum(Valor) + ")", false, true);
  // The new command set is built before the old one goes, so a failing
  // constructor leaves the engine with a working command set.
  std::unique_ptr<TPosPrinterClass> novo = fabrica_(Valor, *this);
  if (!novo) novo = std::make_unique<TPosPrinterClass>(*this);
  conjuntoComandos_ = std::move(novo);
  modelo_ = Valor;
}

// ---------------------------------------------------------------------------
// Printing

namespace {

bool SoBrancos(std::string_view t) {
  for (unsigned char c : t)
    if (c > 0x20) return false;
  return true;
}

// Appends t to r doing CR LF -> LF, CR -> LF, LF -> Quebra. crPendente carries
// a CR that ended the previous piece, so that a CR LF split between two
// pieces still makes one break.
void AcrescentarQuebras(std::string_view t, std::string_view Quebra, bool& crPendente, std::string& r) {
  const char* p = t.data();
  const char* const fim = p + t.size();
  if (crPendente && p < fim && *p == '\n') ++p;
  crPendente = false;
  while (p < fim) {
    const char* nl = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(fim - p)));
    if (!nl) nl = fim;
    bool parCrLf = false;
    while (const char* cr = static_cast<const char*>(std::memchr(p, '\r', static_cast<std::size_t>(nl - p)))) {
      r.append(p, static_cast<std::size_t>(cr - p));
      r.append(Quebra);
      p = cr + 1;
      if (p == nl) {
        if (nl < fim)
          parCrLf = true;  // CR LF: one break
        else
          crPendente = true;  // the LF may start the next piece
        break;
      }
    }
    if (!parCrLf) {
      r.append(p, static_cast<std::size_t>(nl - p));
      if (nl < fim) r.append(Quebra);
    }
    if (nl == fim) break;
    p = nl + 1;
  }
}

}  // namespace

std::string TPosPrinter::AjustarQuebrasLinha(std::string_view Texto, std::string_view Quebra) {
  if (SoBrancos(Texto)) return std::string(Texto);
  std::string r;
  r.reserve(Texto.size() + Texto.size() / 32);
  bool crPendente = false;
  AcrescentarQuebras(Texto, Quebra, crPendente, r);
  return r;
}

// Code page conversion followed by AjustarQuebrasLinha, done piece by piece
// so the converted text is never held whole: each byte converts on its own,
// and the pieces stay in the cache.
std::string TPosPrinter::ConverterEAjustar(std::string_view Texto, bool Converter) const {
  const std::string& quebra = conjuntoComandos_->Comandos.AvancoLinha;
  constexpr std::size_t kPedaco = 64 * 1024;
  std::string r;
  r.reserve(Texto.size() + Texto.size() / 32);
  bool crPendente = false;
  bool soBrancos = true;
  std::string convertido;
  for (std::size_t i = 0; i < Texto.size(); i += kPedaco) {
    std::string_view pedaco = Texto.substr(i, kPedaco);
    if (Converter) {
      convertido = CodificarPaginaDeCodigo(pedaco);
      pedaco = convertido;
    }
    if (soBrancos) soBrancos = SoBrancos(pedaco);
    AcrescentarQuebras(pedaco, quebra, crPendente, r);
  }
  // A text of blanks and line breaks keeps its breaks as they are.
  if (soBrancos) return Converter ? CodificarPaginaDeCodigo(Texto) : std::string(Texto);
  return r;
}

void TPosPrinter::Imprimir(const std::string& TextoExtra, bool AvancarNoFim, bool DecodificarTags,
                           bool ConverterPagina, int Copias) {
  falhouNoTexto_ = false;
  std::string juntado;
  try {
    if (!controlePorta_ && !ativo_) throw EPosPrinterException("N\xE3o est\xE1 Ativo");
    if (!ativo_) Ativar();
    if (verificarImpressora_ && verificador_) verificador_(*this);
    if (!buffer_.Empty()) {
      const std::string& avanco = conjuntoComandos_->Comandos.AvancoLinha;
      juntado.reserve(buffer_.JoinedSize(avanco.size()) + TextoExtra.size());
      for (const std::string& linha : buffer_.Linhas()) {
        juntado += linha;
        juntado += avanco;
      }
      // The extra text is taken now: it may be one of the buffer's lines,
      // which the emptying below frees.
      juntado += TextoExtra;
    }
  } catch (...) {
    buffer_.Clear();
    throw;
  }
  const bool soExtra = buffer_.Empty();
  buffer_.Clear();

  // With an empty buffer the extra text is the whole text: it is read in
  // place instead of copied (it cannot be a line of an empty buffer).
  const std::string_view texto = soExtra ? std::string_view(TextoExtra) : std::string_view(juntado);
  if (LogAtivo()) {
    RegistrarLog(Format("Imprimir, Copias:%d, DecodificarTags:%s, TraduzirTags:%s", Copias,
                        DecodificarTags ? "SIM" : "NAO", TraduzirTags() ? "SIM" : "NAO"),
                 false, true);
    RegistrarLog(TraduzirControles(std::string(texto)), false, true);
  }
  // The code page conversion comes before the tags, so the escape sequences
  // the tags produce are never converted.
  falhouNoTexto_ = true;
  std::string saida = ConverterEAjustar(texto, ConverterPagina);
  juntado = std::string();
  try {
    std::size_t fimReset = std::string::npos;
    const bool inicializadaAntes = inicializacaoEnviada_;
    if (DecodificarTags) {
      // A print started by a handler of this one (a log event that fills the
      // buffer) tracks its own resets.
      struct Rastreio {
        std::size_t*& atual;
        std::size_t* anterior;
        ~Rastreio() { atual = anterior; }
      } rastreio{fimUltimoReset_, std::exchange(fimUltimoReset_, &fimReset)};
      saida = tagProcessor_->ProcessarTags(saida);
    }
    // Only the reset's own bytes mark the place: a command set without a
    // reset sequence has nothing to initialize after.
    const std::string& reset = conjuntoComandos_->Comandos.Reinicializa;
    if (fimReset != std::string::npos &&
        (reset.empty() || fimReset < reset.size() || saida.compare(fimReset - reset.size(), reset.size(), reset) != 0))
      fimReset = std::string::npos;
    // With a reset to initialize after, the flag that the reset's
    // translation cleared goes back to what the printer was before the text:
    // it decides whether the text in front of the reset needs the
    // initialization too. The send sets it for the state after the reset.
    if (fimReset != std::string::npos) inicializacaoEnviada_ = inicializadaAntes;
    if (AvancarNoFim) saida += conjuntoComandos_->Comandos.AvancoLinha;
    falhouNoTexto_ = false;
    for (int i = 0; i < Copias; ++i) Enviar(saida, fimReset);
  } catch (...) {
    // The tags of the failed text changed the state though nothing, or not
    // all of it, reached the printer.
    EsquecerEstadoImpressora();
    throw;
  }
}

void TPosPrinter::EsquecerEstadoImpressora() {
  estadoFonte_ = TPosFonte();
  estadoFonte_.Incluir(TPosAtributoFonte::afNormal);
  alinhamentoAtual_ = 0;
  modoPaginaLigado_ = false;
  inicializacaoEnviada_ = false;
}

void TPosPrinter::EsvaziarBuffer() {
  if (linhasBuffer_ <= 0) return;
  const std::size_t linhas = buffer_.Count();
  if (linhas <= static_cast<std::size_t>(linhasBuffer_)) return;
  RegistrarLog(Format("Esvaziando Buffer: %zu linhas", linhas), false, true);
  Imprimir();
}

void TPosPrinter::EnviarStringDevice(const std::string& Dados) { Enviar(Dados, std::string::npos); }

void TPosPrinter::Enviar(const std::string& Dados, std::size_t fimReset) {
  if (Dados.empty()) return;
  AtivarPorta();
  // The text goes out as given, or with the initialization in front of it
  // or after its last reset.
  std::string comInicializacao;
  const std::string* dados = &Dados;
  const std::string& reset = conjuntoComandos_->Comandos.Reinicializa;
  if (Dados == reset) {
    // A reset alone: the printer is back to its defaults, and the next send
    // initializes it.
    inicializacaoEnviada_ = false;
  } else if (fimReset != std::string::npos) {
    // The reset would wipe an initialization sent in front of it (the code
    // table with it), on every copy: the initialization follows the last
    // reset. The text before the reset gets one too when the printer has
    // not had it, unless the text starts with the reset.
    const std::string init = conjuntoComandos_->MontarInicializacao();
    const bool naFrente = !inicializacaoEnviada_ && !Dados.starts_with(reset);
    comInicializacao.reserve(Dados.size() + 2 * init.size());
    if (naFrente) {
      RegistrarLog("EnviarStringDevice - Inicializando: " + init, true, true);
      comInicializacao = init;
    }
    RegistrarLog("EnviarStringDevice - Inicializando: " + init, true, true);
    comInicializacao.append(Dados, 0, fimReset);
    comInicializacao += init;
    comInicializacao.append(Dados, fimReset, std::string::npos);
    dados = &comInicializacao;
    inicializacaoEnviada_ = true;
  } else if (!inicializacaoEnviada_) {
    const std::string init = conjuntoComandos_->MontarInicializacao();
    inicializacaoEnviada_ = !init.empty() && Dados.find(init) != std::string::npos;
    if (!inicializacaoEnviada_) {
      RegistrarLog("EnviarStringDevice - Inicializando: " + init, true, true);
      comInicializacao.reserve(init.size() + Dados.size());
      comInicializacao = init;
      comInicializacao += Dados;
      dados = &comInicializacao;
      inicializacaoEnviada_ = true;
    }
  }
  try {
    bool tratado = false;
    if (OnEnviarStringDevice) OnEnviarStringDevice(*dados, tratado);
    if (tratado) {
      if (LogAtivo()) RegistrarLog("OnEnviarStringDevice( " + *dados + ")", true, true);
    } else {
      if (LogAtivo()) RegistrarLog("EnviarStringDevice( " + *dados + ")", true, true);
      device_->EnviaString(*dados);
    }
    bytesEnviados_ += dados->size();
  } catch (...) {
    // The printer may have got part of the data, or none of the
    // initialization: the next send initializes again.
    inicializacaoEnviada_ = false;
    // The port is closed even when the send failed; the send's error is the
    // one the caller sees.
    if (controlePorta_) {
      try {
        DesativarPorta();
      } catch (...) {
      }
    }
    throw;
  }
  if (controlePorta_) DesativarPorta();
}

std::string TPosPrinter::TransmitirReceber(const std::string& Comando, uint8_t BytesParaLer, int Timeout,
                                           bool AguardarTerminador) {
  device_->Limpar();
  RegistrarLog("TX -> " + Comando, true, true);
  const int timeoutAnterior = device_->TimeOutMilissegundos();
  device_->SetTimeOutMilissegundos(Timeout);
  std::string resposta;
  try {
    device_->EnviaString(Comando);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (AguardarTerminador)
      resposta = device_->LeString(Timeout, 0, std::string(1, static_cast<char>(BytesParaLer)));
    else
      resposta = device_->LeString(Timeout, BytesParaLer, "");
  } catch (...) {
    device_->SetTimeOutMilissegundos(timeoutAnterior);
    throw;
  }
  device_->SetTimeOutMilissegundos(timeoutAnterior);
  RegistrarLog("RX <- " + resposta, true, true);
  return resposta;
}

}  // namespace bilhetor
