#pragma once
// The serial side of the engine tests, per platform (SerialTestePosix.cpp,
// SerialTesteWin32.cpp).
#include <string>

#include "device/Device.h"
#include "support/SocatPty.h"
#include "support/TestSupport.h"

namespace bilhetor {

// Why the simulated printer has no serial side here, or nullptr: it starts
// socat itself on Linux; under Wine the pairs are made beforehand and the
// simulator cannot hold one. Tests of it skip with this reason.
const char* SerialSimuladaIndisponivel();

// Points the device at the pty's port end and returns the port name it was
// given: COM1 through a link <dir>/ttyS0 on Linux, the pair's own COM name
// under Wine.
std::string LigarAoPty(const testing::SocatPty& pty, TDevice& dev, const testing::TempDir& dir);

}  // namespace bilhetor
