#include "transport/SerialSettingsWin32.h"

#include <algorithm>

namespace bilhetor::transport_detail {

void BinaryMode(DCB& d) {
  d.fBinary = TRUE;
  d.fOutxDsrFlow = FALSE;
  d.fDsrSensitivity = FALSE;
  d.fErrorChar = FALSE;
  d.fNull = FALSE;
  d.fAbortOnError = FALSE;
  d.XonChar = kXon;
  d.XoffChar = kXoff;
}

int BuildDcb(DCB& d, const LineSettings& s, int queueSize) {
  if (!ValidLineSettings(s)) return ERROR_INVALID_PARAMETER;
  d.BaudRate = static_cast<DWORD>(s.baud);
  d.ByteSize = static_cast<BYTE>(s.bits);
  switch (s.parity) {
    case 'N': case 'n': d.Parity = NOPARITY; break;
    case 'O': case 'o': d.Parity = ODDPARITY; break;
    case 'E': case 'e': d.Parity = EVENPARITY; break;
    case 'M': case 'm': d.Parity = MARKPARITY; break;
    case 'S': case 's': d.Parity = SPACEPARITY; break;
    default: break;  // the parity read from the port
  }
  d.fParity = d.Parity != NOPARITY;
  // A UART sends one and a half stop bits when two are asked for with 5
  // data bits; the driver takes 1.5 only with 5 data bits and 2 only with
  // more, so "one and a half" and "two" both become what the size allows.
  d.StopBits = s.stop == 0 ? ONESTOPBIT : (s.bits == 5 ? ONE5STOPBITS : TWOSTOPBITS);
  BinaryMode(d);
  d.fOutxCtsFlow = s.hardFlow;
  d.fRtsControl = s.hardFlow ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
  d.fDtrControl = DTR_CONTROL_ENABLE;
  d.fOutX = s.softFlow;
  d.fInX = s.softFlow;
  d.fTXContinueOnXoff = TRUE;
  const WORD limit = static_cast<WORD>(std::clamp(queueSize / 4, 1, 0xFFFF));
  d.XonLim = limit;
  d.XoffLim = limit;
  return 0;
}

}  // namespace bilhetor::transport_detail
