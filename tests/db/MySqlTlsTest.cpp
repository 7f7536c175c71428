// TLS to the database: against a MariaDB server of the test's own with
// certificates the test makes, and against scripted peers for what a real
// server does not do (no TLS offered, a caching_sha2 full authentication).
#include <gtest/gtest.h>
#include <openssl/err.h>
#include <openssl/ssl.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "db/DbAccess.h"
#include "support/FakeMySqlServer.h"
#include "support/MariaDbServer.h"
#include "support/TestSupport.h"

namespace bilhetor {
namespace {

using testing::FakeGreeting;
using testing::FakeMySqlConnection;
using testing::FakeMySqlServer;
using testing::MariaDbServer;
using testing::OkPacket;

// A CA, a server certificate it signed for the name bilhetor-db.test and the
// address 127.0.0.1, a client certificate it signed, and a second CA that
// signed nothing here; made with the openssl command line.
class TestCertificates {
 public:
  TestCertificates() {
    Run("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj '/CN=Bilhetor Teste CA' -keyout ca.key -out ca.pem"
        " -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign");
    Run("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj '/CN=Outra CA' -keyout outra.key -out outra.pem"
        " -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign");
    testing::WriteFile(dir / "servidor.ext", "subjectAltName=DNS:bilhetor-db.test,IP:127.0.0.1\n");
    Signed("servidor", "bilhetor-db.test", "servidor.ext");
    testing::WriteFile(dir / "cliente.ext", "extendedKeyUsage=clientAuth\n");
    Signed("cliente", "caixa", "cliente.ext");
  }
  std::string operator/(const std::string& name) const { return dir / name; }

 private:
  void Run(const std::string& command) {
    const std::string full = "cd '" + dir.Path().string() + "' && " + command + " >>openssl.log 2>&1";
    if (std::system(full.c_str()) != 0) throw std::runtime_error("openssl failed: " + testing::ReadFile(dir / "openssl.log"));
  }
  void Signed(const std::string& name, const std::string& commonName, const std::string& extensions) {
    Run("openssl req -newkey rsa:2048 -nodes -subj '/CN=" + commonName + "' -keyout " + name + ".key -out " + name +
        ".csr");
    Run("openssl x509 -req -days 2 -in " + name + ".csr -CA ca.pem -CAkey ca.key -CAcreateserial -out " + name +
        ".pem -extfile " + extensions);
  }
  testing::TempDir dir;
};

const TestCertificates& Certificates() {
  static const TestCertificates certificates;
  return certificates;
}

// The connection component as the application sets it up, with options.
void Prepare(TDbConnection& conn, const std::string& host, int port, const std::string& user,
             const std::string& password, const std::vector<std::pair<std::string, std::string>>& options) {
  conn.LoginPrompt = false;
  conn.SetServer(host);
  conn.SetPort(port);
  conn.SetUsername(user);
  conn.SetPassword(password);
  conn.SpecificOptions.SetValue("ConnectionTimeout", "10");
  for (const auto& [name, value] : options) conn.SpecificOptions.SetValue(name, value);
}

// The code and text of the error a Connect raised (0 and empty when none).
std::pair<int, std::string> TryConnect(TDbConnection& conn) {
  try {
    conn.Connect();
    return {0, ""};
  } catch (const EDbError& e) {
    return {e.ErrorCode(), e.Message()};
  }
}

std::string Scalar(TDbConnection& conn, const std::string& sql) {
  TDbQuery q(&conn);
  q.SQL.Add(sql);
  q.Open();
  return q.Fields(0).AsString();
}

class MariaDbTlsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = new MariaDbServer;
    const TestCertificates& c = Certificates();
    server_->SetTls({c / "ca.pem", c / "servidor.pem", c / "servidor.key"});
    server_->Start();
    // An account that must show a certificate of the CA.
    server_->Sql(std::string("CREATE USER 'caixa'@'127.0.0.1' IDENTIFIED BY 'cert1ficado' REQUIRE X509;\n") +
                 "GRANT ALL ON *.* TO 'caixa'@'127.0.0.1';\n");
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }
  static MariaDbServer* server_;
};
MariaDbServer* MariaDbTlsTest::server_ = nullptr;

