// The Debian package: built from this build tree with CPack, checked with
// lintian and systemd-analyze, installed into and removed from a throwaway
// root with dpkg, and the installed server run as its unit runs it.
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <regex>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/MariaDbServer.h"
#include "support/TestSupport.h"

namespace bilhetor {
namespace {

namespace fs = std::filesystem;
using testing::ChildProcess;
using testing::MariaDbServer;
using testing::ReadFile;
using testing::TempDir;
using testing::WaitUntil;
using testing::WriteFile;

struct Saida {
  int status;
  std::string texto;
};

// Runs a shell command; its standard output and error together.
Saida Rodar(const std::string& comando) {
  std::string texto;
  FILE* p = ::popen((comando + " 2>&1").c_str(), "r");
  if (!p) return {-1, "popen failed"};
  std::array<char, 4096> buf{};
  size_t n;
  while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) texto.append(buf.data(), n);
  const int status = ::pclose(p);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, texto};
}

std::string Binario() {
  const char* b = std::getenv("BILHETOR_BINARY_DIR");
  return b ? b : ".";
}

// The package, built once for all the tests of this file.
class Pacote : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir();
    const Saida s = Rodar("cpack --config '" + Binario() + "/CPackConfig.cmake' -B '" + dir_->Path().string() + "'");
    ASSERT_EQ(s.status, 0) << s.texto;
    for (const auto& e : fs::directory_iterator(dir_->Path()))
      if (e.path().extension() == ".deb") deb_ = e.path().string();
    ASSERT_FALSE(deb_.empty()) << s.texto;
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }

  // A root with the dpkg database and the system's users and groups, where
  // dpkg installs without chroot (the maintainer scripts honour DPKG_ROOT).
  static void PrepararRaiz(const fs::path& raiz) {
    fs::create_directories(raiz / "var/lib/dpkg/info");
    fs::create_directories(raiz / "var/lib/dpkg/updates");
    fs::create_directories(raiz / "etc");
    WriteFile((raiz / "var/lib/dpkg/status").string(), "");
    WriteFile((raiz / "var/lib/dpkg/available").string(), "");
    for (const char* f : {"passwd", "group", "shadow", "gshadow"})
      fs::copy_file(fs::path("/etc") / f, raiz / "etc" / f);
  }
  static Saida Dpkg(const fs::path& raiz, const std::string& acao) {
    return Rodar("dpkg --root='" + raiz.string() + "' --force-script-chrootless --force-depends --log=/dev/null " + acao);
  }

  static TempDir* dir_;
  static std::string deb_;
};
TempDir* Pacote::dir_ = nullptr;
std::string Pacote::deb_;

TEST_F(Pacote, HasTheProgramsUnitManPagesAndPassesLintian) {
  const Saida conteudo = Rodar("dpkg-deb -c '" + deb_ + "'");
  ASSERT_EQ(conteudo.status, 0);
  for (const char* esperado :
       {"-rwxr-xr-x root/root .* ./usr/bin/bilhetor\n", "-rwxr-xr-x root/root .* ./usr/bin/bilhetor-print\n",
        "-rwxr-xr-x root/root .* ./usr/bin/bilhetor-impressora\n", "-rw-r--r-- root/root .* ./lib/systemd/system/bilhetor.service\n",
        "./usr/share/man/man1/bilhetor.1.gz\n", "./usr/share/man/man1/bilhetor-print.1.gz\n",
        "./etc/xdg/autostart/bilhetor.desktop\n", "./usr/share/doc/bilhetor/examples/bilhetor.ini\n",
        "./usr/share/doc/bilhetor/copyright\n", "./usr/share/bilhetor/Som.wav\n",
        "./usr/share/bilhetor/bilhetor.png\n", "-rw-r--r-- root/root .* ./usr/lib/bilhetor/bilhetor-janela.so\n",
        "-rw-r--r-- root/root .* ./usr/lib/bilhetor/bilhetor-preview.so\n"}) {
    EXPECT_TRUE(std::regex_search(conteudo.texto, std::regex(esperado))) << esperado << "\n" << conteudo.texto;
  }
  const Saida controle = Rodar("dpkg-deb -f '" + deb_ + "' Package Version Depends");
  EXPECT_NE(controle.texto.find("Package: bilhetor\n"), std::string::npos);
  // The dependencies come from the binaries.
  EXPECT_NE(controle.texto.find("libcups2"), std::string::npos) << controle.texto;
  EXPECT_NE(controle.texto.find("libsystemd0"), std::string::npos) << controle.texto;
  EXPECT_NE(controle.texto.find("libqt6widgets6"), std::string::npos) << controle.texto;
  EXPECT_EQ(Rodar("dpkg-deb -f '" + deb_ + "' Depends").texto.find("init-system-helpers"), std::string::npos);

  const Saida lintian = Rodar("lintian --fail-on error '" + deb_ + "'");
  EXPECT_EQ(lintian.status, 0) << lintian.texto;
  EXPECT_EQ(lintian.texto.find("E: "), std::string::npos) << lintian.texto;
}

