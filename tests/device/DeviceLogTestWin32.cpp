// The device log on Windows: LockFileEx keeps writers apart, and a log that
// is a pipe or a COM port is left alone.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
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

TEST(EscreverArquivoLog, WaitsForAnotherWriterInsteadOfInterleaving) {
  TempDir dir;
  const std::string log = dir / "x.log";
  const HANDLE h = CreateFileA(log.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  OVERLAPPED regiao{};
  ASSERT_TRUE(LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &regiao));
  std::thread writer([&] { EscreverArquivoLog(log, "depois"); });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(std::filesystem::file_size(log), 0u);  // still waiting for the lock
  UnlockFileEx(h, 0, MAXDWORD, MAXDWORD, &regiao);
  CloseHandle(h);
  writer.join();
  EXPECT_EQ(ReadFile(log), "depois\r\n");
}

// A log named after a pipe nobody reads or a COM port: the device prints as
// if there were no log and writes nothing there.
TEST(DeviceLogNaoArquivo, ALogThatIsAPipeOrAPortIsLeftAlone) {
  TempDir pasta;
  testing::SocatPty pty;
  const std::string cano = "\\\\.\\pipe\\bilhetor-log-" + std::to_string(GetCurrentProcessId());
  const HANDLE servidor = CreateNamedPipeA(cano.c_str(), PIPE_ACCESS_INBOUND, PIPE_TYPE_BYTE | PIPE_NOWAIT, 1, 0,
                                           4096, 0, nullptr);
  ASSERT_NE(servidor, INVALID_HANDLE_VALUE);
  for (const std::string& nome : {cano, pty.PortName()}) {
    SCOPED_TRACE(nome);
    {
      TDevice dev(std::make_shared<testing::ListSpooler>(), std::make_shared<StillClock>());
      dev.SetArqLOG(nome);
      dev.SetPorta(pasta / "cupom.txt");
      dev.Ativar();
      dev.EnviaString("\x1B@cupom");
      dev.Desativar();
    }
    EXPECT_EQ(ReadFile(pasta / "cupom.txt"), "\x1B@cupom");
  }
  // The pipe does not wait (PIPE_NOWAIT): a read gives what is there, if any.
  char lido[256];
  DWORD noCano = 0;
  ::ReadFile(servidor, lido, sizeof lido, &noCano, nullptr);
  EXPECT_EQ(noCano, 0u) << "log lines went into the pipe";
  EXPECT_EQ(pty.PeerDrain(), "") << "log lines went to the port";
  CloseHandle(servidor);
}

}  // namespace
}  // namespace bilhetor
