#include "transport/TcpSocket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/sockios.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
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

namespace {

std::mutex& InterfaceMutex() {
  static std::mutex m;
  return m;
}

// Longest a ClearInput keeps draining a peer that never stops sending.
constexpr int kClearInputLimitMs = 1000;
// Most bytes BytesWaiting reports (and so one raw read takes).
constexpr int kMaxWaiting = 65536;

std::string AddressText(const sockaddr* sa) {
  char text[INET6_ADDRSTRLEN] = {0};
  if (sa->sa_family == AF_INET) {
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(sa)->sin_addr, text, sizeof text);
  } else if (sa->sa_family == AF_INET6) {
    inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(sa)->sin6_addr, text, sizeof text);
  } else {
    return "0.0.0.0";
  }
  return text;
}

int PortOf(const sockaddr* sa) {
  if (sa->sa_family == AF_INET) return ntohs(reinterpret_cast<const sockaddr_in*>(sa)->sin_port);
  if (sa->sa_family == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6*>(sa)->sin6_port);
  return 0;
}

bool IsIP4Text(const std::string& s) {
  in_addr a {};
  return inet_pton(AF_INET, s.c_str(), &a) == 1;
}

bool IsIP6Text(const std::string& s) {
  in6_addr a {};
  return inet_pton(AF_INET6, s.c_str(), &a) == 1;
}

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
  if (result == -1) SetLastError(ErrnoToWinsock(errno));
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
  CheckResult(setsockopt(socket_, Level, Name, &Value, sizeof Value));
  RaiseIfError();
}

void TSocketBase::ApplyPendingOptions() {
  for (const auto& o : pendingOptions_) {
    setsockopt(socket_, o.level, o.name, &o.value, sizeof o.value);
  }
  pendingOptions_.clear();
}

void TSocketBase::SetNonBlockMode(bool Value) {
  nonBlockMode_ = Value;
  if (socket_ == InvalidSocket) return;
  const int flags = fcntl(socket_, F_GETFL);
  if (flags < 0) return;
  fcntl(socket_, F_SETFL, Value ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK));
}

// --- connection ------------------------------------------------------------------

int TSocketBase::Resolve(const std::string& ip, const std::string& port, void* addr, unsigned* addrLen) {
  // Numeric ports must fit in 16 bits; the resolver would silently wrap them.
  if (!port.empty() && OnlyDigits(port) == port && (port.size() > 5 || std::stoi(port) > 65535)) {
    return wsa::WSAEINVAL;
  }
  std::lock_guard<std::mutex> lock(InterfaceMutex());
  auto attempt = [&](int family) {
    addrinfo hints {};
    hints.ai_family = family;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* list = nullptr;
    errno = 0;
    const int rc = getaddrinfo(ip.c_str(), port.empty() ? "0" : port.c_str(), &hints, &list);
    const int err = errno;
    if (rc != 0) return AddrInfoErrorToWinsock(rc, err);
    std::memcpy(addr, list->ai_addr, list->ai_addrlen);
    *addrLen = static_cast<unsigned>(list->ai_addrlen);
    freeaddrinfo(list);
    return 0;
  };
  switch (family_) {
    case TSocketFamily::SF_IP4: return attempt(AF_INET);
    case TSocketFamily::SF_IP6: return attempt(AF_INET6);
    case TSocketFamily::SF_Any:
    default: {
      const int first = preferIP4_ ? AF_INET : AF_INET6;
      const int second = preferIP4_ ? AF_INET6 : AF_INET;
      const int rc = attempt(first);
      return rc == 0 ? 0 : attempt(second);
    }
  }
}

void TSocketBase::CreateSocket(int family) {
  stopFlag_.store(false);
  sentBytes_ = recvBytes_ = 0;
  ResetError();
  buffer_.clear();
  socket_ = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (socket_ < 0) {
    socket_ = InvalidSocket;
    SetLastError(ErrnoToWinsock(errno));
    RaiseIfError();
    return;
  }
  family_ = family == AF_INET6 ? TSocketFamily::SF_IP6 : TSocketFamily::SF_IP4;
  ReportStatus(THookSocketReason::HR_SocketCreate, family == AF_INET6 ? "IPv6" : "IPv4");
  if (nonBlockMode_) SetNonBlockMode(true);
  ApplyPendingOptions();
  if (onCreateSocket_) onCreateSocket_(*this);
}