TEST_F(MariaDbTlsTest, ModesCertificatesAndNames) {
  const TestCertificates& c = Certificates();
  struct Case {
    const char* what;
    std::string host, user, password;
    std::vector<std::pair<std::string, std::string>> options;
    int code;
    std::string message;  // the start of the error text
    bool encrypted;
  };
  const std::string user = MariaDbServer::kUser, password = MariaDbServer::kPassword;
  const std::vector<Case> cases = {
      {"PREFERRED by default", "127.0.0.1", user, password, {}, 0, "", true},
      {"DISABLED", "127.0.0.1", user, password, {{"SslMode", "DISABLED"}}, 0, "", false},
      {"REQUIRED", "127.0.0.1", user, password, {{"SslMode", "REQUIRED"}}, 0, "", true},
      {"VERIFY_CA", "127.0.0.1", user, password, {{"SslMode", "VERIFY_CA"}, {"SslCa", c / "ca.pem"}}, 0, "", true},
      {"VERIFY_IDENTITY, the address in the certificate", "127.0.0.1", user, password,
       {{"SslMode", "verify_identity"}, {"SslCa", c / "ca.pem"}}, 0, "", true},
      {"VERIFY_IDENTITY, a name not in the certificate", "localhost", user, password,
       {{"SslMode", "VERIFY_IDENTITY"}, {"SslCa", c / "ca.pem"}}, 2026,
       "SSL connection error: the server's certificate was refused: hostname mismatch", false},
      {"VERIFY_CA with another CA", "127.0.0.1", user, password,
       {{"SslMode", "VERIFY_CA"}, {"SslCa", c / "outra.pem"}}, 2026,
       "SSL connection error: the server's certificate was refused: self-signed certificate in certificate chain", false},
      {"VERIFY_CA without a CA file", "127.0.0.1", user, password, {{"SslMode", "VERIFY_CA"}}, 2026,
       "SSL connection error: SslCa (the CA file) is required for SslMode VERIFY_CA and VERIFY_IDENTITY", false},
      {"an unknown mode", "127.0.0.1", user, password, {{"SslMode", "ALWAYS"}}, 2026,
       "SSL connection error: SslMode must be DISABLED, PREFERRED, REQUIRED, VERIFY_CA or VERIFY_IDENTITY, not "
       "'ALWAYS'",
       false},
      {"an account that needs a client certificate, with one", "127.0.0.1", "caixa", "cert1ficado",
       {{"SslMode", "VERIFY_CA"}, {"SslCa", c / "ca.pem"}, {"SslCert", c / "cliente.pem"}, {"SslKey", c / "cliente.key"}},
       0, "", true},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    TDbConnection conn;
    Prepare(conn, k.host, server_->Port(), k.user, k.password, k.options);
    const auto [code, message] = TryConnect(conn);
    EXPECT_EQ(code, k.code) << message;
    EXPECT_EQ(message.substr(0, k.message.size()), k.message);
    if (code != 0) continue;
    // The server's view of the session: the TLS version, empty without TLS.
    const std::string version = Scalar(conn, "SELECT VARIABLE_VALUE FROM information_schema.SESSION_STATUS "
                                             "WHERE VARIABLE_NAME = 'SSL_VERSION'");
    EXPECT_EQ(version.rfind("TLSv1.", 0) == 0, k.encrypted) << version;
    EXPECT_EQ(conn.Internal()->Session()->tlsActive, k.encrypted);
    EXPECT_EQ(Scalar(conn, "SELECT CURRENT_USER()"), k.user + "@127.0.0.1");
    // A value of many TLS records.
    EXPECT_EQ(Scalar(conn, "SELECT REPEAT('x', 300000)"), std::string(300000, 'x'));
    EXPECT_FALSE(conn.SenhaExposta());
  }
}

// Scripted peers: the first part of the handshake response asks for TLS, and
// the TLS handshake runs on the peer's socket.
class TlsPeer {
 public:
  TlsPeer(FakeMySqlConnection& c, const TestCertificates& certs) {
    ctx_.reset(SSL_CTX_new(TLS_server_method()));
    SSL_CTX_use_certificate_chain_file(ctx_.get(), (certs / "servidor.pem").c_str());
    SSL_CTX_use_PrivateKey_file(ctx_.get(), (certs / "servidor.key").c_str(), SSL_FILETYPE_PEM);
    ssl_.reset(SSL_new(ctx_.get()));
    SSL_set_fd(ssl_.get(), c.Fd());
    if (SSL_accept(ssl_.get()) != 1) throw std::runtime_error("fake server: TLS handshake failed");
  }
  void Send(uint8_t seq, const std::string& payload) {
    const std::string packet = std::string{static_cast<char>(payload.size()), static_cast<char>(payload.size() >> 8),
                                           static_cast<char>(payload.size() >> 16), static_cast<char>(seq)} +
                               payload;
    if (SSL_write(ssl_.get(), packet.data(), static_cast<int>(packet.size())) != static_cast<int>(packet.size()))
      throw std::runtime_error("fake server: TLS write failed");
  }
  // The payload of the next packet; throws when the client closed the link.
  std::string Read() {
    const std::string header = Exactly(4);
    const size_t len = static_cast<uint8_t>(header[0]) | (static_cast<uint8_t>(header[1]) << 8) |
                       (static_cast<size_t>(static_cast<uint8_t>(header[2])) << 16);
    return Exactly(len);
  }

