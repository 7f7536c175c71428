#pragma once
// TDevice: the port through which the printer engine reaches its printer. One
// device stands for one port: a serial port, a parallel port, a TCP
// connection, a print queue written in raw mode, a file, a maker's USB
// library reached through four hooks, or a folder of pictures of the paper.
//
// Port names (Porta):
//   "COMn"                 serial port (/dev/ttyS{n-1}); "\\.\NAME" opens /dev/NAME;
//                          /dev/tty* and /dev/rfcomm* are serial ports as they stand
//   "LPTn"                 parallel port (/dev/lp{n-1}); /dev/usb/lp* and /dev/lp*
//                          are written the same way (see device/SaidaArquivo.h:
//                          a send returns when the printer has taken the bytes)
//   "TCP:host[:port]"      network printer, port 9100 by default
//   "RAW:queue", "RAW:*", "*", or a bare installed queue name
//                          a print queue in raw mode ("*" = the default queue)
//   "FILE:path", "*.txt", any name with a backslash
//                          a file
//   "USB", "DLL", "USB:brand", "DLL:brand"
//                          a maker's library, through the hooks
//   "PREVIEW:folder"       no printer: each send (one print job) is drawn as a
//                          picture of the paper, ticket-NNNN.png in the folder
//                          (made when missing), by the drawing the program
//                          registers with RegistrarDesenhoPreview
//
// The device's own errors are logged (class name + ": " + message) before
// they are raised; errors raised by the serial port or the socket themselves
// (time-outs, resets, refused connections) pass out unchanged.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/Exception.h"
#include "device/DeviceLog.h"
#include "device/PrinterSpooler.h"
#include "device/SaidaArquivo.h"
#include "transport/SerialPort.h"

namespace bilhetor {

class TTcpSocket;

// Failure to open or write a file or a parallel port.
BILHETOR_DECLARE_ERROR(EStreamError);

enum class TDeviceType { dtNenhum, dtFile, dtSerial, dtParallel, dtTCP, dtRawPrinter, dtHook, dtPreview };
enum class TSerialParity { pNone, pOdd, pEven, pMark, pSpace };
enum class TSerialStop { s1, s1eMeio, s2 };
enum class THandShake { hsNenhum, hsXON_XOFF, hsRTS_CTS, hsDTR_DSR };

// The enumeration names ("dtSerial", "pEven", "s1eMeio", "hsRTS_CTS").
std::string NomeDeviceType(TDeviceType v);
std::string NomeSerialParity(TSerialParity v);
std::string NomeSerialStop(TSerialStop v);
std::string NomeHandShake(THandShake v);

// Draws the bytes of one send (one print job) into the picture file Arquivo.
// The device does not draw: a program that can registers its drawing once
// (the print server and bilhetor-print register the receipt preview of
// src/preview). In a program without one, a PREVIEW: port fails to activate.
// Its exceptions reach the send, which raises EStreamError with their text.
using TDesenhoPreview = std::function<void(const std::string& Dados, const std::string& Arquivo)>;
void RegistrarDesenhoPreview(TDesenhoPreview Desenho);

// The four hooks of a device whose port is a maker's library.
using TDeviceHookAtivar = std::function<void(const std::string& APort, const std::string& Params)>;
using TDeviceHookDesativar = std::function<void(const std::string& APort)>;
using TDeviceHookEnviaString = std::function<void(const std::string& cmd)>;
using TDeviceHookLeString = std::function<void(int NumBytes, int ATimeOut, std::string& Retorno)>;

class TDevice {
 public:
  // The pause between two calls of a USB library's read while LeString waits.
  static constexpr int kPausaLeituraHookMs = 5;

  // The spooler defaults to the system's (SpoolerDoSistema: CUPS on Linux),
  // the clock to the machine's.
  TDevice();
  TDevice(std::shared_ptr<TPrinterSpooler> Spooler, std::shared_ptr<TDeviceClock> Relogio);
  virtual ~TDevice();
  TDevice(const TDevice&) = delete;
  TDevice& operator=(const TDevice&) = delete;

  // --- port --------------------------------------------------------------------
  const std::string& Porta() const { return porta_; }
  void SetPorta(const std::string& Value);
  TDeviceType DeviceType() const { return deviceType_; }
  TDeviceType DeduzirTipoPorta(const std::string& APorta);
  bool IsSerial() const { return deviceType_ == TDeviceType::dtSerial; }
  bool IsTCP() const { return deviceType_ == TDeviceType::dtTCP; }
  bool IsFile() const { return deviceType_ == TDeviceType::dtFile; }
  bool IsHook() const { return deviceType_ == TDeviceType::dtHook; }
  bool IsPreview() const { return deviceType_ == TDeviceType::dtPreview; }
  bool Ativo() const { return ativo_; }

