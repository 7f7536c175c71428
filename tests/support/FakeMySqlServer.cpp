#include "support/FakeMySqlServer.h"

#include <stdexcept>

namespace bilhetor::testing {

namespace {

std::string LE(uint64_t v, int bytes) {
  std::string s;
  for (int i = 0; i < bytes; ++i) s.push_back(static_cast<char>(v >> (8 * i)));
  return s;
}

}  // namespace

void FakeMySqlConnection::SendRaw(const std::string& bytes) {
  if (!EnviarTudo(fd_, bytes)) throw std::runtime_error("fake server: send failed");
}

void FakeMySqlConnection::SendPacket(uint8_t seq, const std::string& payload) {
  SendRaw(LE(payload.size(), 3) + static_cast<char>(seq) + payload);
}

std::string FakeMySqlConnection::ReadExactly(size_t n) {
  std::string out(n, '\0');
  size_t done = 0;
  while (done < n) {
    if (Aguardar(fd_, false, 10000) <= 0) throw std::runtime_error("fake server: read timed out");
    const long got = Receber(fd_, out.data() + done, n - done);
    if (got <= 0) throw std::runtime_error("fake server: client closed the connection");
    done += static_cast<size_t>(got);
  }
  received_ += out;
  return out;
}

FakeMySqlConnection::Packet FakeMySqlConnection::ReadPacket() {
  const std::string h = ReadExactly(4);
  const size_t len = static_cast<uint8_t>(h[0]) | (static_cast<uint8_t>(h[1]) << 8) |
                     (static_cast<size_t>(static_cast<uint8_t>(h[2])) << 16);
  Packet p;
  p.seq = static_cast<uint8_t>(h[3]);
  p.payload = ReadExactly(len);
  return p;
}

std::string FakeMySqlConnection::ReadUntilClosed(int timeoutMs) {
  std::string out;
  char buf[65536];
  while (true) {
    if (Aguardar(fd_, false, timeoutMs) <= 0) break;
    const long got = Receber(fd_, buf, sizeof buf);
    if (got <= 0) break;
    out.append(buf, static_cast<size_t>(got));
  }
  received_ += out;
  return out;
}

void FakeMySqlConnection::Close() {
  if (fd_ != kSemSoquete) {
    EncerrarTudo(fd_);
    Fechar(fd_);
  }
  fd_ = kSemSoquete;
}

std::string FakeGreeting::Build() const {
  std::string g;
  g.push_back(static_cast<char>(protocol));
  g += version;
  g.push_back('\0');
  g += LE(threadId, 4);
  g += scramble.substr(0, 8);
  g.push_back('\0');
  g += LE(capabilities & 0xFFFF, 2);
  g.push_back(static_cast<char>(charset));
  g += LE(status, 2);
  g += LE(capabilities >> 16, 2);
  g.push_back(static_cast<char>(scramble.size() + 1));
  g += std::string(10, '\0');
  g += scramble.substr(8);
  g.push_back('\0');
  g += plugin;
  g.push_back('\0');
  return g;
}

std::string LenEnc(uint64_t v) {
  if (v < 251) return std::string(1, static_cast<char>(v));
  if (v <= 0xFFFF) return "\xFC" + LE(v, 2);
  if (v <= 0xFFFFFF) return "\xFD" + LE(v, 3);
  return "\xFE" + LE(v, 8);
}

std::string LenEncString(const std::string& s) { return LenEnc(s.size()) + s; }

std::string OkPacket(uint64_t affected, uint64_t insertId, uint16_t status, uint16_t warnings,
                     const std::string& info) {
  return std::string(1, '\0') + LenEnc(affected) + LenEnc(insertId) + LE(status, 2) + LE(warnings, 2) + info;
}

std::string ErrPacket(uint16_t code, const std::string& state, const std::string& message) {
  return "\xFF" + LE(code, 2) + "#" + state + message;
}

std::string EofPacket(uint16_t warnings, uint16_t status) { return "\xFE" + LE(warnings, 2) + LE(status, 2); }

std::string ColumnDef(const std::string& name, uint8_t type, uint32_t length, uint16_t flags, uint8_t decimals) {
  std::string fixed = LE(8, 2) + LE(length, 4) + std::string(1, static_cast<char>(type)) + LE(flags, 2) +
                      std::string(1, static_cast<char>(decimals)) + std::string(2, '\0');
  return LenEncString("def") + LenEncString("db") + LenEncString("t") + LenEncString("t") + LenEncString(name) +
         LenEncString(name) + LenEncString(fixed);
}

FakeMySqlServer::FakeMySqlServer(Script script, int connections) {
  try {
    listenFd_ = Escutar(FamiliaTeste::IPv4, 4, port_);
  } catch (const std::runtime_error& e) {
    throw std::runtime_error(std::string("fake server: ") + e.what());
  }
  thread_ = std::thread([this, connections, script = std::move(script)] {
    for (int index = 0; index < connections; ++index) {
      if (Aguardar(listenFd_, false, 10000) <= 0) {
        failure_ = "fake server: no client connected";
        return;
      }
      const SoqueteTeste fd = Aceitar(listenFd_);
      if (fd == kSemSoquete) {
        failure_ = "fake server: accept failed";
        return;
      }
      FakeMySqlConnection conn(fd, index);
      try {
        script(conn);
      } catch (const std::exception& e) {
        failure_ = e.what();
      }
      conn.Close();
      if (!failure_.empty()) return;
    }
  });
}

std::string FakeMySqlServer::Finish() {
  if (!finished_) {
    if (thread_.joinable()) thread_.join();
    finished_ = true;
  }
  return failure_;
}

FakeMySqlServer::~FakeMySqlServer() {
  Finish();
  Fechar(listenFd_);
}

}  // namespace bilhetor::testing
