#include "support/MariaDbServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <stdexcept>

namespace bilhetor::testing {

namespace {

std::string FindFirst(std::initializer_list<const char*> names) {
  for (const char* name : names) {
    std::string path = FindProgram(name);
    if (!path.empty()) return path;
  }
  return "";
}

std::string RunCommand(const std::string& command, int& status) {
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) throw std::runtime_error("popen failed: " + command);
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  status = pclose(pipe);
  return output;
}

bool PortAccepts(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return false;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  close(fd);
  return ok;
}

}  // namespace

bool MariaDbServer::Available() {
  return !FindFirst({"mariadbd", "mysqld"}).empty() && !FindFirst({"mariadb-install-db", "mysql_install_db"}).empty() &&
         !FindFirst({"mariadb", "mysql"}).empty();
}

MariaDbServer& MariaDbServer::Instance() {
  static MariaDbServer server;
  if (!server.initialised_) server.Start();
  return server;
}

MariaDbServer::MariaDbServer() = default;

MariaDbServer::~MariaDbServer() {
  if (process_) process_->Stop();
}

void MariaDbServer::Initialise() {
  dir_ = std::make_unique<TempDir>();
  dataDir_ = *dir_ / "data";
  socket_ = *dir_ / "mysqld.sock";
  logFile_ = *dir_ / "mariadbd.log";
  port_ = FreeLoopbackPort();
  const std::string install = FindFirst({"mariadb-install-db", "mysql_install_db"});
  int status = 0;
  const std::string out = RunCommand(install + " --no-defaults --datadir=" + dataDir_ +
                                         " --user=root --auth-root-authentication-method=normal --skip-test-db"
                                         " --skip-name-resolve > " +
                                         (*dir_ / "install.log") + " 2>&1",
                                     status);
  if (status != 0) throw std::runtime_error("mariadb-install-db failed:\n" + ReadFile(*dir_ / "install.log"));
}

bool MariaDbServer::Answers() {
  if (!PortAccepts(port_)) return false;
  const std::string client = FindFirst({"mariadb", "mysql"});
  int status = 0;
  RunCommand(client + " --no-defaults -S " + socket_ + " -uroot -N -B -e 'select 1' >/dev/null 2>&1", status);
  return status == 0;
}

void MariaDbServer::Start() {
  if (process_ && process_->Running()) return;
  const bool first = !initialised_;
  if (first) Initialise();
  const std::string server = FindFirst({"mariadbd", "mysqld"});
  std::vector<std::string> argv = {
      server,
      "--no-defaults",
      "--datadir=" + dataDir_,
      "--port=" + std::to_string(port_),
      "--bind-address=127.0.0.1",
      "--skip-networking=0",
      "--socket=" + socket_,
      "--pid-file=" + (*dir_ / "mariadbd.pid"),
      "--user=root",
      "--skip-name-resolve",
      "--secure-auth=0",
      "--max-allowed-packet=" + std::to_string(kMaxAllowedPacket),
      "--plugin-maturity=unknown",
      "--plugin-load-add=dialog_examples.so",
      "--innodb-buffer-pool-size=64M",
      "--innodb-log-file-size=32M",
      "--skip-log-bin",
      "--log-error=" + logFile_,
  };
  if (!tls_.cert.empty()) {
    argv.push_back("--ssl-ca=" + tls_.ca);
    argv.push_back("--ssl-cert=" + tls_.cert);
    argv.push_back("--ssl-key=" + tls_.key);
  }
  process_ = std::make_unique<ChildProcess>(argv, *dir_ / "mariadbd.out");
  const bool up = WaitUntil(
      [&] {
        if (!process_->Running()) return true;
        return Answers();
      },
      std::chrono::milliseconds(60000));
  if (!up || !process_->Running())
    throw std::runtime_error("MariaDB did not start:\n" + ReadFile(logFile_));
  if (first) {
    CreateAccounts();
    initialised_ = true;
  }
}

void MariaDbServer::Stop() {
  if (process_) process_->Stop(std::chrono::milliseconds(30000));
  process_.reset();
}

void MariaDbServer::Kill() {
  if (process_) {
    process_->Signal(SIGKILL);
    process_->Stop();
  }
  process_.reset();
}

bool MariaDbServer::Running() { return process_ && process_->Running(); }

std::string MariaDbServer::Sql(const std::string& statements) {
  const std::string file = *dir_ / "statements.sql";
  WriteFile(file, statements);
  const std::string client = FindFirst({"mariadb", "mysql"});
  int status = 0;
  const std::string errors = *dir_ / "client.err";
  std::string out =
      RunCommand(client + " --no-defaults -S " + socket_ + " -uroot -N -B < " + file + " 2> " + errors, status);
  if (status != 0) throw std::runtime_error("SQL failed: " + ReadFile(errors) + "\n" + statements);
  return out;
}

void MariaDbServer::CreateAccounts() {
  std::string sql;
  for (const char* host : {"127.0.0.1", "localhost"}) {
    const std::string at = std::string("@'") + host + "'";
    sql += std::string("CREATE USER '") + kUser + "'" + at + " IDENTIFIED VIA mysql_native_password USING PASSWORD('" +
           kPassword + "');\n";
    sql += std::string("GRANT ALL ON *.* TO '") + kUser + "'" + at + ";\n";
    sql += std::string("CREATE USER '") + kEmptyUser + "'" + at + ";\n";
    sql += std::string("GRANT ALL ON *.* TO '") + kEmptyUser + "'" + at + ";\n";
    sql += std::string("CREATE USER '") + kOldUser + "'" + at + " IDENTIFIED VIA mysql_old_password USING '" +
           "@@OLD@@" + "';\n";
    sql += std::string("GRANT ALL ON *.* TO '") + kOldUser + "'" + at + ";\n";
    sql += std::string("CREATE USER '") + kDialogUser + "'" + at + " IDENTIFIED VIA two_questions USING '" +
           kDialogPassword + "';\n";
    sql += std::string("GRANT ALL ON *.* TO '") + kDialogUser + "'" + at + ";\n";
    sql += std::string("CREATE USER '") + kDialog3User + "'" + at + " IDENTIFIED VIA three_attempts USING '" +
           kDialog3Password + "';\n";
    sql += std::string("GRANT ALL ON *.* TO '") + kDialog3User + "'" + at + ";\n";
  }
  sql += std::string("CREATE DATABASE ") + kDatabase + ";\n";
  // The old method's stored hash comes from the server's own function.
  std::string oldHash = Sql(std::string("SELECT OLD_PASSWORD('") + kOldPassword + "');\n");
  while (!oldHash.empty() && (oldHash.back() == '\n' || oldHash.back() == '\r')) oldHash.pop_back();
  std::string::size_type at;
  while ((at = sql.find("@@OLD@@")) != std::string::npos) sql.replace(at, 7, oldHash);
  Sql(sql);
}

}  // namespace bilhetor::testing
