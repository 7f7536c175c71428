#include "db/VioTcp.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <thread>

namespace bilhetor {

int SocketErrorCode(int err) {
  switch (err) {
    case EINTR: return 10004;
    case EBADF: return 10009;
    case EACCES: return 10013;
    case EFAULT: return 10014;
    case EINVAL: return 10022;
    case EMFILE: return 10024;
    case EAGAIN: return 10060;  // a receive or send time-out
    case EINPROGRESS: return 10036;
    case EALREADY: return 10037;
    case ENOTSOCK: return 10038;
    case EMSGSIZE: return 10040;
    case EAFNOSUPPORT: return 10047;
    case EADDRINUSE: return 10048;
    case EADDRNOTAVAIL: return 10049;
    case ENETDOWN: return 10050;
    case ENETUNREACH: return 10051;
    case ENETRESET: return 10052;
    case ECONNABORTED: return 10053;
    case ECONNRESET: return 10054;
    case ENOBUFS: return 10055;
    case EISCONN: return 10056;
    case ENOTCONN: return 10057;
    case EPIPE: return 10058;
    case ETIMEDOUT: return 10060;
    case ECONNREFUSED: return 10061;
    case EHOSTDOWN: return 10064;
    case EHOSTUNREACH: return 10065;
    default: return err;
  }
}

namespace {

// The longest single poll while a stop request is set.
constexpr int kInterruptSliceMs = 200;

const char* const kReadPrefix = "Error on data reading from the connection";
const char* const kWritePrefix = "Error on data writing to the connection";

std::string SocketText(const char* prefix, int err) {
  const int code = SocketErrorCode(err);
  return Format("%s:\r\n%s.\r\nSocket Error Code: %d($%X)", prefix, std::strerror(err), code, code);
}

bool IsIPv6Literal(const std::string& host) {
  if (host.find(':') == std::string::npos) return false;
  for (char c : host) {
    const bool ok = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || c == ':' ||
                    c == '%' || c == '/';
    if (!ok) return false;
  }
  return true;
}

}  // namespace

// --- TVioSocket ---

TVioSocket::TVioSocket() : readAhead_(std::make_unique_for_overwrite<uint8_t[]>(kReadAheadSize)) {}

TVioSocket::~TVioSocket() { Close(); }

void TVioSocket::SetError(const std::string& text, int code) {
  lastError_ = text;
  lastErrorCode_ = code;
}

void TVioSocket::Close() {
  std::lock_guard<std::mutex> guard(lock_);
  aborted_ = true;
  const int fd = socket_.exchange(-1);
  if (fd >= 0) {
    ::shutdown(fd, SHUT_RDWR);
    ::close(fd);
  }
}

void TVioSocket::ApplyReceiveTimeout() {
  const int fd = socket_;
  if (fd < 0) return;
  timeval tv{};
  tv.tv_sec = receiveTimeout_ > 0 ? receiveTimeout_ : 0;
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
}

void TVioSocket::ApplySendTimeout() {
  const int fd = socket_;
  if (fd < 0 || sendTimeout_ <= 0) return;
  timeval tv{};
  tv.tv_sec = sendTimeout_;
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}

void TVioSocket::SetTimeout(int seconds) {
  connectTimeout_ = seconds;
  SetReceiveTimeout(seconds);
}

void TVioSocket::SetReceiveTimeout(int seconds) {
  if (seconds == receiveTimeout_) return;
  receiveTimeout_ = seconds;
  ApplyReceiveTimeout();
}

void TVioSocket::SetSendTimeout(int seconds) {
  if (seconds == sendTimeout_) return;
  sendTimeout_ = seconds;
  if (sendTimeout_ > 0) {
    ApplySendTimeout();
  } else if (socket_ >= 0) {
    timeval tv{};
    setsockopt(socket_, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
  }
}

TVioSocket::TWait TVioSocket::WaitReady(int fd, short events, Clock::time_point deadline, int& err) {
  while (true) {
    if (interrupt_ && interrupt_()) return TWait::Interrupted;
    int slice = -1;
    if (deadline != kNoDeadline) {
      const auto now = Clock::now();
      if (now >= deadline) return TWait::TimedOut;
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
      slice = static_cast<int>(std::min<decltype(left)>(left, INT_MAX));
    }
    if (interrupt_ && (slice < 0 || slice > kInterruptSliceMs)) slice = kInterruptSliceMs;
    pollfd pfd{fd, events, 0};
    const int rc = ::poll(&pfd, 1, slice);
    if (rc > 0) return TWait::Ready;
    // A signal ends the poll early: the stop request is asked again at once.
    if (rc < 0 && errno != EINTR) {
      err = errno;
      return TWait::Failed;
    }
  }
}

bool TVioSocket::WaitForTransfer(int fd, short events, const char* prefix) {
  int err = 0;
  switch (WaitReady(fd, events, deadline_, err)) {
    case TWait::Ready: return true;
    case TWait::TimedOut: err = ETIMEDOUT; break;
    case TWait::Interrupted: err = EINTR; break;
    case TWait::Failed: break;
  }
  SetError(SocketText(prefix, err), SocketErrorCode(err));
  return false;
}

size_t TVioSocket::Read(uint8_t* buffer, size_t count) {
  size_t done = 0;
  while (done < count) {
    if (raPos_ < raLen_) {
      const size_t take = std::min(count - done, raLen_ - raPos_);
      std::memcpy(buffer + done, readAhead_.get() + raPos_, take);
      raPos_ += take;
      done += take;
      continue;
    }
    const int fd = socket_;
    if (fd < 0) {
      SetError(std::string(kReadPrefix) + ": Invalid socket", 10038);
      return done;
    }
    const bool fill = count - done < kReadAheadThreshold;
    uint8_t* target = fill ? readAhead_.get() : buffer + done;
    const size_t want = fill ? kReadAheadSize : count - done;
    // A bounded read waits in poll and never blocks in recv.
    const bool bounded = Bounded();
    if (bounded && !WaitForTransfer(fd, POLLIN, kReadPrefix)) return done;
    const ssize_t n = ::recv(fd, target, want, bounded ? MSG_DONTWAIT : 0);
    if (n < 0) {
      if (errno == EINTR || (bounded && (errno == EAGAIN || errno == EWOULDBLOCK))) continue;
      SetError(SocketText(kReadPrefix, errno), SocketErrorCode(errno));
      return done;
    }
    if (n == 0) return done;  // orderly close by the peer
    if (fill) {
      raLen_ = static_cast<size_t>(n);
      raPos_ = 0;
    } else {
      done += static_cast<size_t>(n);
    }
  }
  return done;
}

size_t TVioSocket::Write(const uint8_t* buffer, size_t count) {
  size_t done = 0;
  int idle = 0;
  while (done < count) {
    const int fd = socket_;
    if (fd < 0) {
      SetError(std::string(kWritePrefix) + ": Invalid socket", 10038);
      return done;
    }
    // A bounded write sends what fits now and waits for room in poll.
    const bool bounded = Bounded();
    if (bounded && !WaitForTransfer(fd, POLLOUT, kWritePrefix)) return done;
    const ssize_t n = ::send(fd, buffer + done, count - done, MSG_NOSIGNAL | (bounded ? MSG_DONTWAIT : 0));
    if (n < 0) {
      if (errno == EINTR || (bounded && (errno == EAGAIN || errno == EWOULDBLOCK))) continue;
      SetError(SocketText(kWritePrefix, errno), SocketErrorCode(errno));
      return done;
    }
    if (n == 0) {
      if (++idle > 2) return done;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      continue;
    }
    idle = 0;
    done += static_cast<size_t>(n);
  }
  return done;
}

// --- TVioTcp ---

TVioTcp::TVioTcp(std::string host, int port, TIPVersion ipVersion)
    : host_(std::move(host)), port_(port), ipVersion_(ipVersion) {}

void TVioTcp::Connect() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    aborted_ = false;
  }
  lastError_.clear();
  lastErrorCode_ = 0;
  remoteAddress_.clear();
  raLen_ = raPos_ = 0;
  if (host_.empty()) host_ = "localhost";
  if (!TryConnect()) {
    Close();
    throw Exception(lastError_);
  }
}

