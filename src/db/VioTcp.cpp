#include "db/VioTcp.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstring>
#include <limits>
#include <thread>

namespace bilhetor {

namespace sq = soquete;

namespace {

// The longest single poll while a stop request is set.
constexpr int kInterruptSliceMs = 200;

const char* const kReadPrefix = "Error on data reading from the connection";
const char* const kWritePrefix = "Error on data writing to the connection";

constexpr int kWouldBlock = 10035;
constexpr int kInProgress = 10036;
constexpr int kTimedOut = 10060;

// The number a message shows: a blocking receive or send that ran into the
// socket's time-out reads as timed out, whatever the system calls it.
int Code(const sq::Erro& e) { return e.codigo == kWouldBlock ? kTimedOut : e.codigo; }

std::string SocketText(const char* prefix, const sq::Erro& e) {
  const int code = Code(e);
  return Format("%s:\r\n%s.\r\nSocket Error Code: %d($%X)", prefix, e.texto.c_str(), code, code);
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
  const sq::Soquete fd = socket_.exchange(sq::kInvalido);
  if (fd != sq::kInvalido) {
    sq::EncerrarTudo(fd);
    sq::Fechar(fd);
  }
}

namespace {

// Seconds as the milliseconds the socket options take; the long time-outs
// (a year stands for "none") are held at the largest the type can carry,
// about 24 days.
int Milissegundos(int segundos) {
  return static_cast<int>(std::min<long long>(segundos * 1000LL, std::numeric_limits<int>::max()));
}

}  // namespace

void TVioSocket::ApplyReceiveTimeout() {
  const sq::Soquete fd = socket_;
  if (fd == sq::kInvalido) return;
  sq::TempoLimiteRecepcao(fd, receiveTimeout_ > 0 ? Milissegundos(receiveTimeout_) : 0);
}

void TVioSocket::ApplySendTimeout() {
  const sq::Soquete fd = socket_;
  if (fd == sq::kInvalido || sendTimeout_ <= 0) return;
  sq::TempoLimiteEnvio(fd, Milissegundos(sendTimeout_));
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
  } else if (socket_ != sq::kInvalido) {
    sq::TempoLimiteEnvio(socket_, 0);
  }
}

TVioSocket::TWait TVioSocket::WaitReady(sq::Soquete fd, bool writing, Clock::time_point deadline, sq::Erro& err) {
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
    const int rc = sq::Aguardar(fd, writing, slice);
    if (rc > 0) return TWait::Ready;
    // A signal ends the wait early: the stop request is asked again at once.
    if (rc < 0) {
      err = sq::UltimoErro();
      return TWait::Failed;
    }
  }
}

