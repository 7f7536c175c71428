#pragma once
// A network printer on 127.0.0.1 that takes its bytes slowly: a small
// receive buffer (as the small TCP windows of receipt printers), at most
// `chunk` bytes read every `interval`, and a printer's habits of talking
// back: a status byte sent on its own once some bytes have come in, or the
// reply to a query sent when the query is reached in the stream. It serves
// one connection at a time, on a thread of its own, and notes whether the
// connection ended with a reset.
//
//   SlowTcpPrinter printer(512, std::chrono::milliseconds(5));
//   printer.SendAfterBytes(1000, "\x14");
//   ... connect to "127.0.0.1:" + printer.PortText(), send, close ...
//   EXPECT_TRUE(printer.WaitForEnd());
//   EXPECT_EQ(printer.Received(), ticket);
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>

#include "support/Soquetes.h"

namespace bilhetor::testing {

class SlowTcpPrinter {
 public:
  SlowTcpPrinter(std::size_t chunk, std::chrono::milliseconds interval, int receiveBuffer = 4096);
  ~SlowTcpPrinter();
  SlowTcpPrinter(const SlowTcpPrinter&) = delete;
  SlowTcpPrinter& operator=(const SlowTcpPrinter&) = delete;

  std::string PortText() const { return std::to_string(port_); }

  // Once `count` bytes have come in, `bytes` are sent back unasked.
  void SendAfterBytes(std::size_t count, const std::string& bytes);
  // Once the bytes read contain trigger, reply is sent back.
  void AnswerAfter(const std::string& trigger, const std::string& reply);

  // What the current (or last) connection brought.
  std::string Received() const;
  // Waits until the connection has ended (the client closed or reset it).
  bool WaitForEnd(std::chrono::milliseconds timeout = std::chrono::milliseconds(20000)) const;
  bool EndedWithReset() const;

 private:
  void Loop();

  SoqueteTeste listenFd_ = kSemSoquete;
  int port_ = 0;
  std::size_t chunk_;
  std::chrono::milliseconds interval_;
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::string received_;
  std::size_t sendAfter_ = 0;
  std::string unasked_;
  std::string trigger_, reply_;
  bool ended_ = false;
  bool reset_ = false;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace bilhetor::testing