TEST_F(Pacote, TheUnitVerifies) {
  // systemd-analyze checks the program and the man page named by the unit,
  // so it looks at a root holding the package over the system's units.
  TempDir raiz;
  ASSERT_EQ(Rodar("dpkg-deb -x '" + deb_ + "' '" + raiz.Path().string() + "'").status, 0);
  ASSERT_EQ(Rodar("cp -an /lib/systemd/system/. '" + (raiz / "lib/systemd/system") + "/'").status, 0);
  const Saida v = Rodar("MANPATH='" + (raiz / "usr/share/man") + "' systemd-analyze --root='" + raiz.Path().string() +
                        "' verify bilhetor.service");
  EXPECT_EQ(v.status, 0) << v.texto;
  EXPECT_EQ(v.texto, "");
  const std::string unit = ReadFile(raiz / "lib/systemd/system/bilhetor.service");
  for (const char* linha : {"Type=notify\n", "WatchdogSec=", "Restart=on-failure\n", "User=bilhetor\n",
                            "SupplementaryGroups=dialout lp\n", "NoNewPrivileges=yes\n", "PrivateTmp=yes\n",
                            "ProtectSystem=strict\n", "StateDirectory=bilhetor\n",
                            "ExecStart=/usr/bin/bilhetor --headless --pasta /etc/bilhetor\n"})
    EXPECT_NE(unit.find(linha), std::string::npos) << linha;
}

