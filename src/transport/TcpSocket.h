#pragma once
// TTcpSocket: a blocking TCP client socket with the calling style of
// TSerialPort: every call returns when its work is done, has failed or has run
// into its time-out; failures are recorded as LastError/LastErrorDesc and
// raised as ESocketError only when RaiseExcept is true.
//
// Built on the socket calls of transport/SoqueteSistema.h (BSD sockets on
// Linux, Winsock 2 on Windows). Errors are the Windows sockets numbers
// (10054 reset, 10060 timed out, 10061 refused, 11001 host not found, ...)
// on every platform, so that messages and logs read the same everywhere.
//
// Class chain: TSocketBase (connection, transfers, reads) <- TSocksSocket
// (SOCKS settings) <- TTcpSocket (HTTP tunnel settings, encryption layer).
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/Exception.h"
#include "transport/SoqueteSistema.h"

namespace bilhetor {

// Raised by the sockets when RaiseExcept is true ("TCP/IP Socket error %d: %s"),
// and by users of the socket with a message of their own.
class ESocketError : public Exception {
 public:
  // Message "TCP/IP Socket error %d: %s" filled with code and description.
  ESocketError(int errorCode, const std::string& errorMessage);
  // A message of the caller's own, with the code and description it carries.
  ESocketError(const std::string& message, int errorCode, const std::string& errorMessage);

  int ErrorCode() const noexcept { return errorCode_; }
  const std::string& ErrorMessage() const noexcept { return errorMessage_; }

 private:
  int errorCode_;
  std::string errorMessage_;
};

// Windows sockets error numbers used by the sockets.
namespace wsa {
constexpr int WSAEINTR = 10004;
constexpr int WSAEBADF = 10009;
constexpr int WSAEACCES = 10013;
constexpr int WSAEFAULT = 10014;
constexpr int WSAEINVAL = 10022;
constexpr int WSAEMFILE = 10024;
constexpr int WSAEWOULDBLOCK = 10035;
constexpr int WSAEINPROGRESS = 10036;
constexpr int WSAEALREADY = 10037;
constexpr int WSAENOTSOCK = 10038;
constexpr int WSAEDESTADDRREQ = 10039;
constexpr int WSAEMSGSIZE = 10040;
constexpr int WSAEPROTOTYPE = 10041;
constexpr int WSAENOPROTOOPT = 10042;
constexpr int WSAEPROTONOSUPPORT = 10043;
constexpr int WSAESOCKTNOSUPPORT = 10044;
constexpr int WSAEOPNOTSUPP = 10045;
constexpr int WSAEPFNOSUPPORT = 10046;
constexpr int WSAEAFNOSUPPORT = 10047;
constexpr int WSAEADDRINUSE = 10048;
constexpr int WSAEADDRNOTAVAIL = 10049;
constexpr int WSAENETDOWN = 10050;
constexpr int WSAENETUNREACH = 10051;
constexpr int WSAENETRESET = 10052;
constexpr int WSAECONNABORTED = 10053;
constexpr int WSAECONNRESET = 10054;
constexpr int WSAENOBUFS = 10055;
constexpr int WSAEISCONN = 10056;
constexpr int WSAENOTCONN = 10057;
constexpr int WSAESHUTDOWN = 10058;
constexpr int WSAETOOMANYREFS = 10059;
constexpr int WSAETIMEDOUT = 10060;
constexpr int WSAECONNREFUSED = 10061;
constexpr int WSAELOOP = 10062;
constexpr int WSAENAMETOOLONG = 10063;
constexpr int WSAEHOSTDOWN = 10064;
constexpr int WSAEHOSTUNREACH = 10065;
constexpr int WSAENOTEMPTY = 10066;
constexpr int WSAEPROCLIM = 10067;
constexpr int WSAEUSERS = 10068;
constexpr int WSAEDQUOT = 10069;
constexpr int WSAESTALE = 10070;
constexpr int WSAEREMOTE = 10071;
constexpr int WSASYSNOTREADY = 10091;
constexpr int WSAVERNOTSUPPORTED = 10092;
constexpr int WSANOTINITIALISED = 10093;
constexpr int WSAEDISCON = 10101;
constexpr int WSATYPE_NOT_FOUND = 10109;
constexpr int WSAHOST_NOT_FOUND = 11001;
constexpr int WSATRY_AGAIN = 11002;
constexpr int WSANO_RECOVERY = 11003;
constexpr int WSANO_DATA = 11004;
}  // namespace wsa

enum class TSocketFamily { SF_Any, SF_IP4, SF_IP6 };
enum class TSocksType { ST_Socks5, ST_Socks4 };

enum class THookSocketReason {
  HR_ResolvingBegin,  // host + ":" + port
  HR_ResolvingEnd,    // resolved address + ":" + port number
  HR_SocketCreate,    // "IPv4" or "IPv6"
  HR_SocketClose,
  HR_Bind,
  HR_Connect,         // host + ":" + port
  HR_CanRead,
  HR_CanWrite,
  HR_Listen,
  HR_Accept,
  HR_ReadCount,       // bytes, decimal
  HR_WriteCount,      // bytes, decimal
  HR_Wait,            // milliseconds, decimal
  HR_Error,           // code + "," + description
};

class TSocketBase;

using THookSocketStatus =
    std::function<void(TSocketBase& Sender, THookSocketReason Reason, const std::string& Value)>;
// May rewrite received data; it may shorten it, never lengthen it.
using TDataFilterHook = std::function<void(TSocketBase& Sender, std::string& Value)>;
using THookCreateSocket = std::function<void(TSocketBase& Sender)>;
using THookMonitor =
    std::function<void(TSocketBase& Sender, bool Writing, const void* Buffer, int Length)>;
using THookHeartbeat = std::function<void(TSocketBase& Sender)>;
using THookAfterConnect = std::function<void(TSocketBase& Sender)>;

// Process-wide lock that serialises the loading of the socket interface and
// the address look-ups.
class SocketInterfaceLock {
 public:
  static void Lock();
  static void Unlock();
};

class TSocketBase {
 public:
  static constexpr std::intptr_t InvalidSocket = soquete::kInvalido;