bool TVioTcp::TryConnect() {
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  switch (ipVersion_) {
    case TIPVersion::ivIPv4: hints.ai_family = AF_INET; break;
    case TIPVersion::ivIPv6: hints.ai_family = IsIPv6Literal(host_) ? AF_INET6 : AF_UNSPEC; break;
    case TIPVersion::ivIPBoth: hints.ai_family = AF_UNSPEC; break;
  }
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port_);
  const int rc = getaddrinfo(host_.c_str(), service.c_str(), &hints, &found);
  if (rc != 0 || !found) {
    const int code = 11001;
    SetError(Format("Unknown host '%s'.\r\nSocket Error Code: %d($%X)", host_.c_str(), code, code), code);
    return false;
  }
  std::unique_ptr<addrinfo, void (*)(addrinfo*)> list(found, freeaddrinfo);
  const addrinfo* ai = found;  // the first address is used

  {
    std::lock_guard<std::mutex> guard(lock_);
    if (aborted_) {
      SetError("Socket was aborted", 10004);
      return false;
    }
    const int fd = ::socket(ai->ai_family, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0) {
      const int err = errno;
      const int code = SocketErrorCode(err);
      SetError(Format("Cannot create TCP/IP socket:\r\n%s.\r\nSocket Error Code: %d($%X)", std::strerror(err), code,
                      code),
               code);
      return false;
    }
    socket_ = fd;
  }
  const int fd = socket_;
  int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
  int idle = 15, interval = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
  setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);

  const auto connectFailure = [&](int err) {
    const int code = SocketErrorCode(err);
    SetError(Format("Cannot connect to server on host '%s':\r\n%s.\r\nSocket Error Code: %d($%X)", host_.c_str(),
                    std::strerror(err), code, code),
             code);
    return false;
  };

  if (connectTimeout_ > 0 || Bounded()) {
    // Non-blocking connect, waited for with poll under the connect time-out
    // and the deadline, whichever ends first.
    Clock::time_point limit = deadline_;
    if (connectTimeout_ > 0) limit = std::min(limit, Clock::now() + std::chrono::seconds(connectTimeout_));
    const int flags = fcntl(fd, F_GETFL, 0);
    fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    if (::connect(fd, ai->ai_addr, ai->ai_addrlen) != 0) {
      if (errno != EINPROGRESS) return connectFailure(errno);
      int err = 0;
      switch (WaitReady(fd, POLLOUT, limit, err)) {
        case TWait::TimedOut:
          SetError(Format("Cannot connect to server on host '%s': Connection timed out", host_.c_str()), 10060);
          return false;
        case TWait::Interrupted: return connectFailure(EINTR);
        case TWait::Failed: return connectFailure(err);
        case TWait::Ready: break;
      }
      socklen_t len = sizeof err;
      getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len);
      if (err != 0) return connectFailure(err);
    }
    fcntl(fd, F_SETFL, flags);
  } else {
    int crc;
    do {
      crc = ::connect(fd, ai->ai_addr, ai->ai_addrlen);
    } while (crc != 0 && errno == EINTR);
    if (crc != 0 && errno != EINPROGRESS) return connectFailure(errno);
  }

  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  if (sendTimeout_ != 0) ApplySendTimeout();
  ApplyReceiveTimeout();
  if (sendBufferSize_ != kDefaultBufferSize)
    setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &sendBufferSize_, sizeof sendBufferSize_);
  if (receiveBufferSize_ != kDefaultBufferSize)
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBufferSize_, sizeof receiveBufferSize_);

  char text[INET6_ADDRSTRLEN] = {0};
  if (ai->ai_family == AF_INET)
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(ai->ai_addr)->sin_addr, text, sizeof text);
  else
    inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(ai->ai_addr)->sin6_addr, text, sizeof text);
  remoteAddress_ = text;
  return true;
}

}  // namespace bilhetor
