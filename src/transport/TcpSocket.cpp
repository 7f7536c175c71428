#include "transport/TcpSocket.h"

#include <algorithm>
#include <mutex>
#include <thread>

#include "common/Strings.h"
#include "transport/DrainWait.h"
#include "transport/ReadLoop.h"

namespace bilhetor {

using transport_detail::NowMs;

ESocketError::ESocketError(int errorCode, const std::string& errorMessage)
    : Exception(Format("TCP/IP Socket error %d: %s", errorCode, errorMessage.c_str())),
      errorCode_(errorCode),
      errorMessage_(errorMessage) {}

ESocketError::ESocketError(const std::string& message, int errorCode, const std::string& errorMessage)
    : Exception(message), errorCode_(errorCode), errorMessage_(errorMessage) {}

namespace sq = soquete;

namespace {

std::mutex& InterfaceMutex() {
  static std::mutex m;
  return m;
}

// Longest a ClearInput keeps draining a peer that never stops sending.
constexpr int kClearInputLimitMs = 1000;
// Most bytes BytesWaiting reports (and so one raw read takes).
constexpr int kMaxWaiting = 65536;

}  // namespace

void SocketInterfaceLock::Lock() { InterfaceMutex().lock(); }
void SocketInterfaceLock::Unlock() { InterfaceMutex().unlock(); }

// --- errors ------------------------------------------------------------------

std::string TSocketBase::GetErrorDesc(int ErrorCode) {
  switch (ErrorCode) {
    case 0: return "";
    case wsa::WSAEINTR: return "Interrupted system call";
    case wsa::WSAEBADF: return "Bad file number";
    case wsa::WSAEACCES: return "Permission denied";
    case wsa::WSAEFAULT: return "Bad address";
    case wsa::WSAEINVAL: return "Invalid argument";
    case wsa::WSAEMFILE: return "Too many open files";
    case wsa::WSAEWOULDBLOCK: return "Operation would block";
    case wsa::WSAEINPROGRESS: return "Operation now in progress";
    case wsa::WSAEALREADY: return "Operation already in progress";
    case wsa::WSAENOTSOCK: return "Socket operation on nonsocket";
    case wsa::WSAEDESTADDRREQ: return "Destination address required";
    case wsa::WSAEMSGSIZE: return "Message too long";
    case wsa::WSAEPROTOTYPE: return "Protocol wrong type for Socket";
    case wsa::WSAENOPROTOOPT: return "Protocol not available";
    case wsa::WSAEPROTONOSUPPORT: return "Protocol not supported";
    case wsa::WSAESOCKTNOSUPPORT: return "Socket not supported";
    case wsa::WSAEOPNOTSUPP: return "Operation not supported on Socket";
    case wsa::WSAEPFNOSUPPORT: return "Protocol family not supported";
    case wsa::WSAEAFNOSUPPORT: return "Address family not supported";
    case wsa::WSAEADDRINUSE: return "Address already in use";
    case wsa::WSAEADDRNOTAVAIL: return "Can't assign requested address";
    case wsa::WSAENETDOWN: return "Network is down";
    case wsa::WSAENETUNREACH: return "Network is unreachable";
    case wsa::WSAENETRESET: return "Network dropped connection on reset";
    case wsa::WSAECONNABORTED: return "Software caused connection abort";
    case wsa::WSAECONNRESET: return "Connection reset by peer";
    case wsa::WSAENOBUFS: return "No Buffer space available";
    case wsa::WSAEISCONN: return "Socket is already connected";
    case wsa::WSAENOTCONN: return "Socket is not connected";
    case wsa::WSAESHUTDOWN: return "Can't send after Socket shutdown";
    case wsa::WSAETOOMANYREFS: return "Too many references:can't splice";
    case wsa::WSAETIMEDOUT: return "Connection timed out";
    case wsa::WSAECONNREFUSED: return "Connection refused";
    case wsa::WSAELOOP: return "Too many levels of symbolic links";
    case wsa::WSAENAMETOOLONG: return "File name is too long";
    case wsa::WSAEHOSTDOWN: return "Host is down";
    case wsa::WSAEHOSTUNREACH: return "No route to host";
    case wsa::WSAENOTEMPTY: return "Directory is not empty";
    case wsa::WSAEPROCLIM: return "Too many processes";
    case wsa::WSAEUSERS: return "Too many users";
    case wsa::WSAEDQUOT: return "Disk quota exceeded";
    case wsa::WSAESTALE: return "Stale NFS file handle";
    case wsa::WSAEREMOTE: return "Too many levels of remote in path";
    case wsa::WSASYSNOTREADY: return "Network subsystem is unusable";
    case wsa::WSAVERNOTSUPPORTED: return "Winsock DLL cannot support this application";
    case wsa::WSANOTINITIALISED: return "Winsock not initialized";
    case wsa::WSAEDISCON: return "Disconnect";
    case wsa::WSAHOST_NOT_FOUND: return "Host not found";
    case wsa::WSATRY_AGAIN: return "Non authoritative - host not found";
    case wsa::WSANO_RECOVERY: return "Non recoverable error";
    case wsa::WSANO_DATA: return "Valid name, no data record of requested type";
    default: return "Other Winsock error (" + std::to_string(ErrorCode) + ")";
  }
}

std::string TSocketBase::GetErrorDescEx() { return GetErrorDesc(lastError_); }

TSocketBase::TSocketBase() = default;

TSocketBase::~TSocketBase() {
  try {
    TSocketBase::CloseSocket();
  } catch (...) {
    // A callback that throws must not escape the destructor.
  }
}

void TSocketBase::ResetError() {
  lastError_ = 0;
  lastErrorDesc_.clear();
}

void TSocketBase::SetLastError(int code) {
  lastError_ = code;
  lastErrorDesc_ = GetErrorDesc(code);
}

int TSocketBase::CheckResult(int result) {
  ResetError();
  if (result == -1) SetLastError(sq::UltimoErro().codigo);
  return lastError_;
}

void TSocketBase::RaiseIfError() {
  lastErrorDesc_ = GetErrorDescEx();
  if (lastError_ == 0 || lastError_ == wsa::WSAEWOULDBLOCK || lastError_ == wsa::WSAEINPROGRESS) {
    return;
  }
  ReportStatus(THookSocketReason::HR_Error, std::to_string(lastError_) + "," + lastErrorDesc_);
  if (raiseExcept_) throw ESocketError(lastError_, lastErrorDesc_);
}

void TSocketBase::ReportStatus(THookSocketReason reason, const std::string& value) {
  if (onStatus_) onStatus_(*this, reason, value);
}

bool TSocketBase::StopRequested() {
  if (onHeartbeat_ && heartbeatRate_ != 0) onHeartbeat_(*this);
  bool expected = true;
  return stopFlag_.compare_exchange_strong(expected, false);
}

// --- options -------------------------------------------------------------------

void TSocketBase::SetSocketOption(int Level, int Name, int Value) {
  if (socket_ == InvalidSocket) {
    pendingOptions_.push_back({Level, Name, Value});
    return;
  }
  CheckResult(sq::OpcaoInteira(socket_, Level, Name, Value));
  RaiseIfError();
}

void TSocketBase::ApplyPendingOptions() {
  for (const auto& o : pendingOptions_) {
    sq::OpcaoInteira(socket_, o.level, o.name, o.value);
  }
  pendingOptions_.clear();
}

void TSocketBase::SetNonBlockMode(bool Value) {
  nonBlockMode_ = Value;
  if (socket_ == InvalidSocket) return;
  sq::DefinirNaoBloqueante(socket_, Value);
}

// --- connection ------------------------------------------------------------------

int TSocketBase::Resolve(const std::string& ip, const std::string& port, sq::Endereco& addr) {
  // Numeric ports must fit in 16 bits; the resolver would silently wrap them.
  if (!port.empty() && OnlyDigits(port) == port && (port.size() > 5 || std::stoi(port) > 65535)) {
    return wsa::WSAEINVAL;
  }
  std::lock_guard<std::mutex> lock(InterfaceMutex());
  switch (family_) {
    case TSocketFamily::SF_IP4: return sq::Resolver(ip, port, sq::Familia::IPv4, addr);
    case TSocketFamily::SF_IP6: return sq::Resolver(ip, port, sq::Familia::IPv6, addr);
    case TSocketFamily::SF_Any:
    default: {
      const auto first = preferIP4_ ? sq::Familia::IPv4 : sq::Familia::IPv6;
      const auto second = preferIP4_ ? sq::Familia::IPv6 : sq::Familia::IPv4;
      const int rc = sq::Resolver(ip, port, first, addr);
      return rc == 0 ? 0 : sq::Resolver(ip, port, second, addr);
    }
  }
}

void TSocketBase::CreateSocket(sq::Familia family) {
  stopFlag_.store(false);
  sentBytes_ = recvBytes_ = 0;
  ResetError();
  buffer_.clear();
  socket_ = sq::Criar(family);
  if (socket_ == InvalidSocket) {
    SetLastError(sq::UltimoErro().codigo);
    RaiseIfError();
    return;
  }
  const bool ipv6 = family == sq::Familia::IPv6;
  family_ = ipv6 ? TSocketFamily::SF_IP6 : TSocketFamily::SF_IP4;
  ReportStatus(THookSocketReason::HR_SocketCreate, ipv6 ? "IPv6" : "IPv4");
  if (nonBlockMode_) SetNonBlockMode(true);
  ApplyPendingOptions();
  if (onCreateSocket_) onCreateSocket_(*this);
}

void TSocketBase::ConnectTo(const sq::Endereco& addr) {
  if (connectionTimeout_ <= 0) {
    CheckResult(sq::Conectar(socket_, addr));
    // A send time-out set on this socket also bounds a blocking connect,
    // which then ends "in progress": that is a time-out, not a success.
    if (lastError_ == wsa::WSAEINPROGRESS || lastError_ == wsa::WSAEWOULDBLOCK) {
      SetLastError(wsa::WSAETIMEDOUT);
    }
    return;
  }
  const bool wasNonBlocking = nonBlockMode_;
  SetNonBlockMode(true);
  CheckResult(sq::Conectar(socket_, addr));
  if (lastError_ == wsa::WSAEWOULDBLOCK || lastError_ == wsa::WSAEINPROGRESS) {
    if (!WaitWritable(connectionTimeout_)) {
      SetLastError(wsa::WSAETIMEDOUT);
    } else {
      // Writable also means "failed": the socket's pending error says which.
      const int err = sq::ErroPendente(socket_).codigo;
      if (err != 0) SetLastError(err);
      else ResetError();
    }
  }
  SetNonBlockMode(wasNonBlocking);
}

void TSocketBase::ReadAddresses() {
  sq::Endereco local;
  if (sq::EnderecoLocal(socket_, local)) {
    localAddress_ = sq::TextoDe(local);
    localPort_ = sq::PortaDe(local);
  }
  sq::Endereco remote;
  if (sq::EnderecoRemoto(socket_, remote)) {
    remoteAddress_ = sq::TextoDe(remote);
    remotePort_ = sq::PortaDe(remote);
  }
}

void TSocketBase::Connect(const std::string& IP, const std::string& Port) {
  ReportStatus(THookSocketReason::HR_ResolvingBegin, IP + ":" + Port);
  ResetError();
  if (socket_ == InvalidSocket && family_ == TSocketFamily::SF_Any) {
    if (sq::EhTextoIP(IP, sq::Familia::IPv4)) family_ = TSocketFamily::SF_IP4;
    else if (sq::EhTextoIP(IP, sq::Familia::IPv6)) family_ = TSocketFamily::SF_IP6;
  }
  sq::Endereco addr;
  SetLastError(Resolve(IP, Port, addr));
  ReportStatus(THookSocketReason::HR_ResolvingEnd, sq::TextoDe(addr) + ":" + std::to_string(sq::PortaDe(addr)));

  if (lastError_ == 0) {
    if (socket_ == InvalidSocket) CreateSocket(sq::EhIPv6(addr) ? sq::Familia::IPv6 : sq::Familia::IPv4);
    if (socket_ != InvalidSocket) {
      ConnectTo(addr);
      if (lastError_ == 0) ReadAddresses();
      buffer_.clear();
      lastCR_ = lastLF_ = false;
    }
  }
  if (socket_ == InvalidSocket && family_ != familySet_) family_ = familySet_;
  RaiseIfError();
  ReportStatus(THookSocketReason::HR_Connect, IP + ":" + Port);
}

void TSocketBase::CloseSystemSocket() {
  sq::Fechar(socket_);
  socket_ = InvalidSocket;
  sendStalled_ = false;
  sendTimeoutApplied_ = 0;
  pendingOptions_.clear();
  family_ = familySet_;
  nonBlockMode_ = false;
  ReportStatus(THookSocketReason::HR_SocketClose, "");
}

void TSocketBase::CloseSocket() {
  if (socket_ == InvalidSocket) return;
  // After an error that broke the connection, or a send the peer did not
  // take, the connection is not worth a graceful end. A read that only timed
  // out (a status reply that came late) leaves the connection as it was, and
  // the reply may still arrive: closing at once would let it reset the
  // connection and cut off what the printer has not taken yet.
  const bool intact = lastError_ == 0 || (lastError_ == wsa::WSAETIMEDOUT && !sendStalled_);
  if (intact && Connected()) {
    sq::EncerrarEnvio(socket_);
    const bool counted = WaitAcknowledged(nonblockSendTimeout_) >= 0;
    ClearInput();
    // Where the system cannot count the unacknowledged bytes, the close
    // itself waits for what is left, within the same time.
    if (!counted && !nonBlockMode_) sq::ProlongarFechamento(socket_, nonblockSendTimeout_);
  }
  CloseSystemSocket();
}

bool TSocketBase::Connected() { return sq::Conectado(socket_); }

int TSocketBase::WaitAcknowledged(int stallMs) {
  // Input that arrives meanwhile is read and dropped: unread input at the
  // close would make the system reset the connection. Once the peer has
  // ended its side or reset the connection, input needs no more reading.
  bool inputOpen = true;
  bool reset = false;
  char scratch[4096];
  auto pause = [&](int ms) {
    if (!inputOpen) {
      std::this_thread::sleep_for(std::chrono::milliseconds(ms));
      return;
    }
    if (sq::Aguardar(socket_, false, ms) <= 0) return;
    const long n = sq::Receber(socket_, scratch, sizeof scratch, true);
    if (n == 0) inputOpen = false;
    if (n < 0 && sq::UltimoErro().codigo != wsa::WSAEWOULDBLOCK) reset = true;
  };
  if (sq::NaoConfirmados(socket_, sentBytes_) < 0) {
    // The system cannot count what the peer has not acknowledged. A printer
    // ends its side once it has read the end of data, after everything
    // before it: that, or a reset, ends the wait, which lasts stallMs at
    // most.
    const int64_t end = NowMs() + std::max(stallMs, 0);
    for (int64_t now = NowMs(); inputOpen && !reset && now < end; now = NowMs()) {
      pause(static_cast<int>(std::min<int64_t>(end - now, transport_detail::kDrainMaxPauseMs)));
    }
    return -1;
  }
  auto queued = [&] {
    if (reset || !Connected()) return 0;
    return std::max(sq::NaoConfirmados(socket_, sentBytes_), 0);
  };
  return transport_detail::WaitUntilSent(stallMs, -1, queued, pause, [] { return NowMs(); });
}

// --- waiting ----------------------------------------------------------------------

bool TSocketBase::WaitFor(bool writing, int timeout) {
  if (socket_ == InvalidSocket) {
    SetLastError(wsa::WSAENOTSOCK);
    return false;
  }
  const bool forever = timeout < 0;
  const int64_t deadline = NowMs() + std::max(timeout, 0);
  for (;;) {
    int slice = forever ? -1 : static_cast<int>(std::max<int64_t>(deadline - NowMs(), 0));
    if (heartbeatRate_ > 0 && (slice < 0 || slice > heartbeatRate_)) slice = heartbeatRate_;
    const int rc = sq::Aguardar(socket_, writing, slice);
    if (rc > 0) return true;
    if (rc < 0) {
      SetLastError(sq::UltimoErro().codigo);
      return false;
    }
    if (heartbeatRate_ > 0 && onHeartbeat_) onHeartbeat_(*this);
    bool expected = true;
    if (stopFlag_.compare_exchange_strong(expected, false)) return false;
    if (!forever && NowMs() >= deadline) return false;
  }
}

bool TSocketBase::WaitReadable(int Timeout) {
  const bool ok = WaitFor(false, Timeout);
  RaiseIfError();
  if (ok) ReportStatus(THookSocketReason::HR_CanRead, "");
  return ok;
}

bool TSocketBase::WaitWritable(int Timeout) {
  const bool ok = WaitFor(true, Timeout);
  RaiseIfError();
  if (ok) ReportStatus(THookSocketReason::HR_CanWrite, "");
  return ok;
}

int TSocketBase::BytesWaiting() {
  if (socket_ == InvalidSocket) return 0;
  return std::clamp(sq::BytesRecebidos(socket_), 0, kMaxWaiting);
}

// --- transfers -----------------------------------------------------------------------

void TSocketBase::LimitRate(int length, int max, int64_t& nextMark) {
  if (stopFlag_.load() || max <= 0) return;
  const int64_t now = NowMs();
  if (now < nextMark) {
    const int64_t wait = nextMark - now;
    ReportStatus(THookSocketReason::HR_Wait, std::to_string(wait));
    std::this_thread::sleep_for(std::chrono::milliseconds(wait % 250));
    for (int64_t i = 0; i < wait / 250 && !stopFlag_.load(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
  }
  nextMark = NowMs() + static_cast<int64_t>(length) * 1000 / max;
}

int TSocketBase::WriteBuffer(const void* Data, int Length) {
  if (StopRequested()) {
    SetLastError(wsa::WSAECONNABORTED);
    RaiseIfError();
    return 0;
  }
  ResetError();
  if (Length < 0 || (Length > 0 && Data == nullptr) || sendMaxChunk_ <= 0) {
    SetLastError(wsa::WSAEINVAL);
    RaiseIfError();
    return 0;
  }
  if (onMonitor_) onMonitor_(*this, true, Data, Length);
  if (Length > 0 && socket_ == InvalidSocket) {
    SetLastError(wsa::WSAENOTSOCK);
    RaiseIfError();
    return 0;
  }
  const auto* p = static_cast<const char*>(Data);
  int sent = 0;
  sendStalled_ = false;
  // In blocking mode the system waits for room itself, bounded by
  // NonblockSendTimeout through the socket's send time-out; otherwise (or
  // without a time-out) each send returns at once and the wait is ours.
  const bool systemWaits = !nonBlockMode_ && nonblockSendTimeout_ > 0 && ApplySendTimeout();
  while (sent < Length) {
    const int piece = std::min(sendMaxChunk_, Length - sent);
    LimitRate(piece, maxSendBandwidth_, nextSend_);
    // Pieces before the last are sent saying that more follows, so that the
    // system does not hold back the short tail of each piece waiting for an
    // ACK.
    const bool more = sent + piece < Length;
    const long n = sq::Enviar(socket_, p + sent, static_cast<size_t>(piece), !systemWaits, more);
    if (n < 0) {
      CheckResult(-1);
      if (lastError_ != wsa::WSAEWOULDBLOCK) break;
      // The peer is not taking data: wait a bounded time for room.
      if (systemWaits || !WaitFor(true, std::max(nonblockSendTimeout_, 0))) {
        if (lastError_ == wsa::WSAEWOULDBLOCK) SetLastError(wsa::WSAETIMEDOUT);
        sendStalled_ = lastError_ == wsa::WSAETIMEDOUT;
        break;
      }
      ResetError();
      continue;
    }
    sent += static_cast<int>(n);
    sentBytes_ += n;
    ReportStatus(THookSocketReason::HR_WriteCount, std::to_string(n));
  }
  RaiseIfError();
  return sent;
}

bool TSocketBase::ApplySendTimeout() {
  if (sendTimeoutApplied_ == nonblockSendTimeout_) return true;
  if (!sq::TempoLimiteEnvio(socket_, nonblockSendTimeout_)) return false;
  sendTimeoutApplied_ = nonblockSendTimeout_;
  return true;
}

void TSocketBase::WriteText(const std::string& Data) {
  // Texts longer than one call can take go out in several.
  size_t done = 0;
  do {
    const int part = static_cast<int>(std::min<size_t>(Data.size() - done, 1u << 30));
    const int n = WriteBuffer(Data.data() + done, part);
    done += static_cast<size_t>(n);
    if (n < part || lastError_ != 0) break;
  } while (done < Data.size());
}

int TSocketBase::ReadRaw(std::string& into, int length) {
  if (StopRequested()) {
    SetLastError(wsa::WSAECONNABORTED);
    return 0;
  }
  LimitRate(length, maxRecvBandwidth_, nextRecv_);
  const size_t start = into.size();
  into.resize(start + static_cast<size_t>(length));
  const long n = sq::Receber(socket_, into.data() + start, static_cast<size_t>(length), true);
  if (n == 0) {
    SetLastError(wsa::WSAECONNRESET);  // the peer closed the connection
  } else {
    CheckResult(n < 0 ? -1 : 0);
  }
  const size_t got = n > 0 ? static_cast<size_t>(n) : 0;
  into.resize(start + got);
  if (got > 0) {
    recvBytes_ += static_cast<int64_t>(got);
    ReportStatus(THookSocketReason::HR_ReadCount, std::to_string(got));
    if (onMonitor_) onMonitor_(*this, false, into.data() + start, static_cast<int>(got));
    if (onReadFilter_) {
      std::string piece = into.substr(start);
      onReadFilter_(*this, piece);
      if (piece.size() <= got) into.replace(start, std::string::npos, piece);
    }
  }
  return static_cast<int>(into.size() - start);
}

std::string TSocketBase::ReadAvailableQuiet(int Timeout) {
  ResetError();
  std::string result;
  if (!buffer_.empty()) {
    result.swap(buffer_);
  } else {
    std::this_thread::yield();
    int n = BytesWaiting();
    if (n > 0) {
      ReadRaw(result, n);
    } else if (WaitFor(false, std::max(Timeout, 0))) {
      n = BytesWaiting();
      if (n > 0) {
        ReadRaw(result, n);
      } else {
        // Readable with nothing to read: the peer closed or reset the
        // connection, or the socket is not connected at all.
        char probe = 0;
        const long r = sq::Espiar(socket_, probe);
        const int err = r < 0 ? sq::UltimoErro().codigo : 0;
        if (r == 0) SetLastError(wsa::WSAECONNRESET);
        else if (r > 0) ReadRaw(result, 1);
        else if (err == wsa::WSAEWOULDBLOCK) SetLastError(wsa::WSAETIMEDOUT);
        else SetLastError(err);
      }
    } else if (lastError_ == 0) {
      SetLastError(wsa::WSAETIMEDOUT);
    }
  }
  if (convertLineEnd_ && !result.empty()) {
    if ((lastCR_ && result[0] == '\n') || (lastLF_ && result[0] == '\r')) result.erase(0, 1);
    lastCR_ = lastLF_ = false;
  }
  return result;
}

std::string TSocketBase::ReadAvailable(int Timeout) {
  std::string result = ReadAvailableQuiet(Timeout);
  RaiseIfError();
  return result;
}

std::string TSocketBase::ReadExactly(int Count, int Timeout) {
  ResetError();
  if (Count < 1) return {};
  auto c = transport_detail::CollectExactly(
      static_cast<size_t>(Count), Timeout, interPacketTimeout_, wsa::WSAETIMEDOUT,
      [this](int t) { return ReadAvailableQuiet(t); }, [this] { return lastError_; });
  if (c.error != 0) SetLastError(c.error);
  buffer_ = std::move(c.rest);
  RaiseIfError();
  if (lastError_ != 0) return {};
  return std::move(c.result);
}

std::string TSocketBase::ReadUntil(int Timeout, const std::string& Terminator) {
  ResetError();
  if (Terminator.empty()) return {};
  transport_detail::LineEndState lineEnd {lastCR_, lastLF_};
  auto c = transport_detail::CollectUntil(
      Timeout, Terminator, convertLineEnd_, lineEnd, maxLineLength_, interPacketTimeout_,
      wsa::WSAETIMEDOUT, wsa::WSAENOBUFS, [this](int t) { return ReadAvailableQuiet(t); },
      [this] { return lastError_; });
  lastCR_ = lineEnd.lastCR;
  lastLF_ = lineEnd.lastLF;
  if (c.error != 0) SetLastError(c.error);
  buffer_ = std::move(c.rest);
  RaiseIfError();
  return std::move(c.result);
}

void TSocketBase::ClearInput() {
  std::this_thread::sleep_for(std::chrono::milliseconds(1));
  const int64_t limit = NowMs() + kClearInputLimitMs;
  try {
    while ((!buffer_.empty() || BytesWaiting() > 0) && NowMs() < limit) {
      ReadAvailableQuiet(0);
      if (lastError_ != 0) break;
    }
  } catch (...) {
    // Errors while discarding input are of no interest to the caller.
  }
  buffer_.clear();
  ResetError();
}

// --- TSSLNone ---------------------------------------------------------------------------

bool TSSLNone::Connect() {
  lastError_ = -1;
  lastErrorDesc_ = "SSL/TLS support is not compiled!";
  return false;
}

// --- TTcpSocket -------------------------------------------------------------------------

TTcpSocket::TTcpSocket() : ssl_(std::make_unique<TSSLNone>()) {}

TTcpSocket::~TTcpSocket() {
  try {
    TTcpSocket::CloseSocket();
  } catch (...) {
  }
}

std::string TTcpSocket::GetErrorDescEx() {
  if (lastError_ == wsa::WSASYSNOTREADY && ssl_ && ssl_->LastError() != 0) return ssl_->LastErrorDesc();
  return TSocketBase::GetErrorDescEx();
}

void TTcpSocket::Connect(const std::string& IP, const std::string& Port) {
  // The proxy layers are not part of this system: asking for them fails the
  // way a failed negotiation would.
  if (!socksIP_.empty() || !httpTunnelIP_.empty()) {
    ReportStatus(THookSocketReason::HR_ResolvingBegin, IP + ":" + Port);
    SetLastError(!socksIP_.empty() ? wsa::WSASYSNOTREADY : wsa::WSAECONNREFUSED);
    RaiseIfError();
    return;
  }
  TSocketBase::Connect(IP, Port);
  if (lastError_ == 0 && onAfterConnect_) onAfterConnect_(*this);
}

void TTcpSocket::CloseSocket() {
  if (ssl_ && ssl_->SSLEnabled()) ssl_->Shutdown();
  TSocketBase::CloseSocket();
}

}  // namespace bilhetor
