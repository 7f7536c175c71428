#include "transport/SerialSettingsPosix.h"

#include <cerrno>

namespace bilhetor::transport_detail {

speed_t StandardSpeed(int baud) {
  switch (baud) {
    case 50: return B50;
    case 75: return B75;
    case 110: return B110;
    case 134: return B134;
    case 150: return B150;
    case 200: return B200;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 1800: return B1800;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    case 500000: return B500000;
    case 576000: return B576000;
    case 921600: return B921600;
    case 1000000: return B1000000;
    case 1152000: return B1152000;
    case 1500000: return B1500000;
    case 2000000: return B2000000;
    case 2500000: return B2500000;
    case 3000000: return B3000000;
    case 3500000: return B3500000;
    case 4000000: return B4000000;
    default: return 0;
  }
}

int BuildLineSettings(termios& t, const LineSettings& s) {
  if (!ValidLineSettings(s)) return EINVAL;
  const auto [baud, bits, parity, stop, softFlow, hardFlow] = s;

  const speed_t standard = StandardSpeed(baud);
  if (standard != 0) {
    cfsetispeed(&t, standard);
    cfsetospeed(&t, standard);
  }
  tcflag_t cflag = t.c_cflag & (CBAUD | CBAUDEX | CIBAUD);
  static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
  cflag |= kSizes[bits - 5];

  // Parity as read from the port, unless the letter names another one.
  tcflag_t parityFlags = t.c_cflag & (PARENB | PARODD | CMSPAR);
  switch (parity) {
    case 'N': case 'n': parityFlags = 0; break;
    case 'O': case 'o': parityFlags = PARENB | PARODD; break;
    case 'E': case 'e': parityFlags = PARENB; break;
    case 'M': case 'm': parityFlags = PARENB | CMSPAR | PARODD; break;
    case 'S': case 's': parityFlags = PARENB | CMSPAR; break;
    default: break;
  }
  cflag |= parityFlags;
  // One and a half stop bits: a UART sends 1.5 when two are asked for with
  // 5 data bits; there is no separate setting.
  if (stop != 0) cflag |= CSTOPB;
  if (hardFlow) cflag |= CRTSCTS;
  cflag |= CREAD | CLOCAL;

  tcflag_t iflag = 0;
  if (softFlow) iflag |= IXON | IXOFF;
  if ((parityFlags & PARENB) != 0) iflag |= INPCK;

  t.c_cflag = cflag;
  t.c_iflag = iflag;
  t.c_oflag = 0;
  t.c_lflag = 0;
  t.c_cc[VSTART] = kXon;
  t.c_cc[VSTOP] = kXoff;
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  return 0;
}

}  // namespace bilhetor::transport_detail
