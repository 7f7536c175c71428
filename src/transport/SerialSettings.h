#pragma once
// Line settings of a serial port as TSerialPort::ApplySettings takes them,
// and the check that comes before any of them reaches the driver. Each
// platform turns them into its driver's terms: SerialSettingsPosix.h
// (termios flags) and SerialSettingsWin32.h (a DCB), kept apart so the
// translation can be checked on its own (pseudo-terminals force 8 data bits
// and no parity whatever they are told).

namespace bilhetor::transport_detail {

struct LineSettings {
  int baud = 9600;      // bits per second
  int bits = 8;         // data bits, 5..8
  char parity = 'N';    // N, O, E, M or S (either case); other letters keep the line's parity
  int stop = 0;         // 0 one, 1 one and a half, 2 two stop bits
  bool softFlow = false;  // XON/XOFF
  bool hardFlow = false;  // RTS/CTS
};

// False for values no line can take: a speed of 0 or less, data bits other
// than 5..8, a stop bit setting other than 0..2.
bool ValidLineSettings(const LineSettings& s);

// XON and XOFF as the port sends and obeys them.
constexpr char kXon = 17;
constexpr char kXoff = 19;

}  // namespace bilhetor::transport_detail
