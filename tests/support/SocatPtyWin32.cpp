// The socat pairs under Wine: started by tests/wine/portas-com, reached as
// COM ports of the prefix. The peer end is opened here as a raw COM port.
#include <windows.h>

#include <cstdlib>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "support/SocatPty.h"

namespace bilhetor::testing {

namespace {

const char* const kNoChild =
    "socat runs outside this Windows process (tests/wine/portas-com starts it), which cannot stop or "
    "freeze it";

struct Pair {
  std::string port, peer;
};

// The pairs of BILHETOR_WINE_COM ("COM11:COM12,COM13:COM14").
std::vector<Pair> Pairs() {
  std::vector<Pair> pairs;
  const char* list = std::getenv("BILHETOR_WINE_COM");
  std::string rest = list ? list : "";
  while (!rest.empty()) {
    const std::size_t comma = rest.find(',');
    const std::string item = rest.substr(0, comma);
    rest = comma == std::string::npos ? "" : rest.substr(comma + 1);
    const std::size_t colon = item.find(':');
    if (colon != std::string::npos) pairs.push_back({item.substr(0, colon), item.substr(colon + 1)});
  }
  return pairs;
}

std::mutex pairsMutex;
std::vector<bool> pairsInUse;

HANDLE Raw(intptr_t h) { return reinterpret_cast<HANDLE>(h); }

// Opens a COM port raw: 8 data bits, no parity, no flow control.
HANDLE OpenRaw(const std::string& com) {
  HANDLE h = CreateFileA(("\\\\.\\" + com).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    throw std::runtime_error("cannot open " + com + " (error " + std::to_string(GetLastError()) +
                             "); is it a pair of tests/wine/portas-com?");
  }
  DCB d {};
  d.DCBlength = sizeof d;
  GetCommState(h, &d);
  d.fBinary = TRUE;
  d.ByteSize = 8;
  d.Parity = NOPARITY;
  d.fParity = FALSE;
  d.StopBits = ONESTOPBIT;
  d.fOutxCtsFlow = d.fOutxDsrFlow = d.fOutX = d.fInX = FALSE;
  d.fDsrSensitivity = d.fErrorChar = d.fNull = d.fAbortOnError = FALSE;
  d.fRtsControl = RTS_CONTROL_ENABLE;
  d.fDtrControl = DTR_CONTROL_ENABLE;
  SetCommState(h, &d);
  return h;
}

void SetTimeouts(HANDLE h, DWORD readWait, DWORD writeWait) {
  COMMTIMEOUTS t {MAXDWORD, readWait == 0 ? 0 : MAXDWORD, readWait, 0, writeWait};
  SetCommTimeouts(h, &t);
}

// Reads whatever arrives on h until nothing more comes for quiet ms.
std::string Drain(HANDLE h, DWORD quiet) {
  std::string out;
  SetTimeouts(h, quiet, 1000);
  char buf[4096];
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(h, buf, sizeof buf, &got, nullptr) || got == 0) break;
    out.append(buf, got);
  }
  return out;
}

}  // namespace

std::string SocatPath() { return Pairs().empty() ? "" : std::string("tests/wine/portas-com"); }

SocatPty::SocatPty() {
  const std::vector<Pair> pairs = Pairs();
  if (pairs.empty()) throw std::runtime_error(kSocatMissing);
  {
    std::lock_guard<std::mutex> lock(pairsMutex);
    pairsInUse.resize(pairs.size(), false);
    for (std::size_t i = 0; i < pairs.size(); ++i) {
      if (!pairsInUse[i]) {
        pairsInUse[i] = true;
        pair_ = static_cast<int>(i);
        break;
      }
    }
  }
  if (pair_ < 0) {
    throw std::runtime_error("all " + std::to_string(pairs.size()) +
                             " pty pairs of BILHETOR_WINE_COM are in use; ask tests/wine/portas-com for more");
  }
  const Pair& pair = pairs[static_cast<std::size_t>(pair_)];
  portLink_ = pair.port;
  peerLink_ = pair.peer;
  portName_ = "\\\\.\\" + pair.port;
  peerName_ = "\\\\.\\" + pair.peer;
  try {
    // Bytes an earlier user of the pair left in transit, either way, are
    // read away before this test begins.
    HANDLE port = OpenRaw(pair.port);
    PurgeComm(port, PURGE_RXCLEAR | PURGE_TXCLEAR);
    HANDLE peer = OpenRaw(pair.peer);
    PurgeComm(peer, PURGE_RXCLEAR | PURGE_TXCLEAR);
    Drain(port, 30);
    CloseHandle(port);
    Drain(peer, 30);
    peer_ = reinterpret_cast<intptr_t>(peer);
  } catch (...) {
    std::lock_guard<std::mutex> lock(pairsMutex);
    pairsInUse[static_cast<std::size_t>(pair_)] = false;
    throw;
  }
}

SocatPty::~SocatPty() {
  if (peer_ != -1) CloseHandle(Raw(peer_));
  std::lock_guard<std::mutex> lock(pairsMutex);
  if (pair_ >= 0 && static_cast<std::size_t>(pair_) < pairsInUse.size()) pairsInUse[static_cast<std::size_t>(pair_)] = false;
}

void SocatPty::PeerWrite(const std::string& bytes) {
  HANDLE h = Raw(peer_);
  SetTimeouts(h, 0, 3000);
  std::size_t done = 0;
  while (done < bytes.size()) {
    DWORD n = 0;
    if (!::WriteFile(h, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &n, nullptr)) {
      throw std::runtime_error("write to the peer end failed (error " + std::to_string(GetLastError()) + ")");
    }
    if (n == 0) throw std::runtime_error("peer end of the pty does not take data");
    done += n;
  }
}

std::string SocatPty::PeerRead(std::size_t count, std::chrono::milliseconds timeout) {
  HANDLE h = Raw(peer_);
  std::string out;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  char buf[4096];
  while (out.size() < count) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    SetTimeouts(h, static_cast<DWORD>(left.count()), 3000);
    DWORD got = 0;
    if (!::ReadFile(h, buf, static_cast<DWORD>(std::min(sizeof buf, count - out.size())), &got, nullptr)) break;
    out.append(buf, got);
  }
  return out;
}

std::string SocatPty::PeerDrain(std::chrono::milliseconds quiet) {
  return Drain(Raw(peer_), static_cast<DWORD>(quiet.count()));
}

void SocatPty::Pause() { throw std::logic_error(kNoChild); }
void SocatPty::Resume() { throw std::logic_error(kNoChild); }
void SocatPty::Stop() { throw std::logic_error(kNoChild); }
bool SocatPty::Running() { return true; }

const char* SocatPty::PauseUnavailable() { return kNoChild; }
const char* SocatPty::StopUnavailable() { return kNoChild; }

}  // namespace bilhetor::testing
