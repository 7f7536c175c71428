// The writes of parallel ports and USB printer class devices, against
// stand-ins that behave as the two Linux drivers do (the tests cannot load
// them). Time is simulated: a stand-in printer can be busy for seconds
// without the test waiting, and every try the device makes is counted.
//   - lp (/dev/lp*, LPTn): takes a few bytes while the printer is ready,
//     then answers EAGAIN while it is busy; it has no poll handler, so a
//     wait for room returns "writable" at once.
//   - usblp (/dev/usb/lp*): takes one 8 KiB buffer per write and sends it;
//     answers EAGAIN until that transfer is done; poll reports writable once
//     it is; closing the device cancels a transfer still running.
#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <functional>
#include <memory>

#include "device/Device.h"
#include "device/SaidaArquivo.h"
#include "DeviceTestSupport.h"

namespace bilhetor {
namespace {

using testing::ListSpooler;
using testing::StillClock;

// What the printer side saw, over every open of the device.
struct Printer {
  int64_t now = 0;           // simulated milliseconds
  std::string printed;       // bytes the printer took
  std::string cancelled;     // bytes in flight when the device was closed
  int writes = 0;            // write calls, busy ones included
  std::vector<TAberturaSaida> opens;
};

// A write loop that never stops trying would hang the test: past this many
// writes the stand-ins fail them with EIO.
constexpr int kRunaway = 1000000;

class UsbPrinterClass : public TSaidaArquivo {
 public:
  // bytesPerMs 0: the printer takes nothing (out of paper, cover open).
  UsbPrinterClass(Printer& p, int bytesPerMs) : p_(p), rate_(bytesPerMs) {}
  ~UsbPrinterClass() override {
    Advance();
    p_.cancelled += inFlight_;
  }
  ssize_t Escrever(const char* Dados, size_t Tamanho, int& Erro) override {
    if (++p_.writes > kRunaway) return Fail(Erro, EIO);
    Advance();
    if (!inFlight_.empty()) return Fail(Erro, EAGAIN);
    const size_t n = std::min<size_t>(Tamanho, 8192);
    inFlight_.assign(Dados, n);
    doneAt_ = rate_ > 0 ? p_.now + static_cast<int64_t>((n + rate_ - 1) / rate_) : INT64_MAX;
    Erro = 0;
    return static_cast<ssize_t>(n);
  }
  bool AguardarEscrita(int Ms) override {
    Advance();
    if (inFlight_.empty()) return true;
    p_.now = std::min(p_.now + Ms, doneAt_);
    Advance();
    return inFlight_.empty();
  }
  int64_t AgoraMs() override { return p_.now; }
  void Dormir(int Ms) override { p_.now += std::max(Ms, 0); }

 private:
  static ssize_t Fail(int& erro, int code) {
    erro = code;
    return -1;
  }
  void Advance() {
    if (!inFlight_.empty() && p_.now >= doneAt_) {
      p_.printed += inFlight_;
      inFlight_.clear();
    }
  }
  Printer& p_;
  int rate_;
  std::string inFlight_;
  int64_t doneAt_ = 0;
};

class ParallelPort : public TSaidaArquivo {
 public:
  // Takes up to `perTry` bytes when ready, then is busy for `busyMs`; after
  // `stopsAfter` bytes it stays busy for good.
  ParallelPort(Printer& p, size_t perTry, int busyMs, size_t stopsAfter = SIZE_MAX)
      : p_(p), perTry_(perTry), busyMs_(busyMs), stopsAfter_(stopsAfter) {}
  ssize_t Escrever(const char* Dados, size_t Tamanho, int& Erro) override {
    if (++p_.writes > kRunaway) {
      Erro = EIO;
      return -1;
    }
    if (p_.now < readyAt_ || p_.printed.size() >= stopsAfter_) {
      Erro = EAGAIN;
      return -1;
    }
    const size_t n = std::min({Tamanho, perTry_, stopsAfter_ - p_.printed.size()});
    p_.printed.append(Dados, n);
    readyAt_ = p_.now + busyMs_;
    Erro = 0;
    return static_cast<ssize_t>(n);
  }
  bool AguardarEscrita(int) override { return true; }  // no poll handler
  int64_t AgoraMs() override { return p_.now; }
  void Dormir(int Ms) override { p_.now += std::max(Ms, 0); }

 private:
  Printer& p_;
  size_t perTry_;
  int busyMs_;
  size_t stopsAfter_;
  int64_t readyAt_ = 0;
};

// A device whose file and parallel ports open the stand-in the test makes.
class DeviceOnStandIn : public TDevice {
 public:
  DeviceOnStandIn(Printer& p, std::function<std::unique_ptr<TSaidaArquivo>()> make)
      : TDevice(std::make_shared<ListSpooler>(), std::make_shared<StillClock>()), p_(p), make_(std::move(make)) {}

 protected:
  std::unique_ptr<TSaidaArquivo> AbrirSaida(const std::string&, TAberturaSaida Modo, int& Erro) override {
    p_.opens.push_back(Modo);
    Erro = 0;
    return make_();
  }