void TSocketBase::ConnectTo(const void* addr, unsigned addrLen) {
  const auto* sa = static_cast<const sockaddr*>(addr);
  if (connectionTimeout_ <= 0) {
    int rc;
    do {
      rc = ::connect(socket_, sa, addrLen);
    } while (rc != 0 && errno == EINTR);
    CheckResult(rc);
    // A send time-out set on this socket also bounds a blocking connect,
    // which then ends "in progress": that is a time-out, not a success.
    if (lastError_ == wsa::WSAEINPROGRESS || lastError_ == wsa::WSAEWOULDBLOCK) {
      SetLastError(wsa::WSAETIMEDOUT);
    }
    return;
  }
  const bool wasNonBlocking = nonBlockMode_;
  SetNonBlockMode(true);
  CheckResult(::connect(socket_, sa, addrLen));
  if (lastError_ == wsa::WSAEWOULDBLOCK || lastError_ == wsa::WSAEINPROGRESS) {
    if (!WaitWritable(connectionTimeout_)) {
      SetLastError(wsa::WSAETIMEDOUT);
    } else {
      // Writable also means "failed": the socket's pending error says which.
      int err = 0;
      socklen_t len = sizeof err;
      getsockopt(socket_, SOL_SOCKET, SO_ERROR, &err, &len);
      if (err != 0) SetLastError(ErrnoToWinsock(err));
      else ResetError();
    }
  }
  SetNonBlockMode(wasNonBlocking);
}

void TSocketBase::ReadAddresses() {
  sockaddr_storage ss {};
  socklen_t len = sizeof ss;
  if (getsockname(socket_, reinterpret_cast<sockaddr*>(&ss), &len) == 0) {
    localAddress_ = AddressText(reinterpret_cast<sockaddr*>(&ss));
    localPort_ = PortOf(reinterpret_cast<sockaddr*>(&ss));
  }
  len = sizeof ss;
  if (getpeername(socket_, reinterpret_cast<sockaddr*>(&ss), &len) == 0) {
    remoteAddress_ = AddressText(reinterpret_cast<sockaddr*>(&ss));
    remotePort_ = PortOf(reinterpret_cast<sockaddr*>(&ss));
  }
}

