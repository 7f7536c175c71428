#pragma once
// The TCP transport of the MySQL client: TVioSocket reads and writes a
// connected stream socket (with a 32 KiB read-ahead for small reads) and
// TVioTcp resolves a host, connects to it and sets the socket options.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "db/MySqlNet.h"
#include "transport/SoqueteSistema.h"

namespace bilhetor {

enum class TIPVersion { ivIPv4, ivIPv6, ivIPBoth };

class TVioSocket : public TVio {
 public:
  static constexpr size_t kReadAheadSize = 0x8000;
  static constexpr size_t kReadAheadThreshold = 2048;
  static constexpr int kDefaultBufferSize = 8192;

  TVioSocket();
  ~TVioSocket() override;

  void Close() override;
  size_t Read(uint8_t* buffer, size_t count) override;
  size_t Write(const uint8_t* buffer, size_t count) override;
  void SetTimeout(int seconds) override;
  void SetReceiveTimeout(int seconds) override;
  void SetSendTimeout(int seconds) override;
  void SetDeadline(Clock::time_point deadline) override { deadline_ = deadline; }
  void SetInterrupt(std::function<bool()> interrupt) override { interrupt_ = std::move(interrupt); }
  std::string LastError() const override { return lastError_; }
  int LastErrorCode() const override { return lastErrorCode_; }
  const uint8_t* Peek(size_t count) override {
    if (raLen_ - raPos_ < count) return nullptr;
    const uint8_t* p = readAhead_.get() + raPos_;
    raPos_ += count;
    return p;
  }

  int ConnectTimeout() const { return connectTimeout_; }
  int ReceiveTimeout() const { return receiveTimeout_; }
  int SendTimeout() const { return sendTimeout_; }
  void SetBufferSizes(int send, int receive) {
    sendBufferSize_ = send;
    receiveBufferSize_ = receive;
  }
  bool Aborted() const { return aborted_; }
  const std::string& RemoteAddress() const { return remoteAddress_; }

 protected:
  void ApplyReceiveTimeout();
  void ApplySendTimeout();
  void SetError(const std::string& text, int code);

  // How a bounded wait for a socket ended.
  enum class TWait { Ready, TimedOut, Interrupted, Failed };
  // Whether waits are bounded by a deadline or a stop request; unbounded
  // waits block in recv, send and connect under the socket's own time-outs.
  bool Bounded() const { return deadline_ != kNoDeadline || static_cast<bool>(interrupt_); }
  // Waits until the socket can be read (or written to, with writing), the
  // deadline passes or the stop request returns true (asked first, then at
  // least every 200 ms). On Failed, err holds the error of the wait.
  TWait WaitReady(soquete::Soquete s, bool writing, Clock::time_point deadline, soquete::Erro& err);
  // The same for Read and Write under the deadline; false with the error set
  // (prefix + the time-out or interrupted text) when the wait must end.
  bool WaitForTransfer(soquete::Soquete s, bool writing, const char* prefix);

  std::mutex lock_;  // guards socket_ while it is created and closed
  std::atomic<soquete::Soquete> socket_{soquete::kInvalido};
  std::atomic<bool> aborted_{false};
  int connectTimeout_ = 0;
  int receiveTimeout_ = 30;
  int sendTimeout_ = 0;
  int sendBufferSize_ = kDefaultBufferSize;
  int receiveBufferSize_ = kDefaultBufferSize;
  std::string lastError_;
  int lastErrorCode_ = 0;
  std::string remoteAddress_;
  Clock::time_point deadline_ = kNoDeadline;
  std::function<bool()> interrupt_;

 protected:
  std::unique_ptr<uint8_t[]> readAhead_;
  size_t raLen_ = 0;
  size_t raPos_ = 0;
};

class TVioTcp : public TVioSocket {
 public:
  TVioTcp(std::string host, int port, TIPVersion ipVersion = TIPVersion::ivIPv4);
  // Connects; raises an Exception with the last error text on failure.
  void Connect() override;

  const std::string& Host() const { return host_; }
  int Port() const { return port_; }

 private:
  bool TryConnect();
  std::string host_;
  int port_;
  TIPVersion ipVersion_;
};

}  // namespace bilhetor
