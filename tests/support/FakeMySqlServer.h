#pragma once
// A scripted MySQL protocol peer for the tests: a loopback listener that
// accepts one connection (or a given number, one after the other) and runs a
// script on each in its own thread. The script sends and reads packets and
// records what it saw; failures inside the script (a thrown exception) are
// kept and reported by Finish().
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "support/Soquetes.h"

namespace bilhetor::testing {

class FakeMySqlConnection {
 public:
  explicit FakeMySqlConnection(SoqueteTeste fd, int index = 0) : fd_(fd), index_(index) {}
  // 0 for the first connection accepted, 1 for the next, ...
  int Index() const { return index_; }
  // The socket, for a script that runs its own protocol on it (TLS).
  SoqueteTeste Fd() const { return fd_; }

  struct Packet {
    uint8_t seq = 0;
    std::string payload;
  };

  void SendRaw(const std::string& bytes);
  // One packet with a 4-byte header.
  void SendPacket(uint8_t seq, const std::string& payload);
  // Reads one packet header and payload; throws at end of stream.
  Packet ReadPacket();
  // Reads exactly n bytes; throws at end of stream.
  std::string ReadExactly(size_t n);
  // Reads until the peer closes (or the time-out passes) and returns it all.
  std::string ReadUntilClosed(int timeoutMs = 2000);
  // Everything received so far.
  const std::string& Received() const { return received_; }
  void Close();

 private:
  SoqueteTeste fd_;
  int index_;
  std::string received_;
};

// Builders of server packets.
struct FakeGreeting {
  uint8_t protocol = 10;
  std::string version = "8.0.30";
  uint32_t threadId = 77;
  std::string scramble = "ABCDEFGHIJKLMNOPQRST";  // 20 bytes
  uint32_t capabilities = 0x000FF7FF;               // with plugin auth and 4.1
  uint8_t charset = 8;
  uint16_t status = 2;
  std::string plugin = "mysql_native_password";
  std::string Build() const;
};
std::string OkPacket(uint64_t affected = 0, uint64_t insertId = 0, uint16_t status = 2, uint16_t warnings = 0,
                     const std::string& info = "");
std::string ErrPacket(uint16_t code, const std::string& state, const std::string& message);
std::string EofPacket(uint16_t warnings = 0, uint16_t status = 2);
std::string LenEnc(uint64_t v);
std::string LenEncString(const std::string& s);
// A 4.1 column definition.
std::string ColumnDef(const std::string& name, uint8_t type, uint32_t length = 11, uint16_t flags = 0,
                      uint8_t decimals = 0);

class FakeMySqlServer {
 public:
  using Script = std::function<void(FakeMySqlConnection&)>;
  explicit FakeMySqlServer(Script script, int connections = 1);
  ~FakeMySqlServer();
  FakeMySqlServer(const FakeMySqlServer&) = delete;
  FakeMySqlServer& operator=(const FakeMySqlServer&) = delete;

  int Port() const { return port_; }
  // Waits for the script to end; returns its failure text (empty when it
  // ran to its end).
  std::string Finish();

 private:
  SoqueteTeste listenFd_ = kSemSoquete;
  int port_ = 0;
  std::thread thread_;
  std::string failure_;
  bool finished_ = false;
};

}  // namespace bilhetor::testing