 private:
  std::string Exactly(size_t n) {
    std::string out(n, '\0');
    size_t done = 0;
    while (done < n) {
      const int got = SSL_read(ssl_.get(), out.data() + done, static_cast<int>(n - done));
      if (got <= 0) throw std::runtime_error("fake server: the client closed the TLS link");
      done += static_cast<size_t>(got);
    }
    return out;
  }
  std::unique_ptr<SSL_CTX, void (*)(SSL_CTX*)> ctx_{nullptr, SSL_CTX_free};
  std::unique_ptr<SSL, void (*)(SSL*)> ssl_{nullptr, SSL_free};
};

TEST(MySqlTlsPeerTest, WhatTheClientAsksOfAServerAndSendsThroughTheLink) {
  const TestCertificates& c = Certificates();
  const std::string kPassword = "segredo!";
  struct Case {
    const char* what;
    bool offersTls;
    std::vector<std::pair<std::string, std::string>> options;
    int code;
    std::string message;
    bool tls;            // whether the link went encrypted
    bool clearPassword;  // whether the full authentication got the password
    bool exposed;
  };
  const std::vector<Case> cases = {
      {"REQUIRED, no TLS offered", false, {{"SslMode", "REQUIRED"}}, 2026,
       "SSL connection error: SSL is required but the server doesn't support it", false, false, false},
      {"PREFERRED, no TLS offered", false, {}, 0, "", false, false, false},
      // Inside TLS the password goes in clear, as MySQL's client sends it; an
      // unchecked certificate makes it exposed.
      {"full authentication over TLS nobody verified", true, {{"SslMode", "REQUIRED"}}, 0, "", true, true, true},
      {"the same, taking the server's word", true, {{"SslMode", "REQUIRED"}, {"GetServerPublicKey", "True"}}, 0, "",
       true, true, true},
      {"full authentication over a verified link", true, {{"SslMode", "VERIFY_CA"}, {"SslCa", c / "ca.pem"}}, 0, "",
       true, true, false},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    FakeGreeting g;
    g.plugin = k.offersTls ? "caching_sha2_password" : "mysql_native_password";
    if (k.offersTls) g.capabilities |= mysqlflag::CLIENT_SSL;
    bool sawTls = false, sawPassword = false;
    std::string plainAfterGreeting;
    FakeMySqlServer server([&](FakeMySqlConnection& conn) {
      conn.SendPacket(0, g.Build());
      if (!k.offersTls) {
        if (k.code != 0) {
          plainAfterGreeting = conn.ReadUntilClosed(1000);
          return;
        }
        conn.ReadPacket();
        conn.SendPacket(2, OkPacket());
        conn.ReadPacket();  // SET NAMES
        conn.SendPacket(1, OkPacket());
        conn.ReadUntilClosed(1000);
        return;
      }
      const auto request = conn.ReadPacket();
      if (request.seq != 1 || request.payload.size() != 32) throw std::runtime_error("SSL request");
      TlsPeer tls(conn, c);
      sawTls = true;
      tls.Read();  // the handshake response, sequence 2
      tls.Send(3, "\x01\x04");
      try {
        sawPassword = tls.Read() == kPassword + '\0';
        tls.Send(5, OkPacket());
        tls.Read();  // SET NAMES
        tls.Send(1, OkPacket());
        tls.Read();
      } catch (const std::runtime_error&) {
        // The client closed the link.
      }
    });
    TDbConnection conn;
    Prepare(conn, "127.0.0.1", server.Port(), "root", kPassword, k.options);
    const auto [code, message] = TryConnect(conn);
    EXPECT_EQ(code, k.code);
    EXPECT_EQ(message, k.message);
    EXPECT_EQ(conn.SenhaExposta(), k.exposed);
    if (code == 0) {
      EXPECT_EQ(conn.Internal()->Session()->tlsActive, k.tls);
    }
    conn.Disconnect();
    ASSERT_EQ(server.Finish(), "");
    EXPECT_EQ(sawTls, k.tls);
    EXPECT_EQ(sawPassword, k.clearPassword);
    if (!k.offersTls && k.code != 0) {
      EXPECT_EQ(plainAfterGreeting, "");
    }
  }
}

}  // namespace
}  // namespace bilhetor
