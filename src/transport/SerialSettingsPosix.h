#pragma once
// Line settings of a serial port as termios flags, for the Linux side of the
// port (SerialLinePosix.cpp) and its tests.
#include <termios.h>

#include "transport/SerialSettings.h"

namespace bilhetor::transport_detail {

// The termios constant of a standard speed; 0 when there is none.
speed_t StandardSpeed(int baud);

// Fills t (read from the port before) with the settings: the speed's
// constant when it has one (other speeds are left to SetArbitrarySpeed), the
// data bits, the parity (other letters keep t's parity), the stop bits,
// XON/XOFF and RTS/CTS flow control; raw binary mode otherwise. Returns 0,
// or EINVAL (t unchanged) for values the line cannot take.
int BuildLineSettings(termios& t, const LineSettings& s);

}  // namespace bilhetor::transport_detail
