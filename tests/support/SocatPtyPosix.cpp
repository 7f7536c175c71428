#include "support/SocatPty.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <stdexcept>

namespace bilhetor::testing {

std::string SocatPath() { return FindProgram("socat"); }

SocatPty::SocatPty() {
  const std::string socat = SocatPath();
  if (socat.empty()) throw std::runtime_error(kSocatMissing);
  portLink_ = dir_ / "port";
  peerLink_ = dir_ / "peer";
  socat_ = std::make_unique<ChildProcess>(
      std::vector<std::string>{socat, "-d", "-d", "pty,raw,echo=0,link=" + portLink_,
                               "pty,raw,echo=0,link=" + peerLink_},
      dir_ / "socat.log");
  namespace fs = std::filesystem;
  const bool up = WaitUntil([&] {
    std::error_code ec;
    return fs::exists(portLink_, ec) && fs::exists(peerLink_, ec) &&
           ReadFile(dir_ / "socat.log").find("starting data transfer loop") != std::string::npos;
  });
  if (!up) {
    throw std::runtime_error("socat did not create the pty pair: " + ReadFile(dir_ / "socat.log"));
  }
  portName_ = fs::canonical(portLink_).string();
  peerName_ = fs::canonical(peerLink_).string();
  peerFd_ = open(peerName_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (peerFd_ < 0) throw std::runtime_error("cannot open the peer end " + peerName_);
  termios t {};
  tcgetattr(peerFd_, &t);
  cfmakeraw(&t);
  tcsetattr(peerFd_, TCSANOW, &t);
}

SocatPty::~SocatPty() {
  if (paused_) Resume();
  if (peerFd_ >= 0) close(peerFd_);
}

void SocatPty::PeerWrite(const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(peerFd_, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
      pollfd p {peerFd_, POLLOUT, 0};
      if (poll(&p, 1, 3000) <= 0) throw std::runtime_error("peer end of the pty does not take data");
    } else {
      throw std::runtime_error("write to the peer end failed");
    }
  }
}

std::string SocatPty::PeerRead(std::size_t count, std::chrono::milliseconds timeout) {
  std::string out;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  char buf[4096];
  while (out.size() < count) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p {peerFd_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
    const ssize_t n = read(peerFd_, buf, std::min(sizeof buf, count - out.size()));
    if (n > 0) out.append(buf, static_cast<std::size_t>(n));
    else if (n == 0 || (errno != EAGAIN && errno != EINTR)) break;
  }
  return out;
}

std::string SocatPty::PeerDrain(std::chrono::milliseconds quiet) {
  std::string out;
  char buf[4096];
  for (;;) {
    pollfd p {peerFd_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(quiet.count())) <= 0) break;
    const ssize_t n = read(peerFd_, buf, sizeof buf);
    if (n > 0) out.append(buf, static_cast<std::size_t>(n));
    else if (n == 0 || (errno != EAGAIN && errno != EINTR)) break;
  }
  return out;
}

void SocatPty::Pause() {
  if (socat_->Signal(SIGSTOP)) paused_ = true;
}

void SocatPty::Resume() {
  socat_->Signal(SIGCONT);
  paused_ = false;
}

void SocatPty::Stop() {
  if (paused_) Resume();
  socat_->Stop();
}

bool SocatPty::Running() { return socat_->Running(); }

const char* SocatPty::PauseUnavailable() { return nullptr; }
const char* SocatPty::StopUnavailable() { return nullptr; }

}  // namespace bilhetor::testing
