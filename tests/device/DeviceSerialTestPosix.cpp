// The device's serial ports on Linux: COM names as links in the device
// folder, the termios settings the device applies, /dev names, the search
// through the system's description of its devices, and a printer frozen or
// slow behind the port.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>

#include "DeviceSerialTest.h"
#include "support/PacedReader.h"

namespace bilhetor {

std::string PortaDoPty(const testing::SocatPty& pty, const testing::TempDir& dir, int n) {
  const std::string link = dir / ("ttyS" + std::to_string(n - 1));
  std::filesystem::remove(link);
  std::filesystem::create_symlink(pty.PortName(), link);
  return "COM" + std::to_string(n);
}

void UsarPastaDoTeste(TDevice& dev, const testing::TempDir& dir) { dev.SetPastaDispositivos(dir.Path().string()); }

namespace {

using testing::ChildProcess;
using testing::ListSpooler;
using testing::PacedReader;
using testing::SocatPty;
using testing::StillClock;
using testing::TempDir;
using testing::WriteFile;

// The line settings of the port as the system holds them.
termios Settings(const SocatPty& pty) {
  termios t{};
  const int fd = ::open(pty.PortName().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  EXPECT_GE(fd, 0);
  EXPECT_EQ(::tcgetattr(fd, &t), 0);
  ::close(fd);
  return t;
}

// Pseudo-terminals keep speed, stop bits, odd parity, parity checking and
// flow control, but force 8 data bits and drop the parity enable flag: the
// checks look at what the terminal keeps.
TEST_F(DeviceSerialTest, ActivationAppliesTheSettingsAndLaterChangesAtOnce) {
  dev->SetPorta("COM1");
  dev->SetParamsString("BAUD=19200 DATA=7 PARITY=E STOP=2");
  dev->Ativar();
  termios t = Settings(*pty);
  EXPECT_EQ(cfgetospeed(&t), B19200);
  EXPECT_TRUE(t.c_cflag & CSTOPB);
  EXPECT_TRUE(t.c_iflag & INPCK);
  EXPECT_FALSE(t.c_cflag & PARODD);
  EXPECT_EQ(dev->Serial().DeadlockTimeout(), 3000);

  dev->SetBaud(115200);
  EXPECT_EQ(cfgetospeed(&(t = Settings(*pty))), B115200);
  dev->SetParity(TSerialParity::pOdd);
  EXPECT_TRUE((t = Settings(*pty)).c_cflag & PARODD);
  dev->SetStop(TSerialStop::s1);
  EXPECT_FALSE((t = Settings(*pty)).c_cflag & CSTOPB);
  dev->SetSoftFlow(true);
  t = Settings(*pty);
  EXPECT_TRUE(t.c_iflag & IXON);
  EXPECT_FALSE(t.c_cflag & CRTSCTS);
  dev->SetHardFlow(true);
  t = Settings(*pty);
  EXPECT_TRUE(t.c_cflag & CRTSCTS);
  EXPECT_FALSE(t.c_iflag & IXON);
  EXPECT_TRUE(dev->Serial().RTS());
  dev->SetHandShake(THandShake::hsDTR_DSR);
  t = Settings(*pty);
  EXPECT_FALSE(t.c_cflag & CRTSCTS);
  EXPECT_FALSE(t.c_iflag & IXON);
  EXPECT_TRUE(dev->Serial().DTR());
  dev->SetParity(TSerialParity::pNone);
  EXPECT_FALSE((t = Settings(*pty)).c_iflag & INPCK);
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

}  // namespace
}  // namespace bilhetor
