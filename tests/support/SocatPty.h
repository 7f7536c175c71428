#pragma once
// A pair of connected pseudo-terminals made by socat, standing in for a
// serial cable: what is written to one end comes out of the other. The test
// opens the port end with the code under test (PortName()) and drives the
// peer end itself through the helpers here.
//
// On Linux each object starts a socat of its own; the port end is a
// /dev/pts/N system name. Under Wine the Windows tests cannot start socat:
// tests/wine/portas-com starts the pairs beforehand, links their ends into
// the Wine prefix as COM ports and lists them in BILHETOR_WINE_COM
// ("COM11:COM12,COM13:COM14"); each object takes a pair no other object of
// the process holds, its port end named \\.\COMn, and opens the peer end as
// a COM port itself. What is still in transit from an earlier user of the
// pair is drained first.
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "support/TestSupport.h"

namespace bilhetor::testing {

class SocatPty {
 public:
  // Starts socat (takes a free pair, under Wine) and opens the peer end.
  // Throws std::runtime_error with a clear message when socat is not
  // installed, does not come up, or no pair is free.
  SocatPty();
  ~SocatPty();
  SocatPty(const SocatPty&) = delete;
  SocatPty& operator=(const SocatPty&) = delete;

  // System names of the two ends (/dev/pts/N; \\.\COMn under Wine) and
  // the links socat made (the COM names under Wine).
  const std::string& PortName() const { return portName_; }
  const std::string& PeerName() const { return peerName_; }
  const std::string& PortLink() const { return portLink_; }

  // The peer end, raw and non-blocking, on Linux; -1 under Wine, where the
  // peer end is a COM port handle of this object's own.
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

  // Why Pause/Resume, or Stop, cannot be done here (under Wine socat is not
  // this process's child); nullptr where they can. Tests that need them
  // skip with this reason.
  static const char* PauseUnavailable();
  static const char* StopUnavailable();

 private:
  TempDir dir_;
  std::unique_ptr<ChildProcess> socat_;
  std::string portLink_, peerLink_;
  std::string portName_, peerName_;
  int peerFd_ = -1;
  intptr_t peer_ = -1;  // the peer end's handle, under Wine
  int pair_ = -1;       // the pair of BILHETOR_WINE_COM taken, under Wine
  bool paused_ = false;
};

// The path of socat (under Wine: the pairs' list of BILHETOR_WINE_COM), or
// an empty string; tests fail with this message when it is missing.
std::string SocatPath();
constexpr const char* kSocatMissing =
    "socat is not installed; the serial port tests need it (apt-get install socat; "
    "under Wine, run them through tests/wine/portas-com)";

}  // namespace bilhetor::testing
