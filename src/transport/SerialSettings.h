#pragma once
// Line settings of a serial port as termios flags: the translation behind
// TSerialPort::ApplySettings, kept apart so it can be checked on its own
// (pseudo-terminals force 8 data bits and no parity whatever they are told).
#include <termios.h>

namespace bilhetor::transport_detail {

// The termios constant of a standard speed; 0 when there is none.
speed_t StandardSpeed(int baud);

// Fills t (read from the port before) with the settings: baud (its constant
// when it has one; other speeds are left to SetArbitrarySpeed), 5..8 data
// bits, parity letter N/O/E/M/S (other letters keep t's parity), stop 0 one,
// 1 one and a half, 2 two stop bits, XON/XOFF and RTS/CTS flow control; raw
// binary mode otherwise. Returns 0, or EINVAL (t unchanged) for values the
// line cannot take.
int BuildLineSettings(termios& t, int baud, int bits, char parity, int stop, bool softFlow,
                      bool hardFlow);

}  // namespace bilhetor::transport_detail
