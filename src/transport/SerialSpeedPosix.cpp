// Line speeds that termios has no constant for (14400, 56000, ...) are set
// with the kernel's termios2 interface. It lives in its own file because the
// kernel's termios structures clash with the C library's <termios.h>.
#include "transport/SerialSpeed.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace bilhetor::transport_detail {

int SetArbitrarySpeed(int fd, int baud) {
  struct termios2 t {};
  if (ioctl(fd, TCGETS2, &t) != 0) return -1;
  t.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
  t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
  t.c_ispeed = static_cast<speed_t>(baud);
  t.c_ospeed = static_cast<speed_t>(baud);
  return ioctl(fd, TCSETS2, &t);
}

int GetLineSpeed(int fd) {
  struct termios2 t {};
  if (ioctl(fd, TCGETS2, &t) != 0) return -1;
  return static_cast<int>(t.c_ospeed);
}

}  // namespace bilhetor::transport_detail