  TSocketBase();
  virtual ~TSocketBase();  // closes the socket
  TSocketBase(const TSocketBase&) = delete;
  TSocketBase& operator=(const TSocketBase&) = delete;

  // Description of a Windows sockets error number; empty for 0,
  // "Other Winsock error (n)" for unknown numbers.
  static std::string GetErrorDesc(int ErrorCode);
  // Description of LastError.
  virtual std::string GetErrorDescEx();

  // --- connection ------------------------------------------------------------
  virtual void Connect(const std::string& IP, const std::string& Port);
  // Ends the connection. While the connection is intact (no error, or only
  // a read that timed out), the sending side is shut down and the close
  // waits until the peer has acknowledged every byte sent, reading and
  // dropping what it sends meanwhile, for as long as the acknowledgements
  // keep coming (NonblockSendTimeout ms without one ends the wait). Closing
  // earlier would let a reply arriving later reset the connection and throw
  // away what a slow printer has not taken yet. After an error that broke
  // the connection, or a send the peer did not take, it closes at once.
  // Where the system cannot count the unacknowledged bytes (Wine), the wait
  // ends when the peer ends its side or resets, or after NonblockSendTimeout
  // ms in all, and the close then lingers up to as long for what is left.
  virtual void CloseSocket();

  // --- transfers -------------------------------------------------------------
  int WriteBuffer(const void* Data, int Length);
  void WriteText(const std::string& Data);  // all bytes of Data
  std::string ReadExactly(int Count, int Timeout);
  std::string ReadAvailable(int Timeout);
  std::string ReadUntil(int Timeout, const std::string& Terminator);
  // Reads and drops everything already received.
  void ClearInput();

  // Readable bytes the system holds (at most 65536; 0 when the query fails).
  int BytesWaiting();
  // Wait for the socket to become readable / writable; -1 waits without limit.
  bool WaitReadable(int Timeout);
  bool WaitWritable(int Timeout);

  // --- state -----------------------------------------------------------------
  std::intptr_t Socket() const { return socket_; }
  int LastError() const { return lastError_; }
  const std::string& LastErrorDesc() const { return lastErrorDesc_; }
  std::string LocalAddress() const { return localAddress_; }
  int LocalPort() const { return localPort_; }
  std::string RemoteAddress() const { return remoteAddress_; }
  int RemotePort() const { return remotePort_; }
  int64_t SentBytes() const { return sentBytes_; }
  int64_t RecvBytes() const { return recvBytes_; }
  // Bytes received but not yet handed out.
  const std::string& Buffer() const { return buffer_; }