  // --- serial settings ------------------------------------------------------
  int Baud() const { return baud_; }
  void SetBaud(int n);
  int Data() const { return data_; }
  void SetData(int n);
  TSerialParity Parity() const;
  void SetParity(TSerialParity p);
  char ParityLetter() const { return parity_; }  // N, O, E, M or S
  TSerialStop Stop() const;
  void SetStop(TSerialStop s);
  int StopValue() const { return stop_; }  // 0, 1 (one and a half) or 2
  THandShake HandShake() const { return handShake_; }
  void SetHandShake(THandShake h);
  bool HardFlow() const { return hardFlow_; }
  void SetHardFlow(bool b);
  bool SoftFlow() const { return softFlow_; }
  void SetSoftFlow(bool b);
  // Bytes per second, 0 = no limit; held by the socket for TCP ports and by
  // the serial port otherwise.
  int MaxBandwidth() const;
  void SetMaxBandwidth(int n);
  int SendBytesCount() const { return sendBytesCount_; }
  void SetSendBytesCount(int n) { sendBytesCount_ = n; }
  int SendBytesInterval() const { return sendBytesInterval_; }
  void SetSendBytesInterval(int n) { sendBytesInterval_ = n; }
  // Restores the serial defaults (9600 8 N 1, no handshake) without touching
  // an open port.
  void SetDefaultValues();

  // --- time-outs ------------------------------------------------------------
  // Seconds, for serial and TCP ports.
  int TimeOut() const { return timeOut_; }
  void SetTimeOut(int Segundos) { timeOut_ = Segundos; }
  int TimeOutMilissegundos() const;
  void SetTimeOutMilissegundos(int AValue);

  // --- parameter string -----------------------------------------------------
  std::string DeviceToString(bool ApenasAlterados);
  std::string ParamsString() { return DeviceToString(true); }
  void SetParamsString(const std::string& Value);
  static std::string LerValorParam(const std::string& S, const std::string& Key);

  // --- other properties -----------------------------------------------------
  // The job title of raw printing; "TDevice" while empty.
  std::string NomeDocumento() const;
  void SetNomeDocumento(const std::string& s);
  bool ProcessMessages() const { return processMessages_; }
  void SetProcessMessages(bool v) { processMessages_ = v; }
  const std::string& ArqLOG() const { return arqLOG_; }
  void SetArqLOG(const std::string& v) { arqLOG_ = v; }
  const TSerialStatusHook& OnStatus() const;
  void SetOnStatus(TSerialStatusHook v);
  const std::string& HostTCP() const { return hostTCP_; }
  const std::string& PortaTCP() const { return portaTCP_; }

  const TDeviceHookAtivar& HookAtivar() const { return hookAtivar_; }
  void SetHookAtivar(TDeviceHookAtivar v) { hookAtivar_ = std::move(v); }
  const TDeviceHookDesativar& HookDesativar() const { return hookDesativar_; }
  void SetHookDesativar(TDeviceHookDesativar v) { hookDesativar_ = std::move(v); }
  const TDeviceHookEnviaString& HookEnviaString() const { return hookEnviaString_; }
  void SetHookEnviaString(TDeviceHookEnviaString v) { hookEnviaString_ = std::move(v); }
  const TDeviceHookLeString& HookLeString() const { return hookLeString_; }
  void SetHookLeString(TDeviceHookLeString v) { hookLeString_ = std::move(v); }

  TSerialPort& Serial() { return *serial_; }
  TTcpSocket& Socket() { return *socket_; }
  TPrinterSpooler& Spooler() { return *spooler_; }

  // The folder of the system's device files ("/dev"; "\\." on Windows):
  // "COMn" opens <folder>/ttyS{n-1} and "LPTn" <folder>/lp{n-1} on Linux,
  // <folder>\COMn and <folder>\LPTn on Windows (NomeArquivoPorta). Tests
  // point it elsewhere.
  const std::string& PastaDispositivos() const { return pastaDispositivos_; }
  void SetPastaDispositivos(const std::string& v) { pastaDispositivos_ = v; }
  // The folder where the system describes its devices ("/sys"), read by the
  // serial port search. Tests point it elsewhere.
  const std::string& PastaSysfs() const { return pastaSysfs_; }
  void SetPastaSysfs(const std::string& v) { pastaSysfs_ = v; }

  // The name the serial port is opened under for a serial port name: "COMn"
  // (n as TSerialPort::ComPortNumber reads it) gives the port's file in the
  // device folder (<folder>/ttyS{n-1} on Linux);
  // any other name is handed over as it stands, and the serial port opens
  // exactly that (TSerialPort::SystemDeviceName).
  std::string NomeSistemaSerial(const std::string& porta) const;

