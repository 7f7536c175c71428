#pragma once
// A printer that takes its bytes slowly, on a descriptor the test already
// has (the peer end of a socat pty pair): a thread of its own reads at most
// `chunk` bytes every `interval`, keeps everything it read, and can answer
// a query when it reaches it, the way a printer answers a status request
// only after working through the ticket in front of it.
//
//   PacedReader printer(pty.PeerFd(), 512, std::chrono::milliseconds(5));
//   printer.AnswerAfter("\x10\x04\x01", "\x12");
//   ... send the ticket ...
//   EXPECT_TRUE(printer.WaitForBytes(ticket.size()));
//
// Linux only (PacedReaderPosix.cpp), as the pty pairs it reads are.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>

namespace bilhetor::testing {

class PacedReader {
 public:
  PacedReader(int fd, std::size_t chunk, std::chrono::milliseconds interval);
  ~PacedReader();  // stops reading; the descriptor stays open
  PacedReader(const PacedReader&) = delete;
  PacedReader& operator=(const PacedReader&) = delete;

  // Once the bytes read so far contain trigger, reply is written back (once).
  void AnswerAfter(const std::string& trigger, const std::string& reply);

  std::string Received() const;
  bool WaitForBytes(std::size_t count, std::chrono::milliseconds timeout = std::chrono::milliseconds(10000)) const;

 private:
  void Loop();

  int fd_;
  std::size_t chunk_;
  std::chrono::milliseconds interval_;
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::string received_;
  std::string trigger_, reply_;
  bool answered_ = false;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace bilhetor::testing
