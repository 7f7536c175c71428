// Serial ports on socat pseudo-terminal pairs. The device's folder of device
// files points at a temporary folder where "ttyS0" links to the pty, so the
// port is really called COM1.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>
#include <memory>

#include "device/Device.h"
#include "support/PacedReader.h"
#include "support/SocatPty.h"
#include "transport/TcpSocket.h"
#include "DeviceTestSupport.h"

namespace bilhetor {
namespace {

using testing::ChildProcess;
using testing::ListSpooler;
using testing::LogLines;
using testing::PacedReader;
using testing::SocatPty;
using testing::StillClock;
using testing::TempDir;
using testing::WriteFile;

// A separation ticket of about `size` bytes, as the Epson command set sends
// it: initialization, bold lines, item lines, feed and cut.
std::string Ticket(size_t size) {
  std::string t = std::string("\x1B@\x1B!\x38MAPA DE SEPARACAO\x1B!") + '\0' + "\n";
  for (int i = 1; t.size() + 6 < size; ++i) t += "  " + std::to_string(i) + " x PRODUTO " + std::to_string(i * 37) + "\n";
  t.resize(size - 6, '-');
  return t + "\n\x1DV\x41\x03\n";
}

class DeviceSerialTest : public ::testing::Test {
 protected:
  DeviceSerialTest() : clock(std::make_shared<StillClock>()) {
    pty = std::make_unique<SocatPty>();
    Link("ttyS0", pty->PortName());
    dev = NewDevice();
  }
  std::unique_ptr<TDevice> NewDevice() {
    auto d = std::make_unique<TDevice>(std::make_shared<ListSpooler>(), clock);
    d->SetPastaDispositivos(dir.Path().string());
    return d;
  }
  void Link(const std::string& name, const std::string& target) {
    std::filesystem::remove(dir / name);
    std::filesystem::create_symlink(target, dir / name);
  }
  // The line settings of the port as the system holds them.
  termios Settings() {
    termios t{};
    const int fd = ::open(pty->PortName().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(::tcgetattr(fd, &t), 0);
    ::close(fd);
    return t;
  }
  std::string ExpectRaise(const std::function<void()>& f, std::string* classe = nullptr) {
    try {
      f();
    } catch (const Exception& e) {
      if (classe) *classe = NomeClasseErro(e);
      return e.Message();
    }
    ADD_FAILURE() << "no raise";
    return "";
  }
  TempDir dir;
  std::shared_ptr<StillClock> clock;
  std::unique_ptr<SocatPty> pty;
  std::unique_ptr<TDevice> dev;
};

TEST_F(DeviceSerialTest, LogOfActivatingCom1AndSendingTwelveBytes) {
  dev->SetPorta("COM1");
  dev->SetArqLOG(dir / "d.log");
  dev->Ativar();
  ASSERT_TRUE(dev->Ativo());
  const std::string texto = "\x1B@Bilhetor\r\n";
  ASSERT_EQ(texto.size(), 12u);
  dev->EnviaString(texto);
  EXPECT_EQ(pty->PeerRead(12), texto);
  EXPECT_EQ(LogLines(dir / "d.log"),
            (std::vector<std::string>{"Ativar - Porta:COM1", "TryCloseSocket - Serial", "  Serial.InstanceActive",
                                      "  Serial.Connect(COM1)", "ConfiguraSerial",
                                      "EnviaString([ESC]@Bilhetor[CR][LF])",
                                      "EnviaStringSerial([ESC]@Bilhetor[CR][LF])", "  BytesToSend:12"}));
  for (const auto& linha : LogLines(dir / "d.log", false)) EXPECT_EQ(linha.substr(0, 22), "-- 08/12 14:03:27:915 ");
}

// Pseudo-terminals keep speed, stop bits, odd parity, parity checking and
// flow control, but force 8 data bits and drop the parity enable flag: the
// checks look at what the terminal keeps.
TEST_F(DeviceSerialTest, ActivationAppliesTheSettingsAndLaterChangesAtOnce) {
  dev->SetPorta("COM1");
  dev->SetParamsString("BAUD=19200 DATA=7 PARITY=E STOP=2");
  dev->Ativar();
  termios t = Settings();
  EXPECT_EQ(cfgetospeed(&t), B19200);
  EXPECT_TRUE(t.c_cflag & CSTOPB);
  EXPECT_TRUE(t.c_iflag & INPCK);
  EXPECT_FALSE(t.c_cflag & PARODD);
  EXPECT_EQ(dev->Serial().DeadlockTimeout(), 3000);

  dev->SetBaud(115200);
  EXPECT_EQ(cfgetospeed(&(t = Settings())), B115200);
  dev->SetParity(TSerialParity::pOdd);
  EXPECT_TRUE((t = Settings()).c_cflag & PARODD);
  dev->SetStop(TSerialStop::s1);
  EXPECT_FALSE((t = Settings()).c_cflag & CSTOPB);
  dev->SetSoftFlow(true);
  t = Settings();
  EXPECT_TRUE(t.c_iflag & IXON);
  EXPECT_FALSE(t.c_cflag & CRTSCTS);
  dev->SetHardFlow(true);
  t = Settings();
  EXPECT_TRUE(t.c_cflag & CRTSCTS);
  EXPECT_FALSE(t.c_iflag & IXON);
  EXPECT_TRUE(dev->Serial().RTS());
  dev->SetHandShake(THandShake::hsDTR_DSR);
  t = Settings();
  EXPECT_FALSE(t.c_cflag & CRTSCTS);
  EXPECT_FALSE(t.c_iflag & IXON);
  EXPECT_TRUE(dev->Serial().DTR());
  dev->SetParity(TSerialParity::pNone);
  EXPECT_FALSE((t = Settings()).c_iflag & INPCK);
}

TEST_F(DeviceSerialTest, ConfiguraSerialLogsTheLinesItRaises) {
  dev->SetPorta("COM1");
  dev->SetHandShake(THandShake::hsRTS_CTS);
  dev->SetArqLOG(dir / "d.log");
  dev->Ativar();
  auto linhas = LogLines(dir / "d.log");
  EXPECT_EQ(std::vector<std::string>(linhas.begin() + 4, linhas.end()),
            (std::vector<std::string>{"ConfiguraSerial", "  Serial.RTS"}));
}

TEST_F(DeviceSerialTest, MissingPortIsNotFound) {
  dev->SetPorta("COM9");
  dev->SetArqLOG(dir / "d.log");
  std::string classe;
  EXPECT_EQ(ExpectRaise([&] { dev->Ativar(); }, &classe), "Porta COM9 n\xE3o encontrada");
  EXPECT_EQ(classe, "ESocketError");
  EXPECT_FALSE(dev->Ativo());
  EXPECT_FALSE(dev->Serial().InstanceActive());
  EXPECT_EQ(LogLines(dir / "d.log").back(), "ESocketError: Porta COM9 n\xE3o encontrada");
}

TEST_F(DeviceSerialTest, OtherOpenFailuresCarryTheSerialPortMessage) {
  WriteFile(dir / "arquivo", "not a terminal");
  Link("ttyS1", dir / "arquivo");
  dev->SetPorta("COM2");
  std::string classe;
  const std::string msg = ExpectRaise([&] { dev->Ativar(); }, &classe);
  EXPECT_EQ(classe, "ESocketError");
  EXPECT_EQ(msg.rfind("Communication error 25: ", 0), 0u) << msg;
  EXPECT_FALSE(dev->Ativo());
}

TEST_F(DeviceSerialTest, DeviceNamesAreSerialPortsToo) {
  // "\\.\NAME" opens /dev/NAME: the pty's own name under /dev.
  const std::string nome = pty->PortName().substr(5);
  dev->SetPorta("\\\\.\\" + nome);
  EXPECT_TRUE(dev->IsSerial());
  dev->Ativar();
  dev->EnviaString("via nome");
  EXPECT_EQ(pty->PeerRead(8), "via nome");
  dev->Desativar();
  // Terminal device files are serial ports as they stand.
  dev->SetPorta("/dev/ttyUSB97");
  EXPECT_TRUE(dev->IsSerial());
  EXPECT_EQ(ExpectRaise([&] { dev->Ativar(); }), "Porta /dev/ttyUSB97 n\xE3o encontrada");
  // A pseudo-terminal's own /dev/pts name is not a printer port.
  EXPECT_EQ(dev->DeduzirTipoPorta(pty->PortName()), TDeviceType::dtNenhum);
}

TEST_F(DeviceSerialTest, ReadingExactCountTerminatorOrWhateverArrives) {
  dev->SetPorta("COM1");
  dev->Ativar();
  pty->PeerWrite("\x10\x0F");
  EXPECT_EQ(dev->LeString(500, 2, ""), "\x10\x0F");
  pty->PeerWrite("abc\x03resto");
  EXPECT_EQ(dev->LeString(500, 0, "\x03"), "abc");
  EXPECT_EQ(dev->LeString(500, 0, ""), "resto");
  std::string classe;
  const std::string msg = ExpectRaise([&] { dev->LeString(200, 1, ""); }, &classe);
  EXPECT_EQ(classe, "ESerialError");
  EXPECT_EQ(msg, "Communication error 9997: Timeout during operation");
  EXPECT_TRUE(dev->Ativo());
}

TEST_F(DeviceSerialTest, ReadingWithoutATimeOutUsesTimeOutInSeconds) {
  dev->SetPorta("COM1");
  dev->SetTimeOut(1);
  dev->Ativar();
  const auto inicio = std::chrono::steady_clock::now();
  EXPECT_THROW(dev->LeString(0, 1, ""), ESerialError);
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - inicio).count();
  EXPECT_GE(ms, 900);
  EXPECT_LT(ms, 5000);
}

TEST_F(DeviceSerialTest, LimparDropsWhatIsPending) {
  dev->SetPorta("COM1");
  dev->Ativar();
  pty->PeerWrite("lixo antigo");
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  dev->Limpar();
  pty->PeerWrite("OK");
  EXPECT_EQ(dev->LeString(1000, 2, ""), "OK");
}

TEST_F(DeviceSerialTest, PiecesAndPausesOfASerialSend) {
  dev->SetPorta("COM1");
  dev->SetArqLOG(dir / "d.log");
  dev->Ativar();
  dev->SetSendBytesCount(4);
  dev->SetSendBytesInterval(25);
  dev->EnviaString("0123456789");
  EXPECT_EQ(pty->PeerRead(10), "0123456789");
  EXPECT_EQ(clock->sleeps, (std::vector<int>{25, 25, 25}));
  auto linhas = LogLines(dir / "d.log");
  EXPECT_EQ(std::vector<std::string>(linhas.end() - 6, linhas.end()),
            (std::vector<std::string>{"  BytesToSend:4", "  Sleep(25)", "  BytesToSend:4", "  Sleep(25)",
                                      "  BytesToSend:4", "  Sleep(25)"}));
}

TEST_F(DeviceSerialTest, NegativeSendBytesCountSendsAtOnce) {
  dev->SetPorta("COM1");
  dev->Ativar();
  dev->SetSendBytesCount(-3);
  dev->EnviaString("tudo de uma vez");
  EXPECT_EQ(pty->PeerRead(15), "tudo de uma vez");
}

TEST_F(DeviceSerialTest, ActivatingTwiceAndDeactivating) {
  dev->SetPorta("COM1");
  dev->Ativar();
  dev->SetArqLOG(dir / "d.log");
  dev->Ativar();  // already active: nothing
  EXPECT_FALSE(std::filesystem::exists(dir / "d.log"));
  EXPECT_NO_THROW(dev->SetPorta("COM1"));
  EXPECT_THROW(dev->SetPorta("com1"), Exception);
  dev->Desativar();
  EXPECT_FALSE(dev->Ativo());
  EXPECT_FALSE(dev->Serial().InstanceActive());
  EXPECT_EQ(LogLines(dir / "d.log"),
            (std::vector<std::string>{"SetPorta(com1)",
                                      "Exception: N\xE3o \xE9 poss\xEDvel mudar a Porta com o Dispositivo Ativo",
                                      "Desativar", "TryCloseSocket - Serial", "  Serial.InstanceActive",
                                      "  Serial.CloseSocket"}));
  EXPECT_TRUE(dev->Serial().RaiseExcept());
  dev->Desativar();  // inactive: nothing more
  EXPECT_EQ(LogLines(dir / "d.log").size(), 6u);
}

TEST_F(DeviceSerialTest, ACablePulledMidSendRaisesAndTheDeviceRecovers) {
  dev->SetPorta("COM1");
  dev->SetTimeOut(1);
  dev->Ativar();
  pty->Stop();
  EXPECT_THROW(dev->EnviaString(std::string(100000, 'x')), Exception);
  EXPECT_TRUE(dev->Ativo());
  dev->Desativar();
  pty = std::make_unique<SocatPty>();
  Link("ttyS0", pty->PortName());
  dev->Ativar();
  dev->EnviaString("de novo");
  EXPECT_EQ(pty->PeerRead(7), "de novo");
}

// A ticket that fits the port's buffers goes out at once; the printer side
// may be frozen (the bytes wait in the port's buffers) or read slowly. Right
// after it the device deactivates, clears its input, or asks for the status
// (clear, query, reply): the printer still gets the whole ticket.
TEST(DeviceSerialDelivery, TheWholeTicketReachesThePrinter) {
  enum class Then { Desativar, Limpar, StatusQuery };
  const struct {
    const char* what;
    bool frozen;  // else the printer reads 1 KiB every 10 ms
    Then then;
    size_t size;
  } cases[] = {
      {"frozen printer, Desativar", true, Then::Desativar, 8000},
      {"frozen printer, Limpar", true, Then::Limpar, 8000},
      {"frozen printer, status query", true, Then::StatusQuery, 8000},
      {"slow printer, Desativar", false, Then::Desativar, 60000},
      {"slow printer, Limpar", false, Then::Limpar, 60000},
      {"slow printer, status query", false, Then::StatusQuery, 60000},
  };
  const std::string query = "\x10\x04\x01";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    SocatPty pty;
    std::filesystem::create_symlink(pty.PortName(), dir / "ttyS0");
    TDevice dev(std::make_shared<ListSpooler>(), std::make_shared<StillClock>());
    dev.SetPastaDispositivos(dir.Path().string());
    dev.SetPorta("COM1");
    dev.Ativar();
    PacedReader printer(pty.PeerFd(), c.frozen ? 4096 : 1024, std::chrono::milliseconds(c.frozen ? 1 : 10));
    printer.AnswerAfter(query, "\x12");
    if (c.frozen) pty.Pause();
    const std::string ticket = Ticket(c.size);
    dev.EnviaString(ticket);
    std::string expected = ticket;
    switch (c.then) {
      case Then::Desativar:
        dev.Desativar();
        break;
      case Then::Limpar:
        dev.Limpar();
        dev.Desativar();
        break;
      case Then::StatusQuery:
        dev.Limpar();
        dev.EnviaString(query);
        expected += query;
        if (c.frozen) pty.Resume();
        EXPECT_EQ(dev.LeString(5000, 1, ""), "\x12");
        dev.Desativar();
        break;
    }
    if (c.frozen) pty.Resume();
    printer.WaitForBytes(expected.size());
    EXPECT_EQ(printer.Received().size(), expected.size());
    EXPECT_TRUE(printer.Received() == expected);
  }
}

// The printer holds the line with XOFF (software handshake): the ticket does
// not go out, and the send raises the serial port's time-out error after
// TimeOut instead of returning as if printed.
TEST_F(DeviceSerialTest, ATicketToALineHeldByXoffRaisesTheTimeOut) {
  dev->SetPorta("COM1");
  dev->SetParamsString("HANDSHAKE=XON/XOFF");
  dev->SetTimeOut(1);
  dev->Ativar();
  pty->PeerWrite("\x13");
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  std::string classe;
  const auto inicio = std::chrono::steady_clock::now();
  EXPECT_EQ(ExpectRaise([&] { dev->EnviaString(Ticket(3078)); }, &classe),
            "Communication error 9997: Timeout during operation");
  EXPECT_EQ(classe, "ESerialError");
  EXPECT_GE(std::chrono::steady_clock::now() - inicio, std::chrono::milliseconds(900));
  EXPECT_TRUE(dev->Ativo());
  EXPECT_EQ(pty->PeerDrain(), "");
  pty->PeerWrite("\x11");
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  dev->EnviaString("ok");
  EXPECT_EQ(pty->PeerRead(2), "ok");
}

// The device maps COM names with the serial port's own rule, so a name the
// device does not take for a COM port is not opened as one either.
TEST(DeviceSerialNames, TheDeviceAndTheSerialPortOpenTheSameName) {
  TDevice dev(std::make_shared<ListSpooler>(), std::make_shared<StillClock>());
  const struct {
    const char* porta;
    const char* abre;
  } cases[] = {
      {"COM1", "/dev/ttyS0"},   {"COM12", "/dev/ttyS11"}, {"COM01", "/dev/ttyS0"},
      {"COM1 ", "COM1 "},       {"COM 1", "COM 1"},       {"COM+1", "COM+1"},
      {"COM$1", "COM$1"},       {"COM0x1", "COM0x1"},     {"COM0", "COM0"},
      {"COMX", "COMX"},         {"/dev/ttys0", "/dev/ttys0"}, {"/dev/ttyS01", "/dev/ttyS01"},
      {"/dev/ttyUSB0", "/dev/ttyUSB0"},
  };
  for (const auto& c : cases) {
    const std::string entregue = dev.NomeSistemaSerial(c.porta);
    EXPECT_EQ(TSerialPort::SystemDeviceName(entregue), entregue) << "[" << c.porta << "]";
    EXPECT_EQ(entregue, c.abre) << "[" << c.porta << "]";
  }
  dev.SetPastaDispositivos("/tmp/dispositivos");
  EXPECT_EQ(dev.NomeSistemaSerial("com3"), "/tmp/dispositivos/ttyS2");
  EXPECT_EQ(dev.NomeSistemaSerial("COM3 "), "COM3 ");
}

// The search opens nothing: a port another program holds keeps its settings
// and the input waiting for that program. (Pseudo-terminals have no modem
// lines to compare.)
TEST_F(DeviceSerialTest, TheSearchLeavesAPortHeldByAnotherProgramAsItWas) {
  SocatPty outra;
  Link("ttyS1", outra.PortName());
  ChildProcess dono({"sh", "-c", "exec sleep 60 <> " + outra.PortName()});
  ASSERT_TRUE(testing::WaitUntil([&] {
    // the holder has the port open once its descriptor points at it
    std::error_code ec;
    return std::filesystem::read_symlink("/proc/" + std::to_string(dono.Pid()) + "/fd/0", ec).string() ==
           outra.PortName();
  }));
  const int fd = ::open(outra.PortName().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(fd, 0);
  termios antes{};
  ASSERT_EQ(::tcgetattr(fd, &antes), 0);
  antes.c_iflag = IXON | ICRNL;
  antes.c_oflag = OPOST | ONLCR;
  antes.c_lflag = ISIG;
  antes.c_cc[VMIN] = 1;
  antes.c_cc[VTIME] = 5;
  cfsetispeed(&antes, B1200);
  cfsetospeed(&antes, B1200);
  ASSERT_EQ(::tcsetattr(fd, TCSANOW, &antes), 0);
  ASSERT_EQ(::tcgetattr(fd, &antes), 0);
  outra.PeerWrite("pendente");
  ASSERT_TRUE(testing::WaitUntil([&] {
    int n = 0;
    return ::ioctl(fd, FIONREAD, &n) == 0 && n == 8;
  }));

  std::vector<std::string> lista;
  dev->AcharPortasSeriais(lista, 4);
  EXPECT_EQ(lista, (std::vector<std::string>{"COM1", "COM2"}));

  termios depois{};
  ASSERT_EQ(::tcgetattr(fd, &depois), 0);
  EXPECT_EQ(depois.c_iflag, antes.c_iflag);
  EXPECT_EQ(depois.c_oflag, antes.c_oflag);
  EXPECT_EQ(depois.c_cflag, antes.c_cflag);
  EXPECT_EQ(depois.c_lflag, antes.c_lflag);
  EXPECT_EQ(cfgetospeed(&depois), B1200);
  EXPECT_EQ(std::memcmp(depois.c_cc, antes.c_cc, sizeof antes.c_cc), 0);
  int esperando = 0;
  EXPECT_EQ(::ioctl(fd, FIONREAD, &esperando), 0);
  EXPECT_EQ(esperando, 8);
  ::close(fd);
  EXPECT_TRUE(dono.Running());
}

// The system's description of its devices, in a folder of the test's: the
// console (by the names the kernel lists) is left out, a UART of type 0 has
// no hardware behind it, and the USB serial adapters follow the COM ports,
// by kind and number. A link to nothing is no port.
TEST_F(DeviceSerialTest, TheSearchListsUsbAdaptersAndLeavesOutTheConsole) {
  SocatPty console, semUart;
  Link("ttyS1", console.PortName());
  Link("ttyS2", semUart.PortName());
  Link("ttyS3", pty->PortName());
  Link("ttyUSB10", pty->PortName());
  Link("ttyUSB2", pty->PortName());
  Link("ttyACM0", pty->PortName());
  Link("ttyUSB3", dir / "nada");
  Link("ttyUSBx", pty->PortName());
  Link("ttyACM0.old", pty->PortName());
  auto numero = [](const std::string& caminho) {
    struct stat st {};
    EXPECT_EQ(::stat(caminho.c_str(), &st), 0);
    return std::to_string(major(st.st_rdev)) + ":" + std::to_string(minor(st.st_rdev));
  };
  TempDir sys;
  std::filesystem::create_directories(sys / "class/tty/console");
  std::filesystem::create_directories(sys / "class/tty/ttyS1");
  std::filesystem::create_directories(sys / ("dev/char/" + numero(semUart.PortName())));
  WriteFile(sys / "class/tty/console/active", "tty0 ttyS1\n");
  WriteFile(sys / "class/tty/ttyS1/dev", numero(console.PortName()) + "\n");
  WriteFile(sys / ("dev/char/" + numero(semUart.PortName()) + "/type"), "0\n");
  dev->SetPastaSysfs(sys.Path().string());

  std::vector<std::string> lista;
  dev->AcharPortasSeriais(lista, 64);
  EXPECT_EQ(lista, (std::vector<std::string>{"COM1", "COM4", dir / "ttyUSB2", dir / "ttyUSB10", dir / "ttyACM0"}));
  // Without a COM number to look at there is no search at all.
  dev->AcharPortasSeriais(lista, 0);
  EXPECT_TRUE(lista.empty());
  // Once the system says the UART is there, it is listed.
  WriteFile(sys / ("dev/char/" + numero(semUart.PortName()) + "/type"), "4\n");
  dev->AcharPortasSeriais(lista, 3);
  EXPECT_EQ(lista, (std::vector<std::string>{"COM1", "COM3", dir / "ttyUSB2", dir / "ttyUSB10", dir / "ttyACM0"}));
}

TEST_F(DeviceSerialTest, SerialPortSearch) {
  SocatPty outra;
  Link("ttyS2", outra.PortName());
  WriteFile(dir / "arquivo", "");
  Link("ttyS1", dir / "arquivo");  // exists, though it cannot be opened as a port
  std::vector<std::string> lista{"velho"};
  dev->AcharPortasSeriais(lista, 5);
  EXPECT_EQ(lista, (std::vector<std::string>{"COM1", "COM2", "COM3"}));
  dev->AcharPortasSeriais(lista, 0);
  EXPECT_TRUE(lista.empty());
  dev->AcharPortasSeriais(lista, -4);
  EXPECT_TRUE(lista.empty());
  // The search leaves the ports free.
  dev->SetPorta("COM3");
  dev->Ativar();
  dev->EnviaString("livre");
  EXPECT_EQ(outra.PeerRead(5), "livre");
}

// A serial port whose writes the test decides, for the retry count.
class ScriptedSerialDevice : public TDevice {
 public:
  using TDevice::TDevice;
  std::vector<int> results;  // one per write; 0 = nothing written
  std::string written;

 protected:
  int EscreverSerial(const char* dados, int tamanho) override {
    int r = 0;
    if (!results.empty()) {
      r = std::min(results.front(), tamanho);
      results.erase(results.begin());
    }
    if (r > 0) written.append(dados, static_cast<size_t>(r));
    return r;
  }
};

TEST(DeviceSerialRetry, TenEmptyWritesInARowRaise) {
  auto clock = std::make_shared<StillClock>();
  TempDir dir;
  ScriptedSerialDevice dev(std::make_shared<ListSpooler>(), clock);
  dev.SetPorta("COM1");
  dev.SetArqLOG(dir / "d.log");
  try {
    dev.EnviaStringSerial("abc");
    FAIL() << "no raise";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Erro ao enviar dados para a porta: COM1");
  }
  const auto linhas = LogLines(dir / "d.log");
  EXPECT_EQ(std::count(linhas.begin(), linhas.end(), "  BytesToSend:3"), 10);
  EXPECT_EQ(linhas[linhas.size() - 2], "  FailCount:10");
}

TEST(DeviceSerialRetry, AWriteInBetweenResetsTheCountAndShortWritesResendTheRest) {
  auto clock = std::make_shared<StillClock>();
  ScriptedSerialDevice dev(std::make_shared<ListSpooler>(), clock);
  dev.SetPorta("COM1");
  dev.results = {0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 100};
  dev.EnviaStringSerial("abcdef");
  EXPECT_EQ(dev.written, "abcdef");
  EXPECT_TRUE(dev.results.empty());
}

}  // namespace
}  // namespace bilhetor