  // --- serial port search ---------------------------------------------------
  // With UltimaPorta 1 or more: "COM1".."COM<UltimaPorta>" (at most COM256)
  // whose device file exists, then the USB serial adapters
  // (<folder>/ttyUSB<n>, then <folder>/ttyACM<n>, by number). Nothing is
  // opened, so no port changes its settings or lines, ports in use are
  // listed untouched, and the system console is left out. A UART the
  // system describes as absent (type 0) is not listed.
  void AcharPortasSeriais(std::vector<std::string>& Lista, int UltimaPorta);

  // --- log ------------------------------------------------------------------
  void EscreveLog(const std::string& Mensagem, bool Traduzir = false);

  // Logs E's class name and message, then raises E.
  template <typename E>
  [[noreturn]] void DisparaErro(const E& Erro) {
    EscreveLog(NomeClasseErro(Erro) + ": " + Erro.what());
    throw Erro;
  }

  // --- input and output -----------------------------------------------------
  void Ativar();
  void Desativar();
  void ConfiguraSerial();
  void EnviaString(const std::string& AString);
  void EnviaStringSerial(const std::string& AString);
  void EnviaStringTCP(const std::string& AString);
  void EnviaStringRaw(const std::string& AString);
  void EnviaStringArquivo(const std::string& AString);
  void EnviaStringHook(const std::string& AString);
  // One picture in the folder of a PREVIEW: port.
  void EnviaStringPreview(const std::string& AString);
  // ATimeOut in milliseconds (0 = TimeOut); NumBytes > 0 reads exactly that
  // many bytes, else a non-empty Terminador reads up to it (removed), else
  // whatever arrives.
  std::string LeString(int ATimeOut = 0, int NumBytes = 0, const std::string& Terminador = "");
  void Limpar();
  void TryCloseSocket();
  int GetPrinterRawIndex();
  std::string GetPrinterFileName();
  int LocalizarImpressora(const std::string& Name);
  // The installed printers in the spooler's order (the application offers
  // each as "RAW:" + name in its port list).
  std::vector<std::string> ImpressorasInstaladas();

 protected:
  // One write to the open serial port; the bytes written.
  virtual int EscreverSerial(const char* Dados, int Tamanho);
  // Opens the file or device a file or parallel port is written to, as Modo
  // says; nullptr with an errno code in Erro when it cannot be opened
  // (AbrirSaidaArquivo).
  virtual std::unique_ptr<TSaidaArquivo> AbrirSaida(const std::string& NomeArq, TAberturaSaida Modo, int& Erro);

 private:
  // A serial port device file the search lists (see AcharPortasSeriais).
  bool PortaSerialPresente(const std::string& Caminho, const std::vector<uint64_t>& Consoles) const;
  void GravarArquivo(const std::string& NomeArq, const std::string& AString, int Tamanho);
  // GetPrinterRawIndex, also handing out the printer list it used.
  int IndiceImpressoraRaw(TListaImpressoras& Lista);
  // Index of Name in Lista (any case); with RedeTambem also the queue part
  // of "\\server\queue" connections. -1 when absent.
  static int LocalizarEm(const TListaImpressoras& Lista, const std::string& Name, bool RedeTambem);
  int64_t AgoraMs() { return relogio_->MonotonicoMs(); }

  std::shared_ptr<TPrinterSpooler> spooler_;
  std::shared_ptr<TDeviceClock> relogio_;
  std::unique_ptr<TSerialPort> serial_;
  std::unique_ptr<TTcpSocket> socket_;

  std::string porta_;
  TDeviceType deviceType_ = TDeviceType::dtNenhum;
  bool ativo_ = false;
  int timeOut_ = 3;
  int baud_ = 9600;
  int data_ = 8;
  char parity_ = 'N';
  int stop_ = 0;
  THandShake handShake_ = THandShake::hsNenhum;
  bool hardFlow_ = false;
  bool softFlow_ = false;
  int sendBytesCount_ = 0;
  int sendBytesInterval_ = 0;
  std::string nomeDocumento_;
  bool processMessages_ = true;
  std::string arqLOG_;
  std::string hostTCP_;
  std::string portaTCP_;
  std::string pastaDispositivos_ = PastaDispositivosPadrao();
  int proximaImagem_ = 1;  // the number of the next PREVIEW: picture to try
  std::string pastaSysfs_ = "/sys";

  TDeviceHookAtivar hookAtivar_;
  TDeviceHookDesativar hookDesativar_;
  TDeviceHookEnviaString hookEnviaString_;
  TDeviceHookLeString hookLeString_;
};

}  // namespace bilhetor