  // --- properties ------------------------------------------------------------
  int Tag() const { return tag_; }
  void SetTag(int v) { tag_ = v; }
  bool RaiseExcept() const { return raiseExcept_; }
  void SetRaiseExcept(bool v) { raiseExcept_ = v; }
  int MaxLineLength() const { return maxLineLength_; }
  void SetMaxLineLength(int v) { maxLineLength_ = v; }
  int MaxSendBandwidth() const { return maxSendBandwidth_; }
  void SetMaxSendBandwidth(int v) { maxSendBandwidth_ = v; }
  int MaxRecvBandwidth() const { return maxRecvBandwidth_; }
  void SetMaxRecvBandwidth(int v) { maxRecvBandwidth_ = v; }
  // Sets MaxSendBandwidth and MaxRecvBandwidth together.
  void SetMaxBandwidth(int v) { maxSendBandwidth_ = maxRecvBandwidth_ = v; }
  bool ConvertLineEnd() const { return convertLineEnd_; }
  void SetConvertLineEnd(bool v) { convertLineEnd_ = v; }
  TSocketFamily Family() const { return family_; }
  void SetFamily(TSocketFamily v) { family_ = v; familySet_ = v; }
  bool PreferIP4() const { return preferIP4_; }
  void SetPreferIP4(bool v) { preferIP4_ = v; }
  bool InterPacketTimeout() const { return interPacketTimeout_; }
  void SetInterPacketTimeout(bool v) { interPacketTimeout_ = v; }
  int SendMaxChunk() const { return sendMaxChunk_; }
  void SetSendMaxChunk(int v) { sendMaxChunk_ = v; }
  // May be set from another thread to abort the current transfer.
  bool StopFlag() const { return stopFlag_.load(); }
  void SetStopFlag(bool v) { stopFlag_.store(v); }
  int NonblockSendTimeout() const { return nonblockSendTimeout_; }
  void SetNonblockSendTimeout(int v) { nonblockSendTimeout_ = v; }
  int ConnectionTimeout() const { return connectionTimeout_; }
  void SetConnectionTimeout(int v) { connectionTimeout_ = v; }
  int HeartbeatRate() const { return heartbeatRate_; }
  void SetHeartbeatRate(int v) { heartbeatRate_ = v; }
  const THookSocketStatus& OnStatus() const { return onStatus_; }
  void SetOnStatus(THookSocketStatus v) { onStatus_ = std::move(v); }
  const TDataFilterHook& OnReadFilter() const { return onReadFilter_; }
  void SetOnReadFilter(TDataFilterHook v) { onReadFilter_ = std::move(v); }
  const THookCreateSocket& OnCreateSocket() const { return onCreateSocket_; }
  void SetOnCreateSocket(THookCreateSocket v) { onCreateSocket_ = std::move(v); }
  const THookMonitor& OnMonitor() const { return onMonitor_; }
  void SetOnMonitor(THookMonitor v) { onMonitor_ = std::move(v); }
  const THookHeartbeat& OnHeartbeat() const { return onHeartbeat_; }
  void SetOnHeartbeat(THookHeartbeat v) { onHeartbeat_ = std::move(v); }
  void* Owner() const { return owner_; }
  void SetOwner(void* v) { owner_ = v; }

  // Socket options: applied at once to an existing socket; set before the
  // socket exists they wait and are applied, in order, right after it is
  // created. level/name/value as for setsockopt with an int value, in the
  // system's numbering.
  void SetSocketOption(int Level, int Name, int Value);
  // Switches the socket between blocking and non-blocking mode.
  void SetNonBlockMode(bool Value);
  bool NonBlockMode() const { return nonBlockMode_; }

 protected:
  void ResetError();
  int CheckResult(int result);  // result -1: LastError := the system's error
  void SetLastError(int code);
  void RaiseIfError();
  void ReportStatus(THookSocketReason reason, const std::string& value);
  bool StopRequested();  // heartbeat, then the stop flag (cleared when set)
  void LimitRate(int length, int max, int64_t& nextMark);
  int ReadRaw(std::string& into, int length);
  // ReadAvailable without raising (the collecting reads raise at their end).
  std::string ReadAvailableQuiet(int Timeout);
  bool WaitFor(bool writing, int timeout);
  // Creates the system socket of the given family.
  void CreateSocket(soquete::Familia family);
  // Resolves IP and Port into an address; returns the Winsock result.
  int Resolve(const std::string& ip, const std::string& port, soquete::Endereco& addr);
  void ConnectTo(const soquete::Endereco& addr);
  void ReadAddresses();
  void CloseSystemSocket();
  // The wait of CloseSocket; the bytes still unacknowledged when it ended,
  // -1 when the system cannot count them.
  int WaitAcknowledged(int stallMs);
  // The connection is up (in either direction).
  bool Connected();
  void ApplyPendingOptions();
  // Sets the socket's send time-out to NonblockSendTimeout (once per value).
  bool ApplySendTimeout();

  int tag_ = 0;
  bool raiseExcept_ = false;
  int maxLineLength_ = 0;
  int maxSendBandwidth_ = 0;
  int maxRecvBandwidth_ = 0;
  bool convertLineEnd_ = false;
  TSocketFamily family_ = TSocketFamily::SF_Any;
  TSocketFamily familySet_ = TSocketFamily::SF_Any;
  bool preferIP4_ = true;
  bool interPacketTimeout_ = true;
  int sendMaxChunk_ = 65536;
  std::atomic<bool> stopFlag_{false};
  int nonblockSendTimeout_ = 15000;
  int connectionTimeout_ = 0;
  int heartbeatRate_ = 0;
  THookSocketStatus onStatus_;
  TDataFilterHook onReadFilter_;
  THookCreateSocket onCreateSocket_;
  THookMonitor onMonitor_;
  THookHeartbeat onHeartbeat_;
  void* owner_ = nullptr;

