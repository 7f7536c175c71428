// The serial port on Linux: COM names as /dev/ttyS devices, the termios
// flags the line settings become, speeds without a termios constant, and a
// line whose other end hangs up.
#include <termios.h>

#include <cerrno>

#include "SerialPortTest.h"
#include "transport/SerialSettingsPosix.h"
#include "transport/SerialSpeed.h"

namespace bilhetor::serial_test {

const char* const kMissingPort = "/dev/ttyBilhetorMissing";
const char* const kNullDevice = "/dev/null";
const int kNotAPort = ENOTTY;
const int kRefusedSettings = EINVAL;

std::string DriverSettings(const TSerialPort& port) {
  termios t {};
  if (tcgetattr(static_cast<int>(port.Handle()), &t) != 0) return "tcgetattr failed";
  return std::to_string(t.c_cflag) + " " + std::to_string(t.c_iflag);
}

namespace {

TEST(SerialPortErrors, OtherCodesAreTheSystemsText) {
  EXPECT_EQ(TSerialPort::GetErrorDesc(2), "No such file or directory");
  EXPECT_EQ(TSerialPort::GetErrorDesc(5), "Input/output error");
}

// A COM name opens /dev/ttyS{n-1}, "\\.\NAME" opens /dev/NAME, and anything
// else (leading zeros in a /dev name, another case of "ttyS") as written.
TEST(SerialPortNames, ComNamesOpenTtySDevices) {
  const struct {
    const char* name;
    const char* system;
  } cases[] = {
      {"COM1", "/dev/ttyS0"},           {"com12", "/dev/ttyS11"},         {"COM01", "/dev/ttyS0"},
      {"COM999999", "/dev/ttyS999998"}, {"\\\\.\\ttyUSB0", "/dev/ttyUSB0"}, {"/dev/ttyS01", "/dev/ttyS01"},
      {"/dev/ttys1", "/dev/ttys1"},     {"/dev/ttyUSB0", "/dev/ttyUSB0"},
  };
  for (const auto& c : cases) EXPECT_EQ(TSerialPort::SystemDeviceName(c.name), c.system) << "[" << c.name << "]";
  TSerialPort port;
  port.Connect("\\\\.\\bilhetor-no-such-port");
  EXPECT_EQ(port.DeviceName(), "/dev/bilhetor-no-such-port");
  EXPECT_FALSE(port.InstanceActive());
}

// Pseudo-terminals force 8 data bits and clear the parity enable flag
// whatever they are told, so data bits and parity are checked on the flags
// the port hands to the driver, and everything else on the terminal itself.
TEST(SerialLineSettings, DataBitsParityAndStopBitsBecomeFlags) {
  using transport_detail::BuildLineSettings;
  termios t {};
  cfsetospeed(&t, B9600);
  ASSERT_EQ(BuildLineSettings(t, {9600, 7, 'E', 0, false, false}), 0);
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS7));
  EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR), static_cast<tcflag_t>(PARENB));
  EXPECT_NE(t.c_iflag & INPCK, 0u);
  ASSERT_EQ(BuildLineSettings(t, {9600, 5, 'o', 1, false, false}), 0);
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS5));
  EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR), static_cast<tcflag_t>(PARENB | PARODD));
  EXPECT_NE(t.c_cflag & CSTOPB, 0u);
  ASSERT_EQ(BuildLineSettings(t, {9600, 6, 'm', 2, false, false}), 0);
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS6));
  EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR), static_cast<tcflag_t>(PARENB | PARODD | CMSPAR));
  // An unknown letter keeps the parity read from the port.
  ASSERT_EQ(BuildLineSettings(t, {9600, 8, 'x', 0, false, false}), 0);
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR), static_cast<tcflag_t>(PARENB | PARODD | CMSPAR));
  ASSERT_EQ(BuildLineSettings(t, {9600, 8, 'S', 0, false, false}), 0);
  EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR), static_cast<tcflag_t>(PARENB | CMSPAR));
  ASSERT_EQ(BuildLineSettings(t, {9600, 8, 'n', 0, false, false}), 0);
  EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR), 0u);
  EXPECT_EQ(t.c_iflag & INPCK, 0u);
  // Refused values leave the flags alone.
  const termios before = t;
  EXPECT_EQ(BuildLineSettings(t, {9600, 9, 'E', 0, true, true}), EINVAL);
  EXPECT_EQ(t.c_cflag, before.c_cflag);
  EXPECT_EQ(t.c_iflag, before.c_iflag);
}

