#include "support/SlowTcpPrinter.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace bilhetor::testing {

SlowTcpPrinter::SlowTcpPrinter(std::size_t chunk, std::chrono::milliseconds interval, int receiveBuffer)
    : chunk_(chunk), interval_(interval) {
  listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listenFd_ < 0) throw std::runtime_error("SlowTcpPrinter: socket failed");
  // Set before listen, so that accepted connections advertise a small window.
  setsockopt(listenFd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
  sockaddr_in a {};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&a), len) != 0 || ::listen(listenFd_, 4) != 0) {
    ::close(listenFd_);
    throw std::runtime_error(std::string("SlowTcpPrinter: cannot listen: ") + std::strerror(errno));
  }
  getsockname(listenFd_, reinterpret_cast<sockaddr*>(&a), &len);
  port_ = ntohs(a.sin_port);
  thread_ = std::thread([this] { Loop(); });
}

SlowTcpPrinter::~SlowTcpPrinter() {
  stop_ = true;
  thread_.join();
  ::close(listenFd_);
}

void SlowTcpPrinter::SendAfterBytes(std::size_t count, const std::string& bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  sendAfter_ = count;
  unasked_ = bytes;
}

void SlowTcpPrinter::AnswerAfter(const std::string& trigger, const std::string& reply) {
  std::lock_guard<std::mutex> lock(mutex_);
  trigger_ = trigger;
  reply_ = reply;
}

void SlowTcpPrinter::Loop() {
  std::vector<char> buf(chunk_);
  while (!stop_) {
    pollfd l {listenFd_, POLLIN, 0};
    if (::poll(&l, 1, 50) <= 0) continue;
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      received_.clear();
      ended_ = reset_ = false;
    }
    bool unaskedSent = false, answered = false;
    while (!stop_) {
      pollfd p {fd, POLLIN, 0};
      if (::poll(&p, 1, 50) <= 0) continue;
      const ssize_t n = ::recv(fd, buf.data(), buf.size(), MSG_DONTWAIT);
      const int err = n < 0 ? errno : 0;
      if (err == EAGAIN || err == EINTR) continue;
      std::string reply;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (n <= 0) {
          ended_ = true;
          reset_ = err == ECONNRESET;
          changed_.notify_all();
          break;
        }
        received_.append(buf.data(), static_cast<std::size_t>(n));
        if (!unaskedSent && !unasked_.empty() && received_.size() >= sendAfter_) {
          unaskedSent = true;
          reply += unasked_;
        }
        if (!answered && !trigger_.empty() && received_.find(trigger_) != std::string::npos) {
          answered = true;
          reply += reply_;
        }
        changed_.notify_all();
      }
      if (!reply.empty()) ::send(fd, reply.data(), reply.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
      std::this_thread::sleep_for(interval_);
    }
    ::close(fd);
  }
}

std::string SlowTcpPrinter::Received() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return received_;
}

bool SlowTcpPrinter::WaitForEnd(std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return ended_; });
}

bool SlowTcpPrinter::EndedWithReset() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return reset_;
}

}  // namespace bilhetor::testing
