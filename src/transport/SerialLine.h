#pragma once
// The operating system's side of a serial port, private to src/transport:
// opening and closing the device, the line settings, the modem lines, the
// driver's queues and the plain reads and writes. TSerialPort builds its
// time-outs, bandwidth limits and collecting reads on top of it. One
// implementation per platform: SerialLinePosix.cpp (a terminal device driven
// through termios, ioctl and poll) and SerialLineWin32.cpp (a COM port
// driven through the communications functions).
//
// Errors are returned as numbers: the system's own (errno values on Linux,
// GetLastError values on Windows) or the port's codes of TSerialPort.
#include <cstdint>
#include <string>

#include "transport/SerialSettings.h"

namespace bilhetor::transport_detail {

// The system's text for one of its error numbers.
std::string SystemErrorText(int code);

class SerialLine {
 public:
  SerialLine() = default;
  ~SerialLine();  // closes
  SerialLine(const SerialLine&) = delete;
  SerialLine& operator=(const SerialLine&) = delete;

  // The device a port name opens (see TSerialPort::SystemDeviceName).
  static std::string SystemName(const std::string& port, int comNumber);

  // Opens a serial device for reading and writing, in binary mode, with the
  // line settings it has; with lock, no other Bilhetor port may take it
  // while it is open (ErrAlreadyOwned). A name that is no serial device
  // fails without being opened for writing. queueSize is the size asked for
  // the driver's input queue, where the system has one. Returns 0 or the
  // error.
  int Open(const std::string& name, bool lock, int queueSize);
  void Close();
  bool IsOpen() const { return handle_ != kNoHandle; }
  // The descriptor (Linux) or HANDLE (Windows), kNoHandle when closed.
  intptr_t Handle() const { return handle_; }

  // Applies checked settings (ValidLineSettings); returns 0 or the error.
  int Apply(const LineSettings& settings, int queueSize);

  // Drives RTS or DTR. Devices without modem lines (pseudo-terminals) refuse
  // it; that is no error of the port.
  void SetRTS(bool on);
  void SetDTR(bool on);
  // The modem status as TSerialPort::Modem* bits; 0 when the device has none.
  int ModemStatus();

  // Bytes in the driver's input queue; bytes still queued for output.
  int BytesWaiting();
  int OutputQueued();
  // OutputQueued, or 1 while the queue is empty but the transmitter still
  // sends (where the driver tells).
  int PendingOutput();

  // Discards the driver's input / output queue; returns 0 or the error.
  int FlushInput();
  int FlushOutput();

  // Writes what the line takes of n bytes, waiting up to waitMs for it to
  // take any. Returns the bytes taken (0 when it took none in time), or -1
  // with err set.
  int Write(const char* data, int n, int waitMs, int& err);
  // Reads what has arrived, up to n bytes, waiting up to waitMs for a first
  // byte. Returns the bytes read (0 when none came in time), or -1 with err
  // set (ErrReadFailed when the other end has hung up).
  int Read(char* data, int n, int waitMs, int& err);

  enum class Readiness { Ready, TimedOut, HungUp };
  // Waits up to waitMs until a byte can be read, or the line has hung up.
  Readiness WaitReadable(int waitMs);

  // The port's code of a receive error seen since the last call (framing,
  // overrun, queue overflow, parity; the last in that order wins), or 0.
  int LineErrors();

 private:
  static constexpr intptr_t kNoHandle = -1;
  intptr_t handle_ = kNoHandle;
  intptr_t lock_ = kNoHandle;  // the cross-process mark of a locked port (Windows)
  // Line error counters seen last (Linux) / error flags gathered from the
  // driver and not yet reported (Windows).
  int frame_ = 0, overrun_ = 0, bufOverrun_ = 0, parity_ = 0;
  unsigned errorFlags_ = 0;
  // The read time-out last given to the driver (Windows), -2 when unknown.
  int readWait_ = -2;
  int writeWait_ = -2;
};

}  // namespace bilhetor::transport_detail
