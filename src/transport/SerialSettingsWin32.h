#pragma once
// Line settings of a serial port as a DCB, for the Windows side of the port
// (SerialLineWin32.cpp) and its tests.
#include <windows.h>

#include "transport/SerialSettings.h"

namespace bilhetor::transport_detail {

// Fills d (read from the port before) with the settings: speed, data bits,
// parity (other letters keep d's parity, and parity checking follows it),
// stop bits, XON/XOFF (with XON and XOFF limits of a quarter of queueSize)
// and RTS/CTS flow control; binary mode, DTR on, no DSR flow control or
// sensitivity, no byte replacement and no abort on errors. Returns 0, or
// ERROR_INVALID_PARAMETER (d unchanged) for values the line cannot take.
int BuildDcb(DCB& d, const LineSettings& s, int queueSize);

// The modes of a port just opened: d keeps its speed, data bits, parity,
// stop bits and flow control, and is put in the binary mode of BuildDcb.
void BinaryMode(DCB& d);

}  // namespace bilhetor::transport_detail
