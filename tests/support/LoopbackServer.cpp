#include "support/LoopbackServer.h"

#include <future>
#include <stdexcept>

namespace bilhetor::testing {

LoopbackServer::LoopbackServer(Family family, int backlog, bool accepting)
    : family_(family), accepting_(accepting) {
  try {
    listenFd_ = Escutar(family == Family::IPv4 ? FamiliaTeste::IPv4 : FamiliaTeste::IPv6, backlog, port_);
  } catch (const std::runtime_error& e) {
    throw std::runtime_error(std::string("LoopbackServer: ") + e.what());
  }
  wake_ = std::make_unique<Despertador>();
  thread_ = std::thread([this] { Loop(); });
}

LoopbackServer::~LoopbackServer() {
  stop_ = true;
  Wake();
  thread_.join();
  for (auto& c : conns_) Fechar(c.fd);
  Fechar(listenFd_);
}

void LoopbackServer::Wake() { wake_->Acordar(); }

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
  std::vector<Vigia> fds;
  std::vector<std::size_t> index;  // conns_ index of each entry from `first` on
  while (!stop_) {
    fds.clear();
    index.clear();
    const bool accepting = accepting_;
    fds.push_back({wake_->Leitura()});
    if (accepting) fds.push_back({listenFd_});
    const std::size_t first = fds.size();
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (reading_) {
        for (std::size_t i = 0; i < conns_.size(); ++i) {
          if (conns_[i].open) {
            fds.push_back({conns_[i].fd});
            index.push_back(i);
          }
        }
      }
    }
    if (Vigiar(fds, 200) < 0) break;
    if (fds[0].pronto) wake_->Esvaziar();
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
    if (accepting && fds[1].pronto) {
      const SoqueteTeste fd = Aceitar(listenFd_);
      if (fd != kSemSoquete) {
        std::lock_guard<std::mutex> lock(mutex_);
        conns_.push_back(Conn {fd, {}, {}, true});
        changed_.notify_all();
      }
    }
    for (std::size_t k = first; k < fds.size(); ++k) {
      if (!fds[k].pronto) continue;
      Conn* c;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        c = &conns_[index[k - first]];
      }
      if (c->open) ReadFrom(*c);
    }
  }
}

void LoopbackServer::ReadFrom(Conn& c) {
  char buf[65536];
  const long n = Receber(c.fd, buf, sizeof buf, true);
  if (n == kVazio) return;
  std::string reply;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (n <= 0) {
      c.open = false;
      Fechar(c.fd);
      c.fd = kSemSoquete;
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
  if (!reply.empty()) EnviarTudo(c.fd, reply);  // a client gone needs no reply
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
    SoqueteTeste fd = kSemSoquete;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (Conn* c = Newest()) fd = c->fd;
    }
    if (fd == kSemSoquete) throw std::logic_error("LoopbackServer::Send: no open connection");
    EnviarTudo(fd, bytes);  // a client gone needs nothing sent
  });
}

void LoopbackServer::CloseConnection() {
  RunOnThread([&] {
    std::lock_guard<std::mutex> lock(mutex_);
    if (Conn* c = Newest()) {
      EncerrarTudo(c->fd);
      Fechar(c->fd);
      c->fd = kSemSoquete;
      c->open = false;
    }
  });
}

void LoopbackServer::ResetConnection() {
  RunOnThread([&] {
    std::lock_guard<std::mutex> lock(mutex_);
    if (Conn* c = Newest()) {
      FecharComReset(c->fd);
      c->fd = kSemSoquete;
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
