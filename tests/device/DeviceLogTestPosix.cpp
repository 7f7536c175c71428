// The device log on Linux: flock keeps writers apart, and a log that is a
// FIFO or a terminal is left alone.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <thread>

#include "DeviceTestSupport.h"
#include "device/Device.h"
#include "device/DeviceLog.h"
#include "support/SocatPty.h"

namespace bilhetor {
namespace {

using testing::ReadFile;
using testing::StillClock;
using testing::TempDir;
using testing::WriteFile;

TEST(EscreverArquivoLog, WaitsForAnotherWriterInsteadOfInterleaving) {
  TempDir dir;
  const std::string log = dir / "x.log";
  WriteFile(log, "");
  const int fd = ::open(log.c_str(), O_WRONLY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX), 0);
  std::thread writer([&] { EscreverArquivoLog(log, "depois"); });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(ReadFile(log), "");  // still waiting for the lock
  ::flock(fd, LOCK_UN);
  ::close(fd);
  writer.join();
  EXPECT_EQ(ReadFile(log), "depois\r\n");
}

// A log named after a FIFO (with or without a reader) or a terminal: the
// device prints as if there were no log, at once, and writes nothing there.
// A FIFO nobody reads would block the open for ever; should it, the test
// opens the FIFO itself after two seconds, so that it fails instead of
// hanging.
TEST(DeviceLogNaoArquivo, ALogThatIsAFifoOrATerminalNeverBlocksTheDevice) {
  auto clock = std::make_shared<StillClock>();
  enum class Kind { FifoWithoutReader, FifoWithReader, Terminal };
  for (const Kind kind : {Kind::FifoWithoutReader, Kind::FifoWithReader, Kind::Terminal}) {
    SCOPED_TRACE(static_cast<int>(kind));
    TempDir pasta;
    std::unique_ptr<testing::SocatPty> pty;
    std::string nome = pasta / "log";
    if (kind == Kind::Terminal) {
      pty = std::make_unique<testing::SocatPty>();
      nome = pty->PortName();
    } else {
      ASSERT_EQ(::mkfifo(nome.c_str(), 0600), 0);
    }
    const int leitor = kind == Kind::FifoWithReader ? ::open(nome.c_str(), O_RDONLY | O_NONBLOCK) : -1;
    std::atomic<bool> feito{false};
    std::thread impressao([&] {
      {
        TDevice outro(std::make_shared<testing::ListSpooler>(), clock);
        outro.SetArqLOG(nome);
        outro.SetPorta(pasta / "cupom.txt");
        outro.Ativar();
        outro.EnviaString("\x1B@cupom");
        outro.Desativar();
      }
      feito = true;
    });
    const bool aTempo = testing::WaitUntil([&] { return feito.load(); }, std::chrono::milliseconds(2000));
    if (!aTempo) {
      const int socorro = ::open(nome.c_str(), O_RDONLY | O_NONBLOCK);
      char lixo[4096];
      while (!feito) {
        if (socorro >= 0 && ::read(socorro, lixo, sizeof lixo) <= 0)
          std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
      if (socorro >= 0) ::close(socorro);
    }
    impressao.join();
    EXPECT_TRUE(aTempo);
    EXPECT_EQ(ReadFile(pasta / "cupom.txt"), "\x1B@cupom");
    if (leitor >= 0) {
      char buf[64];
      EXPECT_LE(::read(leitor, buf, sizeof buf), 0) << "log lines went into the FIFO";
      ::close(leitor);
    }
    if (pty) {
      EXPECT_EQ(pty->PeerDrain(), "");
    }
    struct stat st {};
    ASSERT_EQ(::stat(nome.c_str(), &st), 0);
    EXPECT_FALSE(S_ISREG(st.st_mode));
  }
}

}  // namespace
}  // namespace bilhetor
