#pragma once
// A private MariaDB server for the tests: a data folder in a TempDir, a free
// loopback port, started once per test executable (through a gtest
// Environment), with the accounts the tests use. It can be stopped, killed
// and started again on the same port and data folder.
#include <memory>
#include <string>

#include "support/TestSupport.h"

namespace bilhetor::testing {

class MariaDbServer {
 public:
  // Accounts created on first start (host 127.0.0.1 and localhost).
  static constexpr const char* kUser = "bilhetor";  // native method
  static constexpr const char* kPassword = "s3nh@Forte";
  static constexpr const char* kEmptyUser = "vazio";  // empty password
  static constexpr const char* kOldUser = "antigo";   // mysql_old_password
  static constexpr const char* kOldPassword = "velha123";
  static constexpr const char* kDialogUser = "dialogo2";  // two_questions
  static constexpr const char* kDialogPassword = "pergunta";
  static constexpr const char* kDialog3User = "dialogo3";  // three_attempts
  static constexpr const char* kDialog3Password = "tentativa";
  static constexpr const char* kDatabase = "bilhetor_teste";
  static constexpr long kMaxAllowedPacket = 96L * 1024 * 1024;

  // The shared server of this test executable; started on first use.
  static MariaDbServer& Instance();
  // Whether the server programs are installed at all.
  static bool Available();

  MariaDbServer();
  ~MariaDbServer();

  // TLS for a server of the test's own (not the shared one): PEM files of
  // the CA, the server's certificate and its key, given to mariadbd as
  // --ssl-ca, --ssl-cert and --ssl-key from the next Start on. Without them
  // (the default) the server offers no TLS.
  struct TlsFiles {
    std::string ca, cert, key;
  };
  void SetTls(const TlsFiles& files) { tls_ = files; }

  void Start();
  // SIGTERM and wait.
  void Stop();
  // SIGKILL: the server dies at once, connections break.
  void Kill();
  void Restart() {
    Stop();
    Start();
  }
  bool Running();

  int Port() const { return port_; }
  std::string Host() const { return "127.0.0.1"; }
  const std::string& DataDir() const { return dataDir_; }
  const std::string& LogFile() const { return logFile_; }

  // Runs SQL through the mariadb command-line client over the socket as
  // root; returns its output (tab-separated, no headers). Throws on failure.
  std::string Sql(const std::string& statements);

 private:
  void Initialise();
  void CreateAccounts();
  bool Answers();

  std::unique_ptr<TempDir> dir_;
  std::unique_ptr<ChildProcess> process_;
  std::string dataDir_, socket_, logFile_;
  int port_ = 0;
  bool initialised_ = false;
  TlsFiles tls_;
};

}  // namespace bilhetor::testing
