#include "support/PacedReader.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace bilhetor::testing {

PacedReader::PacedReader(int fd, std::size_t chunk, std::chrono::milliseconds interval)
    : fd_(fd), chunk_(chunk), interval_(interval) {
  thread_ = std::thread([this] { Loop(); });
}

PacedReader::~PacedReader() {
  stop_ = true;
  thread_.join();
}

void PacedReader::AnswerAfter(const std::string& trigger, const std::string& reply) {
  std::lock_guard<std::mutex> lock(mutex_);
  trigger_ = trigger;
  reply_ = reply;
  answered_ = false;
}

void PacedReader::Loop() {
  std::vector<char> buf(chunk_);
  while (!stop_) {
    pollfd p {fd_, POLLIN, 0};
    if (poll(&p, 1, 20) <= 0) continue;
    const ssize_t n = read(fd_, buf.data(), buf.size());
    if (n <= 0) {
      if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
      std::this_thread::sleep_for(interval_);  // hung up: nothing more to read
      continue;
    }
    std::string reply;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      received_.append(buf.data(), static_cast<std::size_t>(n));
      if (!trigger_.empty() && !answered_ && received_.find(trigger_) != std::string::npos) {
        answered_ = true;
        reply = reply_;
      }
      changed_.notify_all();
    }
    for (std::size_t done = 0; done < reply.size();) {
      const ssize_t w = write(fd_, reply.data() + done, reply.size() - done);
      if (w > 0) done += static_cast<std::size_t>(w);
      else if (w < 0 && errno != EAGAIN && errno != EINTR) break;
    }
    std::this_thread::sleep_for(interval_);
  }
}

std::string PacedReader::Received() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return received_;
}

bool PacedReader::WaitForBytes(std::size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return received_.size() >= count; });
}

}  // namespace bilhetor::testing
