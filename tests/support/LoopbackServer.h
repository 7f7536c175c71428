#pragma once
// A TCP listener on a loopback address (127.0.0.1 or ::1) standing in for a
// network printer or any other peer. It accepts connections on its own
// thread, records every byte it receives, and can answer, send, stop
// reading, stop accepting, close a connection gracefully or reset it.
//
//   LoopbackServer server;                       // 127.0.0.1, kernel-chosen port
//   server.AddAnswer("\x10\x04\x01", "\x16");    // status query -> reply
//   ... connect to server.Host():server.PortText() ...
//   server.WaitForReceived(12);
//   EXPECT_EQ(server.Received(), "...");
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/Soquetes.h"

namespace bilhetor::testing {

class LoopbackServer {
 public:
  enum class Family { IPv4, IPv6 };
  using Ms = std::chrono::milliseconds;

  // Listens on 127.0.0.1 (or ::1) on a port the kernel picks. backlog is
  // handed to listen(); with accepting false, connections stay in the
  // backlog, which lets a test fill it.
  explicit LoopbackServer(Family family = Family::IPv4, int backlog = 16, bool accepting = true);
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  std::string Host() const { return family_ == Family::IPv4 ? "127.0.0.1" : "::1"; }
  int Port() const { return port_; }
  std::string PortText() const { return std::to_string(port_); }

  // Accept new connections (true) or leave them in the backlog (false).
  void SetAccepting(bool on);
  // Read from connections (true) or leave their data unread, so that the
  // sender's buffers fill up (false).
  void SetReading(bool on);

  // Connections accepted so far, and those the client has closed.
  std::size_t Connections() const;
  std::size_t ClosedByClient() const;
  // Everything received, over all connections in order of arrival, and per
  // connection (index in order of acceptance).
  std::string Received() const;
  std::string ReceivedOn(std::size_t connection) const;
  void ClearReceived();

  bool WaitForConnections(std::size_t count, Ms timeout = Ms(5000)) const;
  bool WaitForReceived(std::size_t bytes, Ms timeout = Ms(5000)) const;
  bool WaitForText(const std::string& text, Ms timeout = Ms(5000)) const;
  bool WaitForClosedByClient(std::size_t count, Ms timeout = Ms(5000)) const;

  // Sends bytes on the newest open connection (blocking until sent).
  void Send(const std::string& bytes);
  // Ends the newest open connection gracefully (FIN) or with a reset (RST).
  void CloseConnection();
  void ResetConnection();

  // Whenever the input of a connection not yet matched contains trigger, the
  // bytes up to and including it are consumed and reply is sent back.
  void AddAnswer(const std::string& trigger, const std::string& reply);
  // Called with every received piece; what it returns is sent back.
  void SetResponder(std::function<std::string(const std::string& piece)> responder);

 private:
  struct Conn {
    SoqueteTeste fd = kSemSoquete;
    std::string received;
    std::string unmatched;
    bool open = true;
  };
  void Loop();
  void RunOnThread(std::function<void()> task);
  void Wake();
  void ReadFrom(Conn& c);
  Conn* Newest();
  bool WaitFor(const std::function<bool()>& cond, Ms timeout) const;

  Family family_;
  SoqueteTeste listenFd_ = kSemSoquete;
  int port_ = 0;
  std::unique_ptr<Despertador> wake_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> accepting_;
  std::atomic<bool> reading_{true};

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<Conn> conns_;  // only the server thread adds or closes
  std::string all_;
  std::size_t closedByClient_ = 0;
  std::vector<std::pair<std::string, std::string>> answers_;
  std::function<std::string(const std::string&)> responder_;
  std::deque<std::function<void()>> tasks_;
  std::thread thread_;
};

}  // namespace bilhetor::testing
