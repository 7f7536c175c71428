#pragma once
// What the serial port tests share: the fixture on a socat pty pair, and the
// few facts each platform answers differently (SerialPortTestPosix.cpp,
// SerialPortTestWin32.cpp).
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

#include "support/SocatPty.h"
#include "transport/SerialPort.h"

namespace bilhetor::serial_test {

using Clock = std::chrono::steady_clock;

inline long ElapsedMs(Clock::time_point since) {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

class SerialPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (testing::SocatPath().empty()) FAIL() << testing::kSocatMissing;
    pty = std::make_unique<testing::SocatPty>();
  }

  // Opens the port end; fails the test when that does not work.
  void Open(TSerialPort& port) {
    port.Connect(pty->PortName());
    ASSERT_EQ(port.LastError(), 0) << port.LastErrorDesc();
    ASSERT_TRUE(port.InstanceActive());
  }

  std::unique_ptr<testing::SocatPty> pty;
};

// A port name that names nothing on this machine.
extern const char* const kMissingPort;
// A device of the system that is no serial port.
extern const char* const kNullDevice;
// The system's error for a name that is no serial port.
extern const int kNotAPort;
// The system's error for line settings no line can take.
extern const int kRefusedSettings;
// The line settings of an open port as its driver holds them, as text to
// compare.
std::string DriverSettings(const TSerialPort& port);

}  // namespace bilhetor::serial_test
