#include "support/SlowTcpPrinter.h"

#include <stdexcept>
#include <vector>

namespace bilhetor::testing {

SlowTcpPrinter::SlowTcpPrinter(std::size_t chunk, std::chrono::milliseconds interval, int receiveBuffer)
    : chunk_(chunk), interval_(interval) {
  try {
    // The receive buffer is set before listening, so that accepted
    // connections advertise a small window.
    listenFd_ = Escutar(FamiliaTeste::IPv4, 4, port_, receiveBuffer);
  } catch (const std::runtime_error& e) {
    throw std::runtime_error(std::string("SlowTcpPrinter: ") + e.what());
  }
  thread_ = std::thread([this] { Loop(); });
}

SlowTcpPrinter::~SlowTcpPrinter() {
  stop_ = true;
  thread_.join();
  Fechar(listenFd_);
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
    if (Aguardar(listenFd_, false, 50) <= 0) continue;
    const SoqueteTeste fd = Aceitar(listenFd_);
    if (fd == kSemSoquete) continue;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      received_.clear();
      ended_ = reset_ = false;
    }
    bool unaskedSent = false, answered = false;
    while (!stop_) {
      if (Aguardar(fd, false, 50) <= 0) continue;
      const long n = Receber(fd, buf.data(), buf.size(), true);
      if (n == kVazio) continue;
      std::string reply;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (n <= 0) {
          ended_ = true;
          reset_ = n == kReiniciado;
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
      if (!reply.empty()) Enviar(fd, reply.data(), reply.size(), true);
      std::this_thread::sleep_for(interval_);
    }
    Fechar(fd);
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
