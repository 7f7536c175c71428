#pragma once
// What the device's file and parallel port tests share: a fixture with a
// device on a spooler of its own and a clock that stands still. The
// Linux-only cases (FIFOs standing in for /dev/lp*, the Linux printer device
// names) are in DeviceFileTestPosix.cpp.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "DeviceTestSupport.h"
#include "device/Device.h"

namespace bilhetor {

class DeviceFileTest : public ::testing::Test {
 protected:
  DeviceFileTest() : clock(std::make_shared<testing::StillClock>()), dev(std::make_shared<testing::ListSpooler>(), clock) {}
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
  TDevice dev;
};

}  // namespace bilhetor
