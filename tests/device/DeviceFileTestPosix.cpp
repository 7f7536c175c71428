// Parallel ports on Linux: a FIFO stands in for /dev/lp0, and the printer
// device names of Linux (/dev/usb/lp*); a file port named by a link (Wine
// makes no symbolic links, so the Windows build cannot try it under Wine).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <mutex>
#include <thread>

#include "DeviceFileTest.h"

namespace bilhetor {
namespace {

// Reads a FIFO until its writers close it, in a thread of its own.
class FifoReader {
 public:
  explicit FifoReader(const std::string& path, size_t stopAfter = SIZE_MAX) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
    thread_ = std::thread([this, stopAfter] {
      char buf[4096];
      bool seenWriter = false;
      while (!stop_) {
        const ssize_t n = ::read(fd_, buf, sizeof buf);
        if (n > 0) {
          seenWriter = true;
          std::lock_guard<std::mutex> lock(mutex_);
          data_.append(buf, static_cast<size_t>(n));
          if (data_.size() >= stopAfter) break;
        } else if (n == 0 && seenWriter) {
          break;
        } else {
          std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
      }
      ::close(fd_);
      fd_ = -1;
    });
  }
  ~FifoReader() {
    stop_ = true;
    thread_.join();
  }
  std::string Wait() {
    thread_.join();
    thread_ = std::thread([] {});
    std::lock_guard<std::mutex> lock(mutex_);
    return data_;
  }

 private:
  int fd_ = -1;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::string data_;
  std::thread thread_;
};

using testing::ReadFile;
using testing::WriteFile;

TEST_F(DeviceFileTest, ALinkToAFileStaysALinkAndItsFileStartsEmpty) {
  const std::string alvo = dir / "alvo.prn";
  WriteFile(alvo, "old ticket");
  std::filesystem::create_symlink(alvo, dir / "link.txt");
  dev.SetPorta(dir / "link.txt");
  dev.Ativar();
  dev.EnviaString("novo");
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.txt"));
  EXPECT_EQ(ReadFile(alvo), "novo");
}

TEST_F(DeviceFileTest, ParallelPortOneIsLp0OfTheDeviceFolder) {
  dev.SetPastaDispositivos(dir.Path().string());
  dev.SetPorta("lpt1");
  EXPECT_EQ(dev.GetPrinterFileName(), dir / "lp0");
}

TEST_F(DeviceFileTest, ParallelPortWithoutAReaderIsNotAccessibleAndDoesNotHang) {
  dev.SetPastaDispositivos(dir.Path().string());
  ASSERT_EQ(::mkfifo((dir / "lp1").c_str(), 0600), 0);
  dev.SetPorta("LPT2");
  EXPECT_EQ(ExpectRaise([&] { dev.Ativar(); }), "Porta LPT2 n\xE3o acess\xEDvel");
}

TEST_F(DeviceFileTest, ParallelPortThroughAFifo) {
  dev.SetPastaDispositivos(dir.Path().string());
  ASSERT_EQ(::mkfifo((dir / "lp0").c_str(), 0600), 0);
  dev.SetPorta("LPT1");
  {
    FifoReader leitor(dir / "lp0");  // activation needs the port to have a reader
    dev.Ativar();
  }
  std::string ticket;
  for (int i = 0; i < 3000; ++i) ticket += "\x1B@linha " + std::to_string(i) + "\n";
  FifoReader leitor(dir / "lp0");
  dev.SetSendBytesCount(1000);
  dev.EnviaString(ticket);
  EXPECT_EQ(leitor.Wait(), ticket);
  EXPECT_EQ(clock->sleeps.size(), 0u);
}

TEST_F(DeviceFileTest, AFifoNamedAsAFilePortIsKept) {
  const std::string fifo = dir / "fila";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  dev.SetPorta("FILE:" + fifo);
  FifoReader leitor(fifo);
  dev.Ativar();
  dev.EnviaString("abc");
  EXPECT_EQ(leitor.Wait(), "abc");
  struct stat st {};
  ASSERT_EQ(::lstat(fifo.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST_F(DeviceFileTest, APrinterThatGoesAwayMidSendRaisesAndTheDeviceStaysUsable) {
  dev.SetPastaDispositivos(dir.Path().string());
  ASSERT_EQ(::mkfifo((dir / "lp0").c_str(), 0600), 0);
  dev.SetPorta("LPT1");
  {
    FifoReader leitor(dir / "lp0");
    dev.Ativar();
  }
  const std::string grande(4 << 20, 'x');
  std::string msg;
  {
    // Reads a little, then goes away with the send still running.
    FifoReader leitor(dir / "lp0", 10000);
    msg = ExpectRaise([&] { dev.EnviaString(grande); });
    EXPECT_GE(leitor.Wait().size(), 10000u);
  }
  EXPECT_EQ(msg, "Erro ao enviar dados para a porta: LPT1");
  EXPECT_TRUE(dev.Ativo());
  FifoReader leitor(dir / "lp0");
  dev.EnviaString("de novo");
  EXPECT_EQ(leitor.Wait(), "de novo");
}

TEST_F(DeviceFileTest, StalledParallelPortTimesOut) {
  dev.SetPastaDispositivos(dir.Path().string());
  ASSERT_EQ(::mkfifo((dir / "lp0").c_str(), 0600), 0);
  dev.SetPorta("LPT1");
  dev.SetTimeOut(1);
  // A reader that never reads: the pipe fills and the send must give up.
  const int leitor = ::open((dir / "lp0").c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(leitor, 0);
  dev.Ativar();
  const auto inicio = std::chrono::steady_clock::now();
  EXPECT_EQ(ExpectRaise([&] { dev.EnviaString(std::string(1 << 20, 'y')); }),
            "Erro ao enviar dados para a porta: LPT1");
  EXPECT_LT(std::chrono::steady_clock::now() - inicio, std::chrono::seconds(5));
  ::close(leitor);
}

TEST_F(DeviceFileTest, LinuxPrinterDevicesAreParallelPortsWrittenAsNamed) {
  dev.SetPorta("/dev/usb/lp7");
  EXPECT_EQ(dev.DeviceType(), TDeviceType::dtParallel);
  EXPECT_EQ(dev.GetPrinterFileName(), "/dev/usb/lp7");
  if (!std::filesystem::exists("/dev/usb/lp7")) {
    EXPECT_EQ(ExpectRaise([&] { dev.Ativar(); }), "Porta /dev/usb/lp7 n\xE3o acess\xEDvel");
    EXPECT_FALSE(std::filesystem::exists("/dev/usb/lp7"));
  }
}

}  // namespace
}  // namespace bilhetor