void TSocketBase::Connect(const std::string& IP, const std::string& Port) {
  ReportStatus(THookSocketReason::HR_ResolvingBegin, IP + ":" + Port);
  ResetError();
  if (socket_ == InvalidSocket && family_ == TSocketFamily::SF_Any) {
    if (IsIP4Text(IP)) family_ = TSocketFamily::SF_IP4;
    else if (IsIP6Text(IP)) family_ = TSocketFamily::SF_IP6;
  }
  sockaddr_storage addr {};
  unsigned addrLen = 0;
  SetLastError(Resolve(IP, Port, &addr, &addrLen));
  const auto* sa = reinterpret_cast<const sockaddr*>(&addr);
  ReportStatus(THookSocketReason::HR_ResolvingEnd, AddressText(sa) + ":" + std::to_string(PortOf(sa)));

  if (lastError_ == 0) {
    if (socket_ == InvalidSocket) CreateSocket(sa->sa_family);
    if (socket_ != InvalidSocket) {
      ConnectTo(&addr, addrLen);
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
  ::close(socket_);
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
    ::shutdown(socket_, SHUT_WR);
    WaitAcknowledged(nonblockSendTimeout_);
    ClearInput();
  }
  CloseSystemSocket();
}

bool TSocketBase::Connected() {
  tcp_info info {};
  socklen_t len = sizeof info;
  if (getsockopt(socket_, IPPROTO_TCP, TCP_INFO, &info, &len) != 0) return false;
  return info.tcpi_state == TCP_ESTABLISHED || info.tcpi_state == TCP_CLOSE_WAIT ||
         info.tcpi_state == TCP_FIN_WAIT1 || info.tcpi_state == TCP_CLOSING || info.tcpi_state == TCP_LAST_ACK;
}

int TSocketBase::WaitAcknowledged(int stallMs) {
  // The system's output count of a connection is what was sent but not yet
  // acknowledged (and the end-of-data mark). Input that arrives meanwhile is
  // read and dropped: unread input at the close would make the system reset
  // the connection. Once the peer has ended its side or reset the
  // connection, input needs no more reading.
  bool inputOpen = true;
  bool reset = false;
  char scratch[4096];
  auto queued = [&] {
    int n = 0;
    if (reset || !Connected() || ioctl(socket_, SIOCOUTQ, &n) != 0) return 0;
    return n;
  };
  auto pause = [&](int ms) {
    if (!inputOpen) {
      std::this_thread::sleep_for(std::chrono::milliseconds(ms));
      return;
    }
    pollfd p {socket_, POLLIN, 0};
    if (::poll(&p, 1, ms) <= 0) return;
    const ssize_t n = ::recv(socket_, scratch, sizeof scratch, MSG_DONTWAIT);
    if (n == 0) inputOpen = false;
    if (n < 0 && errno != EAGAIN && errno != EINTR) reset = true;
  };
  return transport_detail::WaitUntilSent(stallMs, -1, queued, pause, [] { return NowMs(); });
}

// --- waiting ----------------------------------------------------------------------

bool TSocketBase::WaitFor(short events, int timeout) {
  if (socket_ == InvalidSocket) {
    SetLastError(wsa::WSAENOTSOCK);
    return false;
  }
  const bool forever = timeout < 0;
  const int64_t deadline = NowMs() + std::max(timeout, 0);
  for (;;) {
    int slice = forever ? -1 : static_cast<int>(std::max<int64_t>(deadline - NowMs(), 0));
    if (heartbeatRate_ > 0 && (slice < 0 || slice > heartbeatRate_)) slice = heartbeatRate_;
    pollfd p {socket_, events, 0};
    const int rc = ::poll(&p, 1, slice);
    if (rc > 0) return true;
    if (rc < 0 && errno != EINTR) {
      SetLastError(ErrnoToWinsock(errno));
      return false;
    }
    if (heartbeatRate_ > 0 && onHeartbeat_) onHeartbeat_(*this);
    bool expected = true;
    if (stopFlag_.compare_exchange_strong(expected, false)) return false;
    if (!forever && NowMs() >= deadline) return false;
  }
}

bool TSocketBase::WaitReadable(int Timeout) {
  const bool ok = WaitFor(POLLIN, Timeout);
  RaiseIfError();
  if (ok) ReportStatus(THookSocketReason::HR_CanRead, "");
  return ok;
}

bool TSocketBase::WaitWritable(int Timeout) {
  const bool ok = WaitFor(POLLOUT, Timeout);
  RaiseIfError();
  if (ok) ReportStatus(THookSocketReason::HR_CanWrite, "");
  return ok;
}

int TSocketBase::BytesWaiting() {
  int n = 0;
  if (socket_ == InvalidSocket || ioctl(socket_, FIONREAD, &n) != 0) return 0;
  return std::min(n, kMaxWaiting);
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
    // Pieces before the last are sent with MSG_MORE, so that the system does
    // not hold back the short tail of each piece waiting for an ACK.
    const int more = sent + piece < Length ? MSG_MORE : 0;
    const ssize_t n = ::send(socket_, p + sent, static_cast<size_t>(piece),
                             MSG_NOSIGNAL | more | (systemWaits ? 0 : MSG_DONTWAIT));
    if (n < 0) {
      if (errno == EINTR) continue;
      CheckResult(-1);
      if (lastError_ != wsa::WSAEWOULDBLOCK) break;
      // The peer is not taking data: wait a bounded time for room.
      if (systemWaits || !WaitFor(POLLOUT, std::max(nonblockSendTimeout_, 0))) {
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
  timeval tv {};
  tv.tv_sec = nonblockSendTimeout_ / 1000;
  tv.tv_usec = (nonblockSendTimeout_ % 1000) * 1000;
  if (setsockopt(socket_, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv) != 0) return false;
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
  ssize_t n;
  do {
    n = ::recv(socket_, into.data() + start, static_cast<size_t>(length), MSG_DONTWAIT);
  } while (n < 0 && errno == EINTR);
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
    sched_yield();
    int n = BytesWaiting();
    if (n > 0) {
      ReadRaw(result, n);
    } else if (WaitFor(POLLIN, std::max(Timeout, 0))) {
      n = BytesWaiting();
      if (n > 0) {
        ReadRaw(result, n);
      } else {
        // Readable with nothing to read: the peer closed or reset the
        // connection, or the socket is not connected at all.
        char probe = 0;
        const ssize_t r = ::recv(socket_, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
        if (r == 0) SetLastError(wsa::WSAECONNRESET);
        else if (r > 0) ReadRaw(result, 1);
        else if (errno == EAGAIN) SetLastError(wsa::WSAETIMEDOUT);
        else SetLastError(ErrnoToWinsock(errno));
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