  std::intptr_t socket_ = InvalidSocket;
  int lastError_ = 0;
  std::string lastErrorDesc_;
  std::string buffer_;
  std::string localAddress_, remoteAddress_;
  int localPort_ = 0, remotePort_ = 0;
  int64_t sentBytes_ = 0, recvBytes_ = 0;
  int64_t nextSend_ = 0, nextRecv_ = 0;
  bool nonBlockMode_ = false;
  int sendTimeoutApplied_ = 0;  // NonblockSendTimeout last given to the system
  bool sendStalled_ = false;    // the last send ended because the peer took nothing
  bool lastCR_ = false, lastLF_ = false;
  struct PendingOption {
    int level, name, value;
  };
  std::vector<PendingOption> pendingOptions_;
};

class TSocksSocket : public TSocketBase {
 public:
  const std::string& SocksIP() const { return socksIP_; }
  void SetSocksIP(const std::string& v) { socksIP_ = v; }
  const std::string& SocksPort() const { return socksPort_; }
  void SetSocksPort(const std::string& v) { socksPort_ = v; }
  const std::string& SocksUsername() const { return socksUsername_; }
  void SetSocksUsername(const std::string& v) { socksUsername_ = v; }
  const std::string& SocksPassword() const { return socksPassword_; }
  void SetSocksPassword(const std::string& v) { socksPassword_ = v; }
  int SocksTimeout() const { return socksTimeout_; }
  void SetSocksTimeout(int v) { socksTimeout_ = v; }
  bool SocksResolver() const { return socksResolver_; }
  void SetSocksResolver(bool v) { socksResolver_ = v; }
  TSocksType SocksType() const { return socksType_; }
  void SetSocksType(TSocksType v) { socksType_ = v; }

 protected:
  std::string socksIP_;
  std::string socksPort_ = "1080";
  std::string socksUsername_;
  std::string socksPassword_;
  int socksTimeout_ = 60000;
  bool socksResolver_ = true;
  TSocksType socksType_ = TSocksType::ST_Socks5;
};

// The encryption layer of TTcpSocket. TSSLNone is the only implementation:
// it offers no encryption.
class TSSLNone {
 public:
  std::string LibName() const { return "ssl_none"; }
  std::string LibVersion() const { return "Without SSL support"; }
  // Asking for encryption fails: LastError -1, LastErrorDesc
  // "SSL/TLS support is not compiled!". Returns false.
  bool Connect();
  bool Shutdown() { return true; }
  bool SSLEnabled() const { return false; }
  int LastError() const { return lastError_; }
  const std::string& LastErrorDesc() const { return lastErrorDesc_; }

 private:
  int lastError_ = 0;
  std::string lastErrorDesc_;
};

class TTcpSocket : public TSocksSocket {
 public:
  TTcpSocket();
  ~TTcpSocket() override;

  // Plain connection: the SOCKS and HTTP tunnel layers are not supported;
  // with SocksIP or HTTPTunnelIP set the connection fails with 10091 / 10061.
  void Connect(const std::string& IP, const std::string& Port) override;
  void CloseSocket() override;
  // 10091 with an error in the encryption layer takes that layer's description.
  std::string GetErrorDescEx() override;

  const std::string& HTTPTunnelIP() const { return httpTunnelIP_; }
  void SetHTTPTunnelIP(const std::string& v) { httpTunnelIP_ = v; }
  const std::string& HTTPTunnelPort() const { return httpTunnelPort_; }
  void SetHTTPTunnelPort(const std::string& v) { httpTunnelPort_ = v; }
  const std::string& HTTPTunnelUser() const { return httpTunnelUser_; }
  void SetHTTPTunnelUser(const std::string& v) { httpTunnelUser_ = v; }
  const std::string& HTTPTunnelPass() const { return httpTunnelPass_; }
  void SetHTTPTunnelPass(const std::string& v) { httpTunnelPass_ = v; }
  int HTTPTunnelTimeout() const { return httpTunnelTimeout_; }
  void SetHTTPTunnelTimeout(int v) { httpTunnelTimeout_ = v; }
  const THookAfterConnect& OnAfterConnect() const { return onAfterConnect_; }
  void SetOnAfterConnect(THookAfterConnect v) { onAfterConnect_ = std::move(v); }
  TSSLNone& SSL() { return *ssl_; }

 private:
  std::string httpTunnelIP_, httpTunnelPort_, httpTunnelUser_, httpTunnelPass_;
  int httpTunnelTimeout_ = 30000;
  THookAfterConnect onAfterConnect_;
  std::unique_ptr<TSSLNone> ssl_;
};

}  // namespace bilhetor