// A datagram socket standing in for systemd's notification socket.
class SocketNotificacao {
 public:
  explicit SocketNotificacao(const std::string& caminho) : caminho_(caminho) {
    fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::snprintf(a.sun_path, sizeof a.sun_path, "%s", caminho.c_str());
    EXPECT_EQ(::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  }
  ~SocketNotificacao() { ::close(fd_); }
  // Every message received so far, one per line.
  std::string Mensagens() {
    char buf[1024];
    ssize_t n;
    while ((n = ::recv(fd_, buf, sizeof buf, 0)) > 0) recebido_ += std::string(buf, static_cast<size_t>(n)) + "\n";
    return recebido_;
  }

 private:
  std::string caminho_;
  std::string recebido_;
  int fd_;
};

TEST_F(Pacote, InstallsRunsAsTheUnitWouldAndRemovesCleanly) {
  TempDir raiz;
  PrepararRaiz(raiz.Path());
  const Saida instalar = Dpkg(raiz.Path(), "-i '" + deb_ + "'");
  ASSERT_EQ(instalar.status, 0) << instalar.texto;

  // The system user, in the groups of serial and parallel ports, owns the
  // configuration folder; the unit is enabled.
  const std::string passwd = ReadFile(raiz / "etc/passwd");
  const auto linha = passwd.find("\nbilhetor:");
  ASSERT_NE(linha, std::string::npos);
  const int uid = std::stoi(passwd.substr(passwd.find(':', passwd.find(':', linha + 1) + 1) + 1));
  const std::string grupos = ReadFile(raiz / "etc/group");
  for (const char* g : {"dialout", "lp"}) {
    const auto p = grupos.find(std::string("\n") + g + ":");
    ASSERT_NE(p, std::string::npos);
    EXPECT_NE(grupos.substr(p, grupos.find('\n', p + 1) - p).find("bilhetor"), std::string::npos) << g;
  }
  struct stat st {};
  ASSERT_EQ(::stat((raiz / "etc/bilhetor").c_str(), &st), 0);
  EXPECT_EQ(static_cast<int>(st.st_uid), uid);
  // (The link points at the unit as the installed system sees it.)
  EXPECT_TRUE(fs::is_symlink(raiz / "etc/systemd/system/multi-user.target.wants/bilhetor.service"));

  // The installed server, started as the unit starts it, prints the sample
  // orders on the installed stand-in printer, tells the notification socket
  // it is ready and alive, and ends on SIGTERM.
  MariaDbServer& banco = MariaDbServer::Instance();
  banco.Sql("CREATE USER IF NOT EXISTS 'root'@'127.0.0.1';\nALTER USER 'root'@'127.0.0.1' IDENTIFIED BY '5209384kq';\n"
            "GRANT ALL ON *.* TO 'root'@'127.0.0.1';\nDROP DATABASE IF EXISTS beleza_pacote;\n"
            "CREATE DATABASE beleza_pacote;\nUSE beleza_pacote;\n" +
            ReadFile(raiz / "usr/share/doc/bilhetor/examples/schema.sql") +
            ReadFile(raiz / "usr/share/doc/bilhetor/examples/sample-data.sql"));
  const fs::path config = raiz / "etc/bilhetor";
  const int portaImpressora = testing::FreeLoopbackPort();
  WriteFile((config / "sys.txt").string(), banco.Host() + "\n" + std::to_string(banco.Port()) + "\n");
  WriteFile((config / "banco.txt").string(), "beleza_pacote\n");
  WriteFile((config / "bilhetor.ini").string(), "[PosPrinter]\nModelo=1\nPorta=TCP:127.0.0.1:" +
                                                   std::to_string(portaImpressora) + "\nControlePorta=1\n");
  TempDir execucao;
  fs::create_directory(execucao / "tickets");
  ChildProcess impressora({(raiz / "usr/bin/bilhetor-impressora"), "--porta", std::to_string(portaImpressora),
                           "--pasta", execucao / "tickets"},
                          execucao / "impressora.log");
  SocketNotificacao notificacao(execucao / "notify");
  ChildProcess servidor({"env", "XDG_RUNTIME_DIR=" + execucao.Path().string(), "NOTIFY_SOCKET=" + (execucao / "notify"),
                         "STATE_DIRECTORY=" + (execucao / "estado"),
                         raiz / "usr/bin/bilhetor", "--headless", "--pasta", config.string()},
                        execucao / "bilhetor.log");
  const auto esperando = [&] {
    return banco.Sql("SELECT COUNT(*) FROM beleza_pacote.imprimir WHERE impressao = 'N';\n") == "2\n";
  };
  ASSERT_TRUE(WaitUntil(esperando, std::chrono::milliseconds(30000))) << ReadFile(execucao / "bilhetor.log");
  EXPECT_TRUE(WaitUntil([&] { return notificacao.Mensagens().find("WATCHDOG=1") != std::string::npos; }));
  const int status = servidor.Stop();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  const std::string mensagens = notificacao.Mensagens();
  EXPECT_EQ(mensagens.rfind("READY=1", 0), 0u) << mensagens;
  EXPECT_NE(mensagens.find("STOPPING=1"), std::string::npos) << mensagens;
  impressora.Stop();
  int tickets = 0;
  for (const auto& e : fs::directory_iterator(execucao / "tickets"))
    tickets += ReadFile(e.path().string()).find("PEDIDO...: 05") != std::string::npos;
  EXPECT_EQ(tickets, 3);

  // Removal keeps the configuration; purge takes it away.
  const Saida remover = Dpkg(raiz.Path(), "-r bilhetor");
  ASSERT_EQ(remover.status, 0) << remover.texto;
  EXPECT_FALSE(fs::exists(raiz / "usr/bin/bilhetor"));
  EXPECT_FALSE(fs::exists(raiz / "lib/systemd/system/bilhetor.service"));
  EXPECT_TRUE(fs::exists(config / "sys.txt"));
  const Saida purgar = Dpkg(raiz.Path(), "-P bilhetor");
  ASSERT_EQ(purgar.status, 0) << purgar.texto;
  EXPECT_FALSE(fs::exists(config));
  EXPECT_FALSE(fs::exists(raiz / "etc/xdg/autostart/bilhetor.desktop"));
  EXPECT_FALSE(fs::is_symlink(raiz / "etc/systemd/system/multi-user.target.wants/bilhetor.service"));
  EXPECT_EQ(Rodar("dpkg --root='" + raiz.Path().string() + "' -s bilhetor").status, 1);
}

}  // namespace
}  // namespace bilhetor
