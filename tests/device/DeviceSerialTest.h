#pragma once
// What the device's serial tests share: a fixture with a socat pty pair
// that the device reaches by a COM name, and how each platform makes that
// name (DeviceSerialTestPosix.cpp, DeviceSerialTestWin32.cpp).
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "DeviceTestSupport.h"
#include "device/Device.h"
#include "support/SocatPty.h"

namespace bilhetor {

// The COM name under which a device set up by UsarPastaDoTeste reaches the
// pty's port end: COMn through a link <dir>/ttyS{n-1} on Linux; the pair's
// own COM name under Wine (n is not used there).
std::string PortaDoPty(const testing::SocatPty& pty, const testing::TempDir& dir, int n);
// Points the device at the test's folder of device files on Linux; leaves
// the system's own on Windows.
void UsarPastaDoTeste(TDevice& dev, const testing::TempDir& dir);

// A separation ticket of about `size` bytes, as the Epson command set sends
// it: initialization, bold lines, item lines, feed and cut.
inline std::string Ticket(size_t size) {
  std::string t = std::string("\x1B@\x1B!\x38MAPA DE SEPARACAO\x1B!") + '\0' + "\n";
  for (int i = 1; t.size() + 6 < size; ++i) t += "  " + std::to_string(i) + " x PRODUTO " + std::to_string(i * 37) + "\n";
  t.resize(size - 6, '-');
  return t + "\n\x1DV\x41\x03\n";
}

class DeviceSerialTest : public ::testing::Test {
 protected:
  DeviceSerialTest() : clock(std::make_shared<testing::StillClock>()) {
    pty = std::make_unique<testing::SocatPty>();
    porta = PortaDoPty(*pty, dir, 1);
    dev = NewDevice();
  }
  std::unique_ptr<TDevice> NewDevice() {
    auto d = std::make_unique<TDevice>(std::make_shared<testing::ListSpooler>(), clock);
    UsarPastaDoTeste(*d, dir);
    return d;
  }
  void Link(const std::string& name, const std::string& target) {
    std::filesystem::remove(dir / name);
    std::filesystem::create_symlink(target, dir / name);
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
  testing::TempDir dir;
  std::shared_ptr<testing::StillClock> clock;
  std::unique_ptr<testing::SocatPty> pty;
  std::string porta;  // the COM name of the pty's port end
  std::unique_ptr<TDevice> dev;
};

}  // namespace bilhetor
