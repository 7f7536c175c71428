// The Linux side of the serial port: a terminal device, opened non-blocking
// and waited on with poll.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <linux/serial.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "transport/ReadLoop.h"
#include "transport/SerialLine.h"
#include "transport/SerialPort.h"
#include "transport/SerialSettingsPosix.h"
#include "transport/SerialSpeed.h"

namespace bilhetor::transport_detail {

static_assert(TSerialPort::ModemCTS == TIOCM_CTS && TSerialPort::ModemDSR == TIOCM_DSR &&
              TSerialPort::ModemRing == TIOCM_RNG && TSerialPort::ModemCarrier == TIOCM_CAR);

std::string SystemErrorText(int code) {
  char buf[256];
  // GNU strerror_r: returns the message (possibly not in buf).
  return std::string(strerror_r(code, buf, sizeof buf));
}

namespace {

// Waits up to timeout ms for events on fd; false on time-out. revents gets
// what poll reported.
bool WaitFor(int fd, short events, int timeout, short* revents) {
  if (revents) *revents = 0;
  const int64_t deadline = NowMs() + std::max(timeout, 0);
  for (;;) {
    pollfd p {fd, events, 0};
    const int64_t remaining = std::max<int64_t>(deadline - NowMs(), 0);
    const int rc = poll(&p, 1, static_cast<int>(remaining));
    if (rc < 0 && errno == EINTR) continue;
    if (revents) *revents = rc > 0 ? p.revents : 0;
    return rc > 0;
  }
}

}  // namespace

std::string SerialLine::SystemName(const std::string& port, int comNumber) {
  if (comNumber >= 1) return "/dev/ttyS" + std::to_string(comNumber - 1);
  if (port.size() > 4 && port.starts_with("\\\\.\\")) return "/dev/" + port.substr(4);
  return port;
}

SerialLine::~SerialLine() { Close(); }

int SerialLine::Open(const std::string& name, bool lock, int /*queueSize*/) {
  // Only terminals are opened: a name that is not a character device fails
  // with ENOTTY before anything is opened, so that a port name can never
  // open (or create) an ordinary file.
  struct stat st {};
  if (stat(name.c_str(), &st) != 0) return errno;
  if (!S_ISCHR(st.st_mode)) return ENOTTY;
  const int fd = open(name.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno;
  handle_ = fd;
  int err = 0;
  termios t {};
  if (tcgetattr(fd, &t) != 0) {
    err = errno;
  } else if (lock && flock(fd, LOCK_EX | LOCK_NB) != 0) {
    err = (errno == EWOULDBLOCK) ? TSerialPort::ErrAlreadyOwned : errno;
  } else {
    // No sharing: further opens of the terminal fail (except for root).
    ioctl(fd, TIOCEXCL);
    // Binary mode: no line editing, echo, signals or byte translation;
    // the line settings (speed, size, parity, stop bits, flow control)
    // stay as they are until ApplySettings.
    t.c_iflag &= IXON | IXOFF | INPCK;
    t.c_oflag = 0;
    t.c_lflag = 0;
    t.c_cflag |= CREAD | CLOCAL;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    if (tcsetattr(fd, TCSANOW, &t) != 0) err = errno;
  }
  if (err != 0) Close();
  return err;
}

void SerialLine::Close() {
  if (handle_ == kNoHandle) return;
  const int fd = static_cast<int>(handle_);
  // The exclusive mark outlives this descriptor on some terminals (a pty
  // stays while its master is open); drop it so the port can be reopened.
  ioctl(fd, TIOCNXCL);
  close(fd);
  handle_ = kNoHandle;
}

int SerialLine::Apply(const LineSettings& settings, int /*queueSize*/) {
  const int fd = static_cast<int>(handle_);
  termios t {};
  tcgetattr(fd, &t);
  const int invalid = BuildLineSettings(t, settings);
  if (invalid != 0) return invalid;
  int result = tcsetattr(fd, TCSANOW, &t);
  if (result == 0 && StandardSpeed(settings.baud) == 0) result = SetArbitrarySpeed(fd, settings.baud);
  return result == 0 ? 0 : errno;
}

namespace {

void SetModemBit(intptr_t handle, int bit, bool on) {
  if (handle < 0) return;
  ioctl(static_cast<int>(handle), on ? TIOCMBIS : TIOCMBIC, &bit);
}

}  // namespace

void SerialLine::SetRTS(bool on) { SetModemBit(handle_, TIOCM_RTS, on); }
void SerialLine::SetDTR(bool on) { SetModemBit(handle_, TIOCM_DTR, on); }

int SerialLine::ModemStatus() {
  int bits = 0;
  if (handle_ < 0 || ioctl(static_cast<int>(handle_), TIOCMGET, &bits) != 0) bits = 0;
  return bits;
}

int SerialLine::BytesWaiting() {
  int n = 0;
  if (handle_ < 0 || ioctl(static_cast<int>(handle_), FIONREAD, &n) != 0) return 0;
  return n;
}

int SerialLine::OutputQueued() {
  int n = 0;
  if (handle_ < 0 || ioctl(static_cast<int>(handle_), TIOCOUTQ, &n) != 0) return 0;
  return n;
}

int SerialLine::PendingOutput() {
  if (handle_ < 0) return 0;
  const int queued = OutputQueued();
  if (queued > 0) return queued;
  // The queue is empty once the driver has moved its last bytes into the
  // UART; they have left the port when the transmitter is empty too.
  // Drivers that cannot tell (USB adapters, pseudo-terminals) refuse this.
  unsigned int lsr = 0;
  if (ioctl(static_cast<int>(handle_), TIOCSERGETLSR, &lsr) == 0 && (lsr & TIOCSER_TEMT) == 0) return 1;
  return 0;
}

int SerialLine::FlushInput() {
  if (handle_ < 0) return EBADF;
  return tcflush(static_cast<int>(handle_), TCIFLUSH) == 0 ? 0 : errno;
}

int SerialLine::FlushOutput() {
  if (handle_ < 0) return EBADF;
  return tcflush(static_cast<int>(handle_), TCOFLUSH) == 0 ? 0 : errno;
}

int SerialLine::Write(const char* data, int n, int waitMs, int& err) {
  err = 0;
  const int fd = static_cast<int>(handle_);
  const int64_t deadline = NowMs() + std::max(waitMs, 0);
  for (;;) {
    const ssize_t w = write(fd, data, static_cast<size_t>(n));
    if (w > 0) return static_cast<int>(w);
    if (w < 0 && errno == EINTR) continue;
    if (w < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
      err = errno;
      return -1;
    }
    const int remaining = static_cast<int>(std::max<int64_t>(deadline - NowMs(), 0));
    if (remaining == 0 || !WaitFor(fd, POLLOUT, remaining, nullptr)) return 0;
  }
}

int SerialLine::Read(char* data, int n, int waitMs, int& err) {
  err = 0;
  const int fd = static_cast<int>(handle_);
  const int64_t deadline = NowMs() + std::max(waitMs, 0);
  for (;;) {
    const ssize_t r = read(fd, data, static_cast<size_t>(n));
    if (r > 0) return static_cast<int>(r);
    if (r == 0) {
      // End of file on a terminal: the other end has hung up.
      err = TSerialPort::ErrReadFailed;
      return -1;
    }
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) {
      err = errno;
      return -1;
    }
    const int remaining = static_cast<int>(std::max<int64_t>(deadline - NowMs(), 0));
    if (remaining == 0 || !WaitFor(fd, POLLIN, remaining, nullptr)) return 0;
  }
}

SerialLine::Readiness SerialLine::WaitReadable(int waitMs) {
  if (handle_ < 0) return Readiness::TimedOut;
  short rev = 0;
  if (!WaitFor(static_cast<int>(handle_), POLLIN, waitMs, &rev)) return Readiness::TimedOut;
  // A hung-up terminal stays "readable" with nothing to read.
  if ((rev & (POLLHUP | POLLERR | POLLNVAL)) != 0) return Readiness::HungUp;
  return Readiness::Ready;
}

int SerialLine::LineErrors() {
  serial_icounter_struct ic {};
  if (handle_ < 0 || ioctl(static_cast<int>(handle_), TIOCGICOUNT, &ic) != 0) return 0;
  int code = 0;
  if (ic.frame != frame_) code = TSerialPort::ErrFrame;
  if (ic.overrun != overrun_) code = TSerialPort::ErrOverrun;
  if (ic.buf_overrun != bufOverrun_) code = TSerialPort::ErrRxOver;
  if (ic.parity != parity_) code = TSerialPort::ErrRxParity;
  frame_ = ic.frame;
  overrun_ = ic.overrun;
  bufOverrun_ = ic.buf_overrun;
  parity_ = ic.parity;
  return code;
}

}  // namespace bilhetor::transport_detail