 private:
  Printer& p_;
  std::function<std::unique_ptr<TSaidaArquivo>()> make_;
};

std::string Ticket(size_t size) {
  std::string t;
  for (int i = 0; t.size() < size; ++i) t += "\x1B!\x08" "linha " + std::to_string(i) + "\n";
  t.resize(size);
  return t;
}

TEST(DevicePrinterDrivers, ATicketIsSentWhileThePrinterTakesItAndFailsWhenItStops) {
  const struct {
    const char* what;
    const char* porta;
    std::function<std::unique_ptr<TSaidaArquivo>(Printer&)> driver;
    size_t size;
    int timeOut;          // seconds
    bool fails;           // "Erro ao enviar dados para a porta: <porta>"
    size_t printed;       // bytes the printer ends up with
    int64_t minMs, maxMs; // simulated time the send takes
    int maxWrites;
  } cases[] = {
      // One buffer: the write returns at once, the transfer takes 308 ms.
      {"usblp, a ticket within one buffer", "/dev/usb/lp0",
       [](Printer& p) { return std::make_unique<UsbPrinterClass>(p, 10); }, 3078, 3, false, 3078, 308, 308, 1},
      // Three buffers, each taken in about 820 ms: 2.4 s in all, more than
      // the 1 s time-out, which bounds each wait only.
      {"usblp, three buffers on a slow printer", "/dev/usb/lp0",
       [](Printer& p) { return std::make_unique<UsbPrinterClass>(p, 10); }, 20000, 1, false, 20000, 2000, 2100, 5},
      {"usblp, a printer that takes nothing", "/dev/usb/lp1",
       [](Printer& p) { return std::make_unique<UsbPrinterClass>(p, 0); }, 3078, 3, true, 0, 3000, 3000, 1},
      {"usblp, stops in the second buffer", "/dev/usb/lp0",
       [](Printer& p) { return std::make_unique<UsbPrinterClass>(p, 0); }, 20000, 2, true, 0, 2000, 2000, 3},
      // 64 bytes, then busy for 40 ms: about 2 s for the ticket (a little
      // more, as the tries come in growing pauses), against a 1 s time-out.
      {"lp, a printer busy between bytes", "LPT1",
       [](Printer& p) { return std::make_unique<ParallelPort>(p, 64, 40); }, 3078, 1, false, 3078, 48 * 40,
       48 * (40 + kPausaMaximaPortaMs), 49 * 8},
      // Stuck after 1000 bytes (16 writes, 15 busy spells): the time-out
      // counts from the last byte taken, and the tries stay few.
      {"lp, a printer that stays busy", "/dev/lp0",
       [](Printer& p) { return std::make_unique<ParallelPort>(p, 64, 40, 1000); }, 3078, 3, true, 1000,
       15 * 40 + 3000, 15 * (40 + kPausaMaximaPortaMs) + 3000, 16 * 8 + 3000 / kPausaMaximaPortaMs + 16},
      {"lp, ready at once", "LPT2",
       [](Printer& p) { return std::make_unique<ParallelPort>(p, 100000, 0); }, 3078, 3, false, 3078, 0, 0, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Printer printer;
    DeviceOnStandIn dev(printer, [&] { return c.driver(printer); });
    dev.SetPorta(c.porta);
    ASSERT_EQ(dev.DeviceType(), TDeviceType::dtParallel);
    dev.SetTimeOut(c.timeOut);
    dev.Ativar();
    const std::string ticket = Ticket(c.size);
    printer.writes = 0;
    const int64_t start = printer.now;
    std::string error;
    try {
      dev.EnviaString(ticket);
    } catch (const EStreamError& e) {
      error = e.Message();
    }
    const int64_t took = printer.now - start;
    EXPECT_EQ(error, c.fails ? std::string("Erro ao enviar dados para a porta: ") + c.porta : "");
    EXPECT_EQ(printer.printed.size(), c.printed);
    EXPECT_TRUE(printer.printed == ticket.substr(0, c.printed));
    if (!c.fails) {
      EXPECT_EQ(printer.cancelled.size(), 0u);
    }
    EXPECT_GE(took, c.minMs);
    EXPECT_LE(took, c.maxMs);
    EXPECT_LE(printer.writes, c.maxWrites);
    // Opened as a port: without waiting and without creating anything.
    EXPECT_FALSE(printer.opens.empty());
    for (const TAberturaSaida modo : printer.opens) EXPECT_EQ(modo, TAberturaSaida::Porta);
    EXPECT_TRUE(dev.Ativo());
  }
}

// Pieces and pauses: the whole text still ends only when the last buffer has
// been taken; the pauses between pieces are the device's own.
TEST(DevicePrinterDrivers, PiecesOnAUsbPrinterEndWhenTheLastIsTaken) {
  Printer printer;
  DeviceOnStandIn dev(printer, [&] { return std::make_unique<UsbPrinterClass>(printer, 10); });
  dev.SetPorta("/dev/usb/lp0");
  dev.Ativar();
  dev.SetSendBytesCount(1000);
  const std::string ticket = Ticket(2500);
  dev.EnviaString(ticket);
  EXPECT_EQ(printer.printed.size(), ticket.size());
  EXPECT_TRUE(printer.printed == ticket);
  EXPECT_EQ(printer.cancelled.size(), 0u);
  EXPECT_EQ(printer.writes, 5);  // three pieces, two of them after a busy answer
}

}  // namespace
}  // namespace bilhetor
