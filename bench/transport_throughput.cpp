// Throughput of the transports: a socat pseudo-terminal pair set to 115200
// baud, and a loopback TCP connection, where the socket's WriteText is
// compared with a plain send loop on the same connection in the same run.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

#include "support/SocatPty.h"
#include "transport/SerialPort.h"
#include "transport/TcpSocket.h"

namespace {

using namespace bilhetor;
using Clock = std::chrono::steady_clock;

// A loopback listener that accepts one connection and throws away whatever
// it receives, as fast as it can.
class DrainServer {
 public:
  DrainServer() {
    listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(listen_, 4) != 0) {
      throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    socklen_t len = sizeof a;
    getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] {
      const int fd = ::accept(listen_, nullptr, nullptr);
      if (fd < 0) return;
      std::unique_ptr<char[]> buf(new char[1 << 20]);
      while (::recv(fd, buf.get(), 1 << 20, 0) > 0) {
      }
      ::close(fd);
    });
  }
  ~DrainServer() {
    thread_.join();
    ::close(listen_);
  }
  int Port() const { return port_; }

 private:
  int listen_ = -1;
  int port_ = 0;
  std::thread thread_;
};

void PlainSend(int fd, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
    if (n <= 0) throw std::runtime_error("send failed");
    done += static_cast<size_t>(n);
  }
}

// The plain loop cut into pieces of at most chunk bytes, as WriteText cuts.
void PlainSendChunked(int fd, const std::string& data, size_t chunk) {
  for (size_t done = 0; done < data.size();) {
    const size_t piece = std::min(chunk, data.size() - done);
    size_t sent = 0;
    while (sent < piece) {
      const int more = done + piece < data.size() ? MSG_MORE : 0;
      const ssize_t n = ::send(fd, data.data() + done + sent, piece - sent, MSG_NOSIGNAL | more);
      if (n <= 0) throw std::runtime_error("send failed");
      sent += static_cast<size_t>(n);
    }
    done += piece;
  }
}

// One connection for the TCP benchmarks: the drain server and a connected socket.
struct TcpSetup {
  DrainServer server;
  TTcpSocket socket;
  TcpSetup() {
    socket.SetRaiseExcept(true);
    socket.SetConnectionTimeout(2000);
    socket.Connect("127.0.0.1", std::to_string(server.Port()));
  }
  ~TcpSetup() { socket.CloseSocket(); }
};

void BM_TcpWriteText(benchmark::State& state) {
  TcpSetup tcp;
  const std::string data(static_cast<size_t>(state.range(0)), 'T');
  for (auto _ : state) tcp.socket.WriteText(data);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_TcpWriteText)->Arg(4096)->Arg(65536)->Arg(1 << 20)->UseRealTime();

void BM_TcpPlainSend(benchmark::State& state) {
  TcpSetup tcp;
  const std::string data(static_cast<size_t>(state.range(0)), 'T');
  for (auto _ : state) PlainSend(tcp.socket.Socket(), data);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
void BM_TcpPlainSendChunked(benchmark::State& state) {
  TcpSetup tcp;
  const std::string data(static_cast<size_t>(state.range(0)), 'T');
  for (auto _ : state) PlainSendChunked(tcp.socket.Socket(), data, 65536);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_TcpPlainSendChunked)->Arg(1 << 20)->UseRealTime();

BENCHMARK(BM_TcpPlainSend)->Arg(4096)->Arg(65536)->Arg(1 << 20)->UseRealTime();

// WriteText and a plain send loop take turns on the same connection, in
// blocks of 1 MiB each so that the state of the socket buffer evens out; the
// order alternates. The counter "ratio" is WriteText's time over the send
// loop's time (1.0 = as fast; the target is at most 1.10).
void BM_TcpWriteTextOverPlainSend(benchmark::State& state) {
  TcpSetup tcp;
  if (state.range(1) != 0) tcp.socket.SetSendMaxChunk(static_cast<int>(state.range(1)));
  const std::string data(static_cast<size_t>(state.range(0)), 'R');
  const int64_t rounds = std::max<int64_t>(1, (1 << 20) / state.range(0));
  double socketSeconds = 0, plainSeconds = 0;
  bool socketFirst = true;
  for (auto _ : state) {
    for (int turn = 0; turn < 2; ++turn) {
      const bool socketTurn = (turn == 0) == socketFirst;
      const auto t0 = Clock::now();
      for (int64_t r = 0; r < rounds; ++r) {
        if (socketTurn) tcp.socket.WriteText(data);
        else PlainSend(tcp.socket.Socket(), data);
      }
      const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
      (socketTurn ? socketSeconds : plainSeconds) += seconds;
    }
    socketFirst = !socketFirst;
  }
  state.counters["ratio"] = plainSeconds > 0 ? socketSeconds / plainSeconds : 0;
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * rounds * state.range(0) * 2);
}
BENCHMARK(BM_TcpWriteTextOverPlainSend)
    ->Args({4096, 0})
    ->Args({65536, 0})
    ->Args({1 << 20, 0})
    ->Args({1 << 20, 1 << 20})
    ->UseRealTime();

// A socat pty pair for a serial benchmark, or none (the benchmark skipped)
// when socat cannot make one.
std::unique_ptr<testing::SocatPty> AbrirPty(benchmark::State& state) {
  try {
    return std::make_unique<testing::SocatPty>();
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
    return nullptr;
  }
}

// Opens our end of the pair at 115200 8N1, raising on errors.
void AbrirPorta(TSerialPort& port, testing::SocatPty& pty) {
  port.SetRaiseExcept(true);
  port.Connect(pty.PortName());
  port.ApplySettings(115200, 8, 'N', 0, false, false);
}

// Serial: bytes written through TSerialPort into a socat pty pair whose far
// end is drained by a thread. A pseudo-terminal does not pace bytes at the
// line speed, so this measures the port's own cost per byte.
void BM_SerialPtyWrite(benchmark::State& state) {
  std::unique_ptr<testing::SocatPty> pty = AbrirPty(state);
  if (!pty) return;
  TSerialPort port;
  AbrirPorta(port, *pty);
  std::atomic<bool> stop {false};
  std::thread drain([&] {
    char buf[65536];
    while (!stop) {
      pollfd p {pty->PeerFd(), POLLIN, 0};
      if (poll(&p, 1, 50) > 0) {
        [[maybe_unused]] ssize_t n = read(pty->PeerFd(), buf, sizeof buf);
      }
    }
  });
  const std::string data(static_cast<size_t>(state.range(0)), 'S');
  for (auto _ : state) port.WriteBuffer(data.data(), static_cast<int>(data.size()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
  stop = true;
  drain.join();
}
BENCHMARK(BM_SerialPtyWrite)->Arg(4096)->Arg(65536)->UseRealTime();

// Serial round trip: the peer sends a 4 KiB reply that the port collects
// with ReadExactly.
void BM_SerialPtyReadExactly(benchmark::State& state) {
  std::unique_ptr<testing::SocatPty> pty = AbrirPty(state);
  if (!pty) return;
  TSerialPort port;
  AbrirPorta(port, *pty);
  const std::string reply(static_cast<size_t>(state.range(0)), 'r');
  for (auto _ : state) {
    pty->PeerWrite(reply);
    benchmark::DoNotOptimize(port.ReadExactly(static_cast<int>(reply.size()), 2000));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_SerialPtyReadExactly)->Arg(4096)->UseRealTime();

}  // namespace
