#include "device/Device.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>

#include "common/Strings.h"
#include "transport/TcpSocket.h"

namespace bilhetor {

namespace {

const char* const kMsgPortaNaoDefinida = "Porta n\xE3o definida";
const char* const kMsgPortaAtiva = "N\xE3o \xE9 poss\xEDvel mudar a Porta com o Dispositivo Ativo";
const char* const kMsgPortaNaoEncontrada = "Porta %s n\xE3o encontrada";
const char* const kMsgPortaNaoAcessivel = "Porta %s n\xE3o acess\xEDvel";
const char* const kMsgImpressoraNaoEncontrada = "Impressora n\xE3o encontrada [%s]";
const char* const kMsgSemImpressoraPadrao = "Erro Nenhuma impressora Padr\xE3o foi detectada";
const char* const kMsgErroEnvio = "Erro ao enviar dados para a porta: %s";
const char* const kMsgErroImpressao = "Erro ao imprimir na impressora [%s]: %s";
const char* const kMsgSemDesenho = "Este programa n\xE3o desenha a pr\xE9-visualiza\xE7\xE3o da porta %s";
const char* const kMsgPastaPreview = "N\xE3o foi poss\xEDvel usar a pasta %s: %s";
const char* const kMsgErroDesenho = "Erro ao desenhar %s: %s";

// The system's code for a missing file (ENOENT).
constexpr int kErroArquivoNaoEncontrado = 2;

int SegundosParaMs(int segundos) {
  const int64_t ms = static_cast<int64_t>(segundos) * 1000;
  return static_cast<int>(std::clamp<int64_t>(ms, INT_MIN, INT_MAX));
}

// The drawing of PREVIEW: ports that the program registered.
TDesenhoPreview& DesenhoPreview() {
  static TDesenhoPreview desenho;
  return desenho;
}

}  // namespace

void RegistrarDesenhoPreview(TDesenhoPreview Desenho) { DesenhoPreview() = std::move(Desenho); }

std::string NomeDeviceType(TDeviceType v) {
  switch (v) {
    case TDeviceType::dtNenhum: return "dtNenhum";
    case TDeviceType::dtFile: return "dtFile";
    case TDeviceType::dtSerial: return "dtSerial";
    case TDeviceType::dtParallel: return "dtParallel";
    case TDeviceType::dtTCP: return "dtTCP";
    case TDeviceType::dtRawPrinter: return "dtRawPrinter";
    case TDeviceType::dtHook: return "dtHook";
    case TDeviceType::dtPreview: return "dtPreview";
  }
  return "dtNenhum";
}

// --- creation ----------------------------------------------------------------

TDevice::TDevice() : TDevice(SpoolerDoSistema(), std::make_shared<TSystemClock>()) {}

TDevice::TDevice(std::shared_ptr<TPrinterSpooler> Spooler, std::shared_ptr<TDeviceClock> Relogio)
    : spooler_(Spooler ? std::move(Spooler) : SpoolerDoSistema()),
      relogio_(Relogio ? std::move(Relogio) : std::make_shared<TSystemClock>()),
      serial_(std::make_unique<TSerialPort>()),
      socket_(std::make_unique<TTcpSocket>()) {
  serial_->SetRaiseExcept(true);
  socket_->SetRaiseExcept(true);
  SetDefaultValues();
}

TDevice::~TDevice() { EscreveLog("Destroy"); }

// --- log ---------------------------------------------------------------------

void TDevice::EscreveLog(const std::string& Mensagem, bool Traduzir) {
  if (arqLOG_.empty()) return;
  try {
    const std::string texto = Traduzir ? TraduzirControles(Mensagem) : Mensagem;
    EscreverArquivoLog(arqLOG_, "-- " + FormatarMomentoLog(relogio_->Agora()) + " " + texto);
  } catch (...) {
    // Logging never raises.
  }
}

// --- port --------------------------------------------------------------------

TDeviceType TDevice::DeduzirTipoPorta(const std::string& APorta) {
  EscreveLog("DeduzirTipoPorta(" + APorta + ")");
  const std::string up = UpperCase(APorta);
  TDeviceType r = TDeviceType::dtNenhum;
  if (APorta == "*")
    r = TDeviceType::dtRawPrinter;
  else if (up.starts_with("TCP:"))
    r = TDeviceType::dtTCP;
  else if (up.starts_with("RAW:"))
    r = TDeviceType::dtRawPrinter;
  else if (up.starts_with("PREVIEW:"))
    r = TDeviceType::dtPreview;
  else if (up.ends_with(".TXT"))
    r = TDeviceType::dtFile;
  else if (up.starts_with("FILE:"))
    r = TDeviceType::dtFile;
  else if (up.starts_with("LPT"))
    r = TDeviceType::dtParallel;
  else if (up.starts_with("COM"))
    r = TDeviceType::dtSerial;
  else if (APorta.starts_with("\\\\.\\"))
    r = TDeviceType::dtSerial;
  // Linux device files: terminals and Bluetooth serial links are serial
  // ports, the printer class devices are written like a parallel port.
  else if (APorta.starts_with("/dev/tty") || APorta.starts_with("/dev/rfcomm"))
    r = TDeviceType::dtSerial;
  else if (APorta.starts_with("/dev/usb/lp") || APorta.starts_with("/dev/lp"))
    r = TDeviceType::dtParallel;
  // A containment test, not a prefix test: "SB", "LL" and "D" are hook ports.
  else if (!up.empty() && std::string("USB|DLL").find(up.substr(0, 3)) != std::string::npos)
    r = TDeviceType::dtHook;
  else if (!APorta.empty() && LocalizarEm(spooler_->ListarImpressoras(), APorta, false) >= 0)
    r = TDeviceType::dtRawPrinter;
  else if (APorta.find('\\') != std::string::npos)
    r = TDeviceType::dtFile;
  if (!arqLOG_.empty()) EscreveLog("  " + NomeDeviceType(r));
  return r;
}

void TDevice::SetPorta(const std::string& Value) {
  if (Value == porta_) return;
  EscreveLog("SetPorta(" + Value + ")");
  if (ativo_) DisparaErro(Exception(kMsgPortaAtiva));
  const std::string up = UpperCase(Value);
  porta_ = (up.starts_with("LPT") || up.starts_with("COM")) ? up : Value;
  deviceType_ = DeduzirTipoPorta(porta_);
}

std::string TDevice::NomeSistemaSerial(const std::string& porta) const {
  const int n = TSerialPort::ComPortNumber(porta);
  if (n >= 1) return NomeArquivoPorta(pastaDispositivos_, "COM", n);
  return porta;
}

// --- other properties ------------------------------------------------------------

std::string TDevice::NomeDocumento() const { return nomeDocumento_.empty() ? "TDevice" : nomeDocumento_; }

void TDevice::SetNomeDocumento(const std::string& s) {
  EscreveLog("SetNomeDocumento(" + s + ")");
  nomeDocumento_ = Trim(s);
}

const TSerialStatusHook& TDevice::OnStatus() const { return serial_->OnStatus(); }
void TDevice::SetOnStatus(TSerialStatusHook v) { serial_->SetOnStatus(std::move(v)); }

// --- time-outs -----------------------------------------------------------------

int TDevice::TimeOutMilissegundos() const {
  if (IsTCP()) return socket_->ConnectionTimeout();
  if (IsSerial()) return serial_->DeadlockTimeout();
  return timeOut_;
}

void TDevice::SetTimeOutMilissegundos(int AValue) {
  EscreveLog("SetTimeOutMilissegundos(" + std::to_string(AValue) + ")");
  if (IsTCP()) {
    socket_->SetConnectionTimeout(AValue);
    timeOut_ = std::max(AValue / 1000, 0);
  } else if (IsSerial()) {
    serial_->SetDeadlockTimeout(AValue);
    timeOut_ = std::max(AValue / 1000, 1);
  } else {
    timeOut_ = AValue;
  }
}

// --- activation ------------------------------------------------------------------

void TDevice::Ativar() {
  if (ativo_) return;
  EscreveLog("Ativar - Porta:" + porta_);
  if (porta_.empty() || deviceType_ == TDeviceType::dtNenhum) DisparaErro(Exception(kMsgPortaNaoDefinida));

  switch (deviceType_) {
    case TDeviceType::dtFile:
    case TDeviceType::dtParallel: {
      try {
        const std::string nomeArq = GetPrinterFileName();
        EscreveLog("  NomeArq: " + nomeArq);
        if (deviceType_ == TDeviceType::dtFile) {
          // Only a regular file is emptied: a FIFO or a device named as a
          // file port is written as it is, never removed. A link to a
          // regular file stays a link; the file it points to is emptied.
          if (TipoArquivo(nomeArq) == TTipoArquivo::Regular) {
            EscreveLog("  DeleteFile(" + nomeArq + ")");
            ApagarArquivoPorta(nomeArq);
          }
        }
        EnviaStringArquivo("");
      } catch (const EStreamError&) {
        if (deviceType_ == TDeviceType::dtParallel) DisparaErro(EStreamError(Format(kMsgPortaNaoAcessivel, porta_.c_str())));
        throw;  // already logged by the send
      } catch (const std::exception& e) {
        DisparaErro(Exception(NomeClasseErro(e) + ": " + e.what()));
      }
      break;
    }
    case TDeviceType::dtSerial: {
      try {
        TryCloseSocket();
        EscreveLog("  Serial.Connect(" + porta_ + ")");
        serial_->SetDeadlockTimeout(SegundosParaMs(timeOut_));
        serial_->Connect(NomeSistemaSerial(porta_));
        ConfiguraSerial();
        serial_->ClearBuffers();
      } catch (const ESerialError& e) {
        const int codigo = serial_->LastError();
        const std::string mensagem =
            codigo == kErroArquivoNaoEncontrado ? Format(kMsgPortaNaoEncontrada, porta_.c_str()) : e.Message();
        TryCloseSocket();
        DisparaErro(ESocketError(mensagem, e.ErrorCode(), e.ErrorMessage()));
      } catch (const std::exception& e) {
        DisparaErro(Exception(NomeClasseErro(e) + ": " + e.what()));
      }
      break;
    }
    case TDeviceType::dtTCP: {
      const std::string resto = porta_.size() > 4 ? porta_.substr(4, 255) : std::string();
      const auto p = resto.find(':');
      portaTCP_ = p == std::string::npos ? std::string() : resto.substr(p + 1, 5);
      if (portaTCP_.empty()) portaTCP_ = "9100";
      hostTCP_ = resto.substr(0, p);
      TryCloseSocket();
      EscreveLog("  Socket.Connect(" + hostTCP_ + ", " + portaTCP_ + ")");
      socket_->SetConnectionTimeout(SegundosParaMs(timeOut_));
      socket_->Connect(hostTCP_, portaTCP_);
      socket_->ClearInput();
      break;
    }
    case TDeviceType::dtRawPrinter:
      GetPrinterRawIndex();
      break;
    case TDeviceType::dtHook:
      if (hookAtivar_) hookAtivar_(porta_, DeviceToString(false));
      break;
    case TDeviceType::dtPreview: {
      if (!DesenhoPreview()) DisparaErro(Exception(Format(kMsgSemDesenho, porta_.c_str())));
      const std::string pasta = Trim(porta_.substr(8));
      if (pasta.empty()) DisparaErro(Exception(kMsgPortaNaoDefinida));
      std::error_code erro;
      std::filesystem::create_directories(pasta, erro);
      if (!std::filesystem::is_directory(pasta))
        DisparaErro(EStreamError(Format(kMsgPastaPreview, pasta.c_str(),
                                        erro ? erro.message().c_str() : "n\xE3o \xE9 uma pasta")));
      break;
    }
    case TDeviceType::dtNenhum:
      break;
  }
  ativo_ = true;
}

void TDevice::Desativar() {
  if (!ativo_) return;
  EscreveLog("Desativar");
  try {
    if (IsHook()) {
      if (hookDesativar_) hookDesativar_(porta_);
    } else {
      TryCloseSocket();
    }
  } catch (...) {
    ativo_ = false;
    throw;
  }
  ativo_ = false;
}

void TDevice::TryCloseSocket() {
  if (IsSerial()) {
    EscreveLog("TryCloseSocket - Serial");
    serial_->SetRaiseExcept(false);
    try {
      EscreveLog("  Serial.InstanceActive");
      if (serial_->InstanceActive()) {
        EscreveLog("  Serial.CloseSocket");
        serial_->CloseSocket();
      }
    } catch (...) {
      // Closing is quiet.
    }
    serial_->SetRaiseExcept(true);
  } else if (IsTCP()) {
    EscreveLog("TryCloseSocket - TCP");
    socket_->SetRaiseExcept(false);
    try {
      socket_->CloseSocket();
    } catch (...) {
    }
    socket_->SetRaiseExcept(true);
  }
}

void TDevice::ConfiguraSerial() {
  if (!serial_->InstanceActive()) return;
  EscreveLog("ConfiguraSerial");
  serial_->ApplySettings(baud_, data_, parity_, stop_, softFlow_, hardFlow_);
  if (handShake_ == THandShake::hsRTS_CTS) {
    EscreveLog("  Serial.RTS");
    serial_->SetRTS(true);
  } else if (handShake_ == THandShake::hsDTR_DSR) {
    EscreveLog("  Serial.DTR");
    serial_->SetDTR(true);
  }
}

// --- sending -----------------------------------------------------------------------

void TDevice::EnviaString(const std::string& AString) {
  EscreveLog("EnviaString(" + AString + ")", true);
  switch (deviceType_) {
    case TDeviceType::dtSerial: EnviaStringSerial(AString); break;
    case TDeviceType::dtTCP: EnviaStringTCP(AString); break;
    case TDeviceType::dtRawPrinter: EnviaStringRaw(AString); break;
    case TDeviceType::dtHook: EnviaStringHook(AString); break;
    case TDeviceType::dtPreview: EnviaStringPreview(AString); break;
    default: EnviaStringArquivo(AString); break;
  }
}

int TDevice::EscreverSerial(const char* Dados, int Tamanho) { return serial_->WriteBuffer(Dados, Tamanho); }

void TDevice::EnviaStringSerial(const std::string& AString) {
  EscreveLog("EnviaStringSerial(" + AString + ")", true);
  const size_t len = AString.size();
  size_t i = 0;
  int falhas = 0;
  while (i < len && falhas < 10) {
    // A count of 0 or less sends the whole text at once.
    size_t bytesToSend = sendBytesCount_ > 0 ? static_cast<size_t>(sendBytesCount_) : len;
    EscreveLog("  BytesToSend:" + std::to_string(bytesToSend));
    bytesToSend = std::min(bytesToSend, len - i);
    const int enviados = EscreverSerial(AString.data() + i, static_cast<int>(std::min<size_t>(bytesToSend, INT_MAX)));
    if (enviados <= 0) {
      ++falhas;
      EscreveLog("  FailCount:" + std::to_string(falhas));
    } else {
      falhas = 0;
    }
    if (sendBytesInterval_ > 0) {
      EscreveLog("  Sleep(" + std::to_string(sendBytesInterval_) + ")");
      relogio_->Dormir(sendBytesInterval_);
    }
    if (enviados > 0) i += static_cast<size_t>(enviados);
  }
  if (falhas >= 10) DisparaErro(Exception(Format(kMsgErroEnvio, porta_.c_str())));
}

void TDevice::EnviaStringPreview(const std::string& AString) {
  EscreveLog("EnviaStringPreview(" + AString + ")", true);
  const std::string pasta = Trim(porta_.substr(8));
  // The first free name from the last one used; creating it empty claims it
  // against another program drawing into the same folder.
  std::string arquivo;
  for (;; ++proximaImagem_) {
    arquivo = (std::filesystem::path(pasta) / Format("ticket-%04d.png", proximaImagem_)).string();
    int erro = 0;
    if (CriarArquivoNovo(arquivo, erro)) break;
    if (erro != EEXIST) DisparaErro(EStreamError(Format(kMsgPastaPreview, pasta.c_str(), std::strerror(erro))));
  }
  ++proximaImagem_;
  EscreveLog("  Arquivo: " + arquivo);
  try {
    DesenhoPreview()(AString, arquivo);
  } catch (const std::exception& e) {
    RemoverArquivo(arquivo);
    DisparaErro(EStreamError(Format(kMsgErroDesenho, arquivo.c_str(), e.what())));
  }
}

void TDevice::EnviaStringTCP(const std::string& AString) {
  EscreveLog("EnviaStringTCP(" + AString + ")", true);
  const size_t len = AString.size();
  const size_t tamanho = sendBytesCount_ > 0 ? static_cast<size_t>(sendBytesCount_) : len;
  for (size_t i = 0; i < len; i += tamanho) {
    EscreveLog("  BytesToSend:" + std::to_string(tamanho));
    socket_->WriteText(AString.substr(i, tamanho));
    if (sendBytesInterval_ > 0) {
      EscreveLog("  Sleep(" + std::to_string(sendBytesInterval_) + ")");
      relogio_->Dormir(sendBytesInterval_);
    }
  }
}

void TDevice::EnviaStringRaw(const std::string& AString) {
  EscreveLog("EnviaStringRaw(" + AString + ")", true);
  TListaImpressoras lista;
  const int indice = IndiceImpressoraRaw(lista);
  const std::string nome = lista.Nomes[static_cast<size_t>(indice)];
  std::string erro;
  switch (spooler_->ImprimirRaw(nome, NomeDocumento(), AString, erro)) {
    case TResultadoRaw::Impresso:
      break;
    case TResultadoRaw::NaoEncontrada:
      DisparaErro(Exception(Format(kMsgImpressoraNaoEncontrada, nome.c_str())));
    case TResultadoRaw::Falhou:
      DisparaErro(Exception(Format(kMsgErroImpressao, nome.c_str(), erro.c_str())));
  }
}

void TDevice::EnviaStringArquivo(const std::string& AString) {
  EscreveLog("EnviaStringArquivo(" + AString + ")", true);
  const int tamanho =
      sendBytesCount_ > 0 ? sendBytesCount_ : static_cast<int>(std::min<size_t>(AString.size(), INT_MAX));
  const std::string nomeArq = GetPrinterFileName();
  try {
    GravarArquivo(nomeArq, AString, tamanho);
  } catch (const EStreamError& e) {
    DisparaErro(e);
  }
}

void TDevice::GravarArquivo(const std::string& NomeArq, const std::string& AString, int Tamanho) {
  const bool paralela = deviceType_ == TDeviceType::dtParallel;
  const TTipoArquivo tipo = TipoArquivo(NomeArq);
  const bool existe = tipo != TTipoArquivo::Ausente;

  TAberturaSaida modo = TAberturaSaida::Substituir;
  bool dispositivo = false;
  if (paralela || tipo == TTipoArquivo::Outro) {
    // A port (or a FIFO standing in for one).
    modo = TAberturaSaida::Porta;
    dispositivo = true;
  } else if (deviceType_ == TDeviceType::dtFile && existe) {
    modo = TAberturaSaida::Acrescentar;
  }
  int erroAbertura = 0;
  const std::unique_ptr<TSaidaArquivo> saida = AbrirSaida(NomeArq, modo, erroAbertura);
  if (!saida) {
    if (paralela) throw EStreamError(Format(kMsgPortaNaoAcessivel, porta_.c_str()));
    throw EStreamError(Format("Cannot open file \"%s\". %s", NomeArq.c_str(), std::strerror(erroAbertura)));
  }

  // A busy port is waited for while it takes nothing for at most TimeOut
  // seconds (at least one); a port that keeps taking bytes, however slowly,
  // is written to the end.
  const int esperaMs = std::max(SegundosParaMs(timeOut_), 1000);
  const size_t passo = Tamanho > 0 ? static_cast<size_t>(Tamanho) : std::max<size_t>(AString.size(), 1);
  for (size_t i = 0; i < AString.size(); i += passo) {
    const size_t fim = std::min(AString.size(), i + passo);
    int erro = 0;
    switch (EscreverNaSaida(*saida, AString.data() + i, fim - i, esperaMs, erro)) {
      case TResultadoEscrita::Escrito:
        break;
      case TResultadoEscrita::Parado:
        throw EStreamError(Format(kMsgErroEnvio, porta_.c_str()));
      case TResultadoEscrita::Falhou:
        if (dispositivo) throw EStreamError(Format(kMsgErroEnvio, porta_.c_str()));
        throw EStreamError(Format("Write error on file \"%s\". %s", NomeArq.c_str(), std::strerror(erro)));
    }
    if (sendBytesInterval_ > 0) relogio_->Dormir(sendBytesInterval_);
  }
  // Closing a USB printer class device cancels the transfer still running:
  // the send ends when the device has taken the last bytes.
  if (dispositivo && !AString.empty() && !AguardarEntrega(*saida, esperaMs))
    throw EStreamError(Format(kMsgErroEnvio, porta_.c_str()));
}

std::unique_ptr<TSaidaArquivo> TDevice::AbrirSaida(const std::string& NomeArq, TAberturaSaida Modo, int& Erro) {
  return AbrirSaidaArquivo(NomeArq, Modo, Erro);
}

void TDevice::EnviaStringHook(const std::string& AString) {
  if (!hookEnviaString_) return;
  EscreveLog("EnviaStringHook(" + AString + ")", true);
  hookEnviaString_(AString);
}

// --- reading -------------------------------------------------------------------------

std::string TDevice::LeString(int ATimeOut, int NumBytes, const std::string& Terminador) {
  if (!arqLOG_.empty())
    EscreveLog("LeString(" + std::to_string(ATimeOut) + ", " + std::to_string(NumBytes) + ", " + Terminador + ")",
               true);
  std::string resultado;
  const size_t lenTer = Terminador.size();
  // TimeOut is in seconds, the reads take milliseconds.
  if (ATimeOut == 0) ATimeOut = SegundosParaMs(timeOut_);

  switch (deviceType_) {
    case TDeviceType::dtSerial:
      if (NumBytes > 0)
        resultado = serial_->ReadExactly(NumBytes, ATimeOut);
      else if (lenTer > 0)
        resultado = serial_->ReadUntil(ATimeOut, Terminador);
      else
        resultado = serial_->ReadAvailable(ATimeOut);
      break;
    case TDeviceType::dtTCP:
      if (NumBytes > 0)
        resultado = socket_->ReadExactly(NumBytes, ATimeOut);
      else if (lenTer > 0)
        resultado = socket_->ReadUntil(ATimeOut, Terminador);
      else
        resultado = socket_->ReadAvailable(ATimeOut);
      break;
    case TDeviceType::dtHook:
      if (hookLeString_) {
        int numBytes = std::max(NumBytes, 1);
        const int64_t limite = AgoraMs() + ATimeOut;
        int64_t inicioChamada = -1;
        do {
          // A library that answers at once when it has nothing is asked again
          // only after a short pause, so the wait does not spin on the
          // processor.
          if (inicioChamada >= 0) {
            const int64_t falta = inicioChamada + kPausaLeituraHookMs - AgoraMs();
            if (falta > 0) relogio_->Dormir(static_cast<int>(falta));
            if (AgoraMs() > limite) break;
          }
          inicioChamada = AgoraMs();
          std::string pedaco;
          hookLeString_(numBytes, ATimeOut, pedaco);
          if (lenTer > 0 && !pedaco.empty() && pedaco.ends_with(Terminador)) {
            pedaco.resize(pedaco.size() - lenTer);
            numBytes = 0;
          }
          resultado += pedaco;
        } while (resultado.size() < static_cast<size_t>(numBytes) && AgoraMs() <= limite);
      }
      break;
    default:
      break;
  }
  EscreveLog("  " + resultado, true);
  return resultado;
}

void TDevice::Limpar() {
  EscreveLog("Limpar");
  if (IsSerial())
    serial_->ClearBuffers();
  else if (IsTCP())
    socket_->ClearInput();
}

// --- raw printing and files ----------------------------------------------------------

int TDevice::LocalizarEm(const TListaImpressoras& Lista, const std::string& Name, bool RedeTambem) {
  for (size_t i = 0; i < Lista.Nomes.size(); ++i)
    if (SameText(Lista.Nomes[i], Name)) return static_cast<int>(i);
  if (!RedeTambem) return -1;
  // A printer connection is named "\\server\queue": compare its queue part.
  for (size_t i = 0; i < Lista.Nomes.size(); ++i) {
    const std::string& nome = Lista.Nomes[i];
    if (!nome.starts_with("\\\\")) continue;
    const auto barra = nome.find('\\', 2);
    if (barra == std::string::npos) continue;
    if (SameText(nome.substr(barra + 1), Name)) return static_cast<int>(i);
  }
  return -1;
}

int TDevice::LocalizarImpressora(const std::string& Name) {
  return LocalizarEm(spooler_->ListarImpressoras(), Name, true);
}

std::vector<std::string> TDevice::ImpressorasInstaladas() { return spooler_->ListarImpressoras().Nomes; }

int TDevice::IndiceImpressoraRaw(TListaImpressoras& Lista) {
  EscreveLog("GetPrinterRawIndex");
  std::string nome = porta_;
  if (StartsText("RAW:", porta_)) nome = porta_.substr(4);
  Lista = spooler_->ListarImpressoras();
  int indice;
  if (nome == "*") {
    indice = Lista.Padrao;
    if (indice < 0 || indice >= static_cast<int>(Lista.Nomes.size())) {
      if (Lista.Nomes.empty()) DisparaErro(Exception(kMsgSemImpressoraPadrao));
      indice = 0;
    }
  } else {
    indice = LocalizarEm(Lista, nome, true);
    if (indice < 0) DisparaErro(Exception(Format(kMsgImpressoraNaoEncontrada, nome.c_str())));
  }
  EscreveLog("  " + std::to_string(indice));
  return indice;
}

int TDevice::GetPrinterRawIndex() {
  TListaImpressoras lista;
  return IndiceImpressoraRaw(lista);
}

std::string TDevice::GetPrinterFileName() {
  std::string r = porta_;
  if (StartsText("FILE:", porta_)) {
    r = porta_.substr(5);
  } else if (deviceType_ == TDeviceType::dtParallel && StartsText("LPT", porta_)) {
    const int n = PlainNumberAfter(porta_, 3);
    if (n >= 1) r = NomeArquivoPorta(pastaDispositivos_, "LPT", n);
  }
  EscreveLog("GetPrinterFileName: " + r);
  return r;
}

}  // namespace bilhetor