bool TVioSocket::WaitForTransfer(sq::Soquete fd, bool writing, const char* prefix) {
  sq::Erro err;
  switch (WaitReady(fd, writing, deadline_, err)) {
    case TWait::Ready: return true;
    case TWait::TimedOut: err = sq::ErroDe(kTimedOut); break;
    case TWait::Interrupted: err = sq::ErroDe(10004); break;
    case TWait::Failed: break;
  }
  SetError(SocketText(prefix, err), Code(err));
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
    const sq::Soquete fd = socket_;
    if (fd == sq::kInvalido) {
      SetError(std::string(kReadPrefix) + ": Invalid socket", 10038);
      return done;
    }
    const bool fill = count - done < kReadAheadThreshold;
    uint8_t* target = fill ? readAhead_.get() : buffer + done;
    const size_t want = fill ? kReadAheadSize : count - done;
    // A bounded read waits in poll and never blocks in recv.
    const bool bounded = Bounded();
    if (bounded && !WaitForTransfer(fd, false, kReadPrefix)) return done;
    const long n = sq::Receber(fd, target, want, bounded);
    if (n < 0) {
      const sq::Erro err = sq::UltimoErro();
      if (bounded && err.codigo == kWouldBlock) continue;
      SetError(SocketText(kReadPrefix, err), Code(err));
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
    const sq::Soquete fd = socket_;
    if (fd == sq::kInvalido) {
      SetError(std::string(kWritePrefix) + ": Invalid socket", 10038);
      return done;
    }
    // A bounded write sends what fits now and waits for room in poll.
    const bool bounded = Bounded();
    if (bounded && !WaitForTransfer(fd, true, kWritePrefix)) return done;
    const long n = sq::Enviar(fd, buffer + done, count - done, bounded);
    if (n < 0) {
      const sq::Erro err = sq::UltimoErro();
      if (bounded && err.codigo == kWouldBlock) continue;
      SetError(SocketText(kWritePrefix, err), Code(err));
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
  sq::Familia family = sq::Familia::Qualquer;
  switch (ipVersion_) {
    case TIPVersion::ivIPv4: family = sq::Familia::IPv4; break;
    case TIPVersion::ivIPv6: family = IsIPv6Literal(host_) ? sq::Familia::IPv6 : sq::Familia::Qualquer; break;
    case TIPVersion::ivIPBoth: family = sq::Familia::Qualquer; break;
  }
  sq::Endereco address;  // the first address found is used
  if (sq::Resolver(host_, std::to_string(port_), family, address) != 0) {
    const int code = 11001;
    SetError(Format("Unknown host '%s'.\r\nSocket Error Code: %d($%X)", host_.c_str(), code, code), code);
    return false;
  }

  {
    std::lock_guard<std::mutex> guard(lock_);
    if (aborted_) {
      SetError("Socket was aborted", 10004);
      return false;
    }
    const sq::Soquete fd = sq::Criar(sq::EhIPv6(address) ? sq::Familia::IPv6 : sq::Familia::IPv4);
    if (fd == sq::kInvalido) {
      const sq::Erro err = sq::UltimoErro();
      const int code = Code(err);
      SetError(Format("Cannot create TCP/IP socket:\r\n%s.\r\nSocket Error Code: %d($%X)", err.texto.c_str(),
                      code, code),
               code);
      return false;
    }
    socket_ = fd;
  }
  const sq::Soquete fd = socket_;
  sq::ManterVivo(fd, 15, 1);

  const auto connectFailure = [&](const sq::Erro& err) {
    const int code = Code(err);
    SetError(Format("Cannot connect to server on host '%s':\r\n%s.\r\nSocket Error Code: %d($%X)", host_.c_str(),
                    err.texto.c_str(), code, code),
             code);
    return false;
  };

  if (connectTimeout_ > 0 || Bounded()) {
    // Non-blocking connect, waited for under the connect time-out and the
    // deadline, whichever ends first.
    Clock::time_point limit = deadline_;
    if (connectTimeout_ > 0) limit = std::min(limit, Clock::now() + std::chrono::seconds(connectTimeout_));
    sq::DefinirNaoBloqueante(fd, true);
    if (sq::Conectar(fd, address) != 0) {
      const sq::Erro started = sq::UltimoErro();
      if (started.codigo != kInProgress && started.codigo != kWouldBlock) return connectFailure(started);
      sq::Erro err;
      switch (WaitReady(fd, true, limit, err)) {
        case TWait::TimedOut:
          SetError(Format("Cannot connect to server on host '%s': Connection timed out", host_.c_str()), kTimedOut);
          return false;
        case TWait::Interrupted: return connectFailure(sq::ErroDe(10004));
        case TWait::Failed: return connectFailure(err);
        case TWait::Ready: break;
      }
      if (const sq::Erro pending = sq::ErroPendente(fd); pending.codigo != 0) return connectFailure(pending);
    }
    sq::DefinirNaoBloqueante(fd, false);
  } else if (sq::Conectar(fd, address) != 0) {
    const sq::Erro err = sq::UltimoErro();
    if (err.codigo != kInProgress) return connectFailure(err);
  }

  sq::SemAtraso(fd);
  if (sendTimeout_ != 0) ApplySendTimeout();
  ApplyReceiveTimeout();
  if (sendBufferSize_ != kDefaultBufferSize) sq::TamanhoBufferEnvio(fd, sendBufferSize_);
  if (receiveBufferSize_ != kDefaultBufferSize) sq::TamanhoBufferRecepcao(fd, receiveBufferSize_);
  remoteAddress_ = sq::TextoDe(address);
  return true;
}

}  // namespace bilhetor