TEST_F(SerialPortTest, ApplySettingsReachesTheTerminal) {
  TSerialPort port;
  Open(port);
  const int fd = static_cast<int>(port.Handle());
  termios t {};

  port.ApplySettings(115200, 8, 'N', 0, false, false);
  ASSERT_EQ(port.LastError(), 0) << port.LastErrorDesc();
  ASSERT_EQ(tcgetattr(fd, &t), 0);
  EXPECT_EQ(cfgetospeed(&t), B115200);
  EXPECT_EQ(cfgetispeed(&t), B115200);
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS), 0u);
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF | INPCK | ICRNL | ISTRIP), 0u);
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
  EXPECT_EQ(t.c_oflag & OPOST, 0u);

  port.ApplySettings(9600, 7, 'o', 2, true, false);
  ASSERT_EQ(port.LastError(), 0) << port.LastErrorDesc();
  ASSERT_EQ(tcgetattr(fd, &t), 0);
  EXPECT_EQ(cfgetospeed(&t), B9600);
  EXPECT_NE(t.c_cflag & PARODD, 0u);
  EXPECT_NE(t.c_iflag & INPCK, 0u);  // parity checking on
  EXPECT_NE(t.c_cflag & CSTOPB, 0u);
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));
  EXPECT_EQ(t.c_cc[VSTART], 17);
  EXPECT_EQ(t.c_cc[VSTOP], 19);
  EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);

  port.ApplySettings(19200, 8, 'N', 0, false, true);
  ASSERT_EQ(tcgetattr(fd, &t), 0);
  EXPECT_EQ(cfgetospeed(&t), B19200);
  EXPECT_NE(t.c_cflag & CRTSCTS, 0u);
  EXPECT_EQ(t.c_cflag & (PARODD | CSTOPB), 0u);
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF | INPCK), 0u);

  port.ApplySettings(4800, 8, 'M', 1, false, false);
  ASSERT_EQ(tcgetattr(fd, &t), 0);
  EXPECT_EQ(t.c_cflag & (PARODD | CMSPAR), static_cast<tcflag_t>(PARODD | CMSPAR));
  EXPECT_NE(t.c_cflag & CSTOPB, 0u);

  // A letter that names no parity keeps the parity that was set.
  port.ApplySettings(4800, 8, '?', 0, false, false);
  ASSERT_EQ(tcgetattr(fd, &t), 0);
  EXPECT_EQ(t.c_cflag & (PARODD | CMSPAR), static_cast<tcflag_t>(PARODD | CMSPAR));
  EXPECT_EQ(port.LastError(), 0);
}

TEST_F(SerialPortTest, SpeedsWithoutATermiosConstantAreSetExactly) {
  TSerialPort port;
  Open(port);
  const int fd = static_cast<int>(port.Handle());
  for (int baud : {14400, 56000, 250000}) {
    port.ApplySettings(baud, 8, 'N', 0, false, false);
    EXPECT_EQ(port.LastError(), 0) << baud;
    EXPECT_EQ(transport_detail::GetLineSpeed(fd), baud);
  }
  port.ApplySettings(9600, 8, 'N', 0, false, false);
  EXPECT_EQ(transport_detail::GetLineSpeed(fd), 9600);
}

TEST_F(SerialPortTest, WriteToAPortWhoseOtherEndWentAway) {
  TSerialPort port;
  Open(port);
  pty->Stop();
  EXPECT_EQ(port.WriteBuffer("lost", 4), 0);
  EXPECT_EQ(port.LastError(), EIO);
  EXPECT_EQ(port.LastErrorDesc(), "Input/output error");
  port.SetRaiseExcept(true);
  try {
    port.WriteBuffer("lost", 4);
    FAIL() << "no error raised";
  } catch (const ESerialError& e) {
    EXPECT_EQ(e.ErrorCode(), EIO);
    EXPECT_STREQ(e.what(), "Communication error 5: Input/output error");
  }
  // Closing a hung-up port works and does not raise.
  port.CloseSocket();
  EXPECT_EQ(port.LastError(), 0);
  EXPECT_FALSE(port.InstanceActive());
}

}  // namespace
}  // namespace bilhetor::serial_test
