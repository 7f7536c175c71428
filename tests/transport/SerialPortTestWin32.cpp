// The serial port on Windows: COM names as \\.\COMn devices and the DCB the
// line settings become.
#include <windows.h>

#include "SerialPortTest.h"
#include "transport/SerialSettingsWin32.h"

namespace bilhetor::serial_test {

const char* const kMissingPort = "\\\\.\\COM250";
const char* const kNullDevice = "NUL";
const int kNotAPort = ERROR_INVALID_FUNCTION;
const int kRefusedSettings = ERROR_INVALID_PARAMETER;

std::string DriverSettings(const TSerialPort& port) {
  DCB d {};
  d.DCBlength = sizeof d;
  if (!GetCommState(reinterpret_cast<HANDLE>(port.Handle()), &d)) return "GetCommState failed";
  return std::to_string(d.BaudRate) + " " + std::to_string(d.ByteSize) + " " + std::to_string(d.Parity) + " " +
         std::to_string(d.StopBits) + " " + std::to_string(d.fOutxCtsFlow) + " " + std::to_string(d.fRtsControl) +
         " " + std::to_string(d.fOutX) + " " + std::to_string(d.fInX);
}

namespace {

// Every COM number opens in the \\.\ form (the plain name reaches only COM1
// to COM9); other names are opened as written.
TEST(SerialPortNames, ComNamesOpenTheirDevice) {
  const struct {
    const char* name;
    const char* system;
  } cases[] = {
      {"COM1", "\\\\.\\COM1"},   {"com12", "\\\\.\\COM12"},        {"COM01", "\\\\.\\COM1"},
      {"COM256", "\\\\.\\COM256"}, {"\\\\.\\COM3", "\\\\.\\COM3"}, {"COM 1", "COM 1"},
  };
  for (const auto& c : cases) EXPECT_EQ(TSerialPort::SystemDeviceName(c.name), c.system) << "[" << c.name << "]";
}

// Pseudo-terminals under Wine keep no data bits or parity of their own, so
// the DCB is checked as the port hands it to the driver.
TEST(SerialLineSettings, SettingsBecomeTheDcb) {
  const struct {
    transport_detail::LineSettings s;
    BYTE parity, stopBits;
    bool cts, xonXoff;
  } cases[] = {
      {{9600, 8, 'N', 0, false, false}, NOPARITY, ONESTOPBIT, false, false},
      {{9600, 7, 'e', 2, false, false}, EVENPARITY, TWOSTOPBITS, false, false},
      {{9600, 7, 'O', 1, false, false}, ODDPARITY, TWOSTOPBITS, false, false},
      {{9600, 5, 'm', 1, false, false}, MARKPARITY, ONE5STOPBITS, false, false},
      {{9600, 5, 'S', 2, false, false}, SPACEPARITY, ONE5STOPBITS, false, false},
      {{9600, 8, '?', 0, true, false}, SPACEPARITY, ONESTOPBIT, false, true},  // keeps the parity before
      {{19200, 8, 'n', 0, false, true}, NOPARITY, ONESTOPBIT, true, false},
  };
  DCB d {};
  d.DCBlength = sizeof d;
  d.fAbortOnError = TRUE;
  d.fNull = TRUE;
  d.fOutxDsrFlow = TRUE;
  for (const auto& c : cases) {
    ASSERT_EQ(transport_detail::BuildDcb(d, c.s, 4096), 0);
    const std::string what = std::string(1, c.s.parity) + std::to_string(c.s.bits) + "/" + std::to_string(c.s.stop);
    EXPECT_EQ(d.BaudRate, static_cast<DWORD>(c.s.baud)) << what;
    EXPECT_EQ(d.ByteSize, c.s.bits) << what;
    EXPECT_EQ(d.Parity, c.parity) << what;
    EXPECT_EQ(d.fParity, c.parity != NOPARITY) << what;
    EXPECT_EQ(d.StopBits, c.stopBits) << what;
    EXPECT_EQ(d.fOutxCtsFlow, c.cts) << what;
    EXPECT_EQ(d.fRtsControl, static_cast<DWORD>(c.cts ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE)) << what;
    EXPECT_EQ(d.fOutX, c.xonXoff) << what;
    EXPECT_EQ(d.fInX, c.xonXoff) << what;
    EXPECT_TRUE(d.fBinary);
    EXPECT_FALSE(d.fAbortOnError || d.fNull || d.fOutxDsrFlow || d.fErrorChar);
    EXPECT_EQ(d.XonChar, 17);
    EXPECT_EQ(d.XoffChar, 19);
    EXPECT_EQ(d.XonLim, 1024);
    EXPECT_EQ(d.XoffLim, 1024);
  }
  const DCB before = d;
  EXPECT_EQ(transport_detail::BuildDcb(d, {9600, 9, 'E', 0, true, true}, 4096), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(d.ByteSize, before.ByteSize);
  EXPECT_EQ(d.Parity, before.Parity);
}

TEST_F(SerialPortTest, ApplySettingsReachesTheDriver) {
  TSerialPort port;
  Open(port);
  HANDLE h = reinterpret_cast<HANDLE>(port.Handle());
  DCB d {};
  d.DCBlength = sizeof d;

  port.ApplySettings(115200, 8, 'N', 0, false, false);
  ASSERT_EQ(port.LastError(), 0) << port.LastErrorDesc();
  ASSERT_TRUE(GetCommState(h, &d));
  EXPECT_EQ(d.BaudRate, 115200u);
  EXPECT_EQ(d.StopBits, ONESTOPBIT);
  EXPECT_FALSE(d.fOutxCtsFlow || d.fOutX || d.fInX);

  port.ApplySettings(9600, 8, 'N', 2, true, false);
  ASSERT_EQ(port.LastError(), 0) << port.LastErrorDesc();
  ASSERT_TRUE(GetCommState(h, &d));
  EXPECT_EQ(d.BaudRate, 9600u);
  EXPECT_EQ(d.StopBits, TWOSTOPBITS);
  EXPECT_TRUE(d.fOutX && d.fInX);
  EXPECT_FALSE(d.fOutxCtsFlow);

  port.ApplySettings(19200, 8, 'N', 0, false, true);
  ASSERT_EQ(port.LastError(), 0) << port.LastErrorDesc();
  ASSERT_TRUE(GetCommState(h, &d));
  EXPECT_EQ(d.BaudRate, 19200u);
  EXPECT_TRUE(d.fOutxCtsFlow);
  EXPECT_FALSE(d.fOutX || d.fInX);
  EXPECT_TRUE(port.RTS());
}

}  // namespace
}  // namespace bilhetor::serial_test
