#pragma once
// A pair of connected pseudo-terminals made by socat, standing in for a
// serial cable: what is written to one end comes out of the other. The test
// opens the port end with the code under test (PortName(), a /dev/pts/N
// system name) and drives the peer end itself through the helpers here.
#include <chrono>
#include <memory>
#include <string>

#include "support/TestSupport.h"

namespace bilhetor::testing {

class SocatPty {
 public:
  // Starts socat and opens the peer end. Throws std::runtime_error with a
  // clear message when socat is not installed or does not come up.
  SocatPty();
  ~SocatPty();
  SocatPty(const SocatPty&) = delete;
  SocatPty& operator=(const SocatPty&) = delete;

  // System names of the two ends (/dev/pts/N) and the links socat made.
  const std::string& PortName() const { return portName_; }
  const std::string& PeerName() const { return peerName_; }
  const std::string& PortLink() const { return portLink_; }

  // The peer end, raw and non-blocking.
  int PeerFd() const { return peerFd_; }
  // Writes all bytes to the peer end (waits while the pty is full).
  void PeerWrite(const std::string& bytes);
  // Reads from the peer end until count bytes arrived or the time is up.
  std::string PeerRead(std::size_t count,
                       std::chrono::milliseconds timeout = std::chrono::milliseconds(3000));
  // Reads whatever arrives until nothing more comes for `quiet`.
  std::string PeerDrain(std::chrono::milliseconds quiet = std::chrono::milliseconds(100));

  // Freezes socat (SIGSTOP) so nothing moves between the ends, and lets it go on.
  void Pause();
  void Resume();
  // Ends socat: both ends hang up, as when a cable is pulled.
  void Stop();
  bool Running();

 private:
  TempDir dir_;
  std::unique_ptr<ChildProcess> socat_;
  std::string portLink_, peerLink_;
  std::string portName_, peerName_;
  int peerFd_ = -1;
  bool paused_ = false;
};

// The path of socat, or an empty string; tests fail with this message when
// it is missing.
std::string SocatPath();
constexpr const char* kSocatMissing = "socat is not installed; the serial port tests need it (apt-get install socat)";

}  // namespace bilhetor::testing
