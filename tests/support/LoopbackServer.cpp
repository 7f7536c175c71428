#include "support/LoopbackServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <future>
#include <stdexcept>

namespace bilhetor::testing {

namespace {

void SendAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && errno == EAGAIN) {
      pollfd p {fd, POLLOUT, 0};
      if (poll(&p, 1, 5000) <= 0) return;
    } else {
      return;  // the client went away; nothing to send to
    }
  }
}

}  // namespace

LoopbackServer::LoopbackServer(Family family, int backlog, bool accepting)
    : family_(family), accepting_(accepting) {
  const int af = family == Family::IPv4 ? AF_INET : AF_INET6;
  listenFd_ = ::socket(af, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listenFd_ < 0) throw std::runtime_error("LoopbackServer: socket failed");
  const int one = 1;
  setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_storage ss {};
  socklen_t len;
  if (af == AF_INET) {
    auto* a = reinterpret_cast<sockaddr_in*>(&ss);
    a->sin_family = AF_INET;
    a->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    len = sizeof *a;
  } else {
    auto* a = reinterpret_cast<sockaddr_in6*>(&ss);
    a->sin6_family = AF_INET6;
    a->sin6_addr = in6addr_loopback;
    setsockopt(listenFd_, IPPROTO_IPV6, IPV6_V6ONLY, &one, sizeof one);
    len = sizeof *a;
  }
  if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&ss), len) != 0 || ::listen(listenFd_, backlog) != 0) {
    ::close(listenFd_);
    throw std::runtime_error(std::string("LoopbackServer: cannot listen: ") + std::strerror(errno));
  }
  len = sizeof ss;
  getsockname(listenFd_, reinterpret_cast<sockaddr*>(&ss), &len);
  port_ = af == AF_INET ? ntohs(reinterpret_cast<sockaddr_in*>(&ss)->sin_port)
                        : ntohs(reinterpret_cast<sockaddr_in6*>(&ss)->sin6_port);
  if (pipe2(wakePipe_, O_CLOEXEC | O_NONBLOCK) != 0) throw std::runtime_error("LoopbackServer: pipe failed");
  thread_ = std::thread([this] { Loop(); });
}

LoopbackServer::~LoopbackServer() {
  stop_ = true;
  Wake();
  thread_.join();
  for (auto& c : conns_) {
    if (c.fd >= 0) ::close(c.fd);
  }
  ::close(listenFd_);
  ::close(wakePipe_[0]);
  ::close(wakePipe_[1]);
}

void LoopbackServer::Wake() {
  const char b = 1;
  [[maybe_unused]] ssize_t n = ::write(wakePipe_[1], &b, 1);
}

void LoopbackServer::RunOnThread(std::function<void()> task) {
  auto done = std::make_shared<std::promise<void>>();
  auto future = done->get_future();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    tasks_.push_back([task = std::move(task), done] {
      try {
        task();
        done->set_value();
      } catch (...) {
        done->set_exception(std::current_exception());
      }
    });
  }
  Wake();
  future.get();  // rethrows what the task threw
}

void LoopbackServer::Loop() {
  std::vector<pollfd> fds;
  std::vector<std::size_t> index;  // conns_ index of each pollfd after the first two
  char buf[65536];
  while (!stop_) {
    fds.clear();
    index.clear();
    fds.push_back({wakePipe_[0], POLLIN, 0});
    fds.push_back({listenFd_, static_cast<short>(accepting_ ? POLLIN : 0), 0});
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (reading_) {
        for (std::size_t i = 0; i < conns_.size(); ++i) {
          if (conns_[i].open) {
            fds.push_back({conns_[i].fd, POLLIN, 0});
            index.push_back(i);
          }
        }
      }
    }
    if (::poll(fds.data(), fds.size(), 200) < 0 && errno != EINTR) break;
    if (fds[0].revents & POLLIN) {
      while (::read(wakePipe_[0], buf, sizeof buf) > 0) {
      }
    }
    // Tasks from the test thread run here, so that only this thread
    // touches the connections' descriptors.
    for (;;) {
      std::function<void()> task;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (tasks_.empty()) break;
        task = std::move(tasks_.front());
        tasks_.pop_front();
      }
      task();
    }
    if (accepting_ && (fds[1].revents & POLLIN)) {
      const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd >= 0) {
        std::lock_guard<std::mutex> lock(mutex_);
        conns_.push_back(Conn {fd, {}, {}, true});
        changed_.notify_all();
      }
    }
    for (std::size_t k = 2; k < fds.size(); ++k) {
      if (fds[k].revents == 0) continue;
      Conn* c;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        c = &conns_[index[k - 2]];
      }
      if (c->open) ReadFrom(*c);
    }
  }
}

void LoopbackServer::ReadFrom(Conn& c) {
  char buf[65536];
  const ssize_t n = ::recv(c.fd, buf, sizeof buf, MSG_DONTWAIT);
  if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
  std::string reply;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (n <= 0) {
      c.open = false;
      ::close(c.fd);
      c.fd = -1;
      ++closedByClient_;
      changed_.notify_all();
      return;
    }
    const std::string piece(buf, static_cast<std::size_t>(n));
    c.received += piece;
    all_ += piece;
    c.unmatched += piece;
    for (bool matched = true; matched;) {
      matched = false;
      std::size_t best = std::string::npos, bestLen = 0;
      const std::string* bestReply = nullptr;
      for (const auto& [trigger, answer] : answers_) {
        const std::size_t at = c.unmatched.find(trigger);
        if (at != std::string::npos && (best == std::string::npos || at < best)) {
          best = at;
          bestLen = trigger.size();
          bestReply = &answer;
        }
      }
      if (bestReply) {
        reply += *bestReply;
        c.unmatched.erase(0, best + bestLen);
        matched = true;
      }
    }
    if (responder_) reply += responder_(piece);
    changed_.notify_all();
  }
  if (!reply.empty()) SendAll(c.fd, reply);
}

LoopbackServer::Conn* LoopbackServer::Newest() {
  for (auto it = conns_.rbegin(); it != conns_.rend(); ++it) {
    if (it->open) return &*it;
  }
  return nullptr;
}

void LoopbackServer::SetAccepting(bool on) {
  accepting_ = on;
  Wake();
}

void LoopbackServer::SetReading(bool on) {
  reading_ = on;
  Wake();
}

std::size_t LoopbackServer::Connections() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return conns_.size();
}

std::size_t LoopbackServer::ClosedByClient() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return closedByClient_;
}

std::string LoopbackServer::Received() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return all_;
}

std::string LoopbackServer::ReceivedOn(std::size_t connection) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return connection < conns_.size() ? conns_[connection].received : std::string();
}

void LoopbackServer::ClearReceived() {
  std::lock_guard<std::mutex> lock(mutex_);
  all_.clear();
  for (auto& c : conns_) {
    c.received.clear();
    c.unmatched.clear();
  }
}

bool LoopbackServer::WaitFor(const std::function<bool()>& cond, Ms timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, timeout, cond);
}

bool LoopbackServer::WaitForConnections(std::size_t count, Ms timeout) const {
  return WaitFor([&] { return conns_.size() >= count; }, timeout);
}

bool LoopbackServer::WaitForReceived(std::size_t bytes, Ms timeout) const {
  return WaitFor([&] { return all_.size() >= bytes; }, timeout);
}

bool LoopbackServer::WaitForText(const std::string& text, Ms timeout) const {
  return WaitFor([&] { return all_.find(text) != std::string::npos; }, timeout);
}

bool LoopbackServer::WaitForClosedByClient(std::size_t count, Ms timeout) const {
  return WaitFor([&] { return closedByClient_ >= count; }, timeout);
}

void LoopbackServer::Send(const std::string& bytes) {
  RunOnThread([&] {
    int fd = -1;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (Conn* c = Newest()) fd = c->fd;
    }
    if (fd < 0) throw std::logic_error("LoopbackServer::Send: no open connection");
    SendAll(fd, bytes);
  });
}

void LoopbackServer::CloseConnection() {
  RunOnThread([&] {
    std::lock_guard<std::mutex> lock(mutex_);
    if (Conn* c = Newest()) {
      ::shutdown(c->fd, SHUT_RDWR);
      ::close(c->fd);
      c->fd = -1;
      c->open = false;
    }
  });
}

void LoopbackServer::ResetConnection() {
  RunOnThread([&] {
    std::lock_guard<std::mutex> lock(mutex_);
    if (Conn* c = Newest()) {
      const linger l {1, 0};  // close with a reset instead of a FIN
      setsockopt(c->fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
      ::close(c->fd);
      c->fd = -1;
      c->open = false;
    }
  });
}

void LoopbackServer::AddAnswer(const std::string& trigger, const std::string& reply) {
  std::lock_guard<std::mutex> lock(mutex_);
  answers_.emplace_back(trigger, reply);
}

void LoopbackServer::SetResponder(std::function<std::string(const std::string& piece)> responder) {
  std::lock_guard<std::mutex> lock(mutex_);
  responder_ = std::move(responder);
}

}  // namespace bilhetor::testing
