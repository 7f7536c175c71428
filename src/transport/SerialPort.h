#pragma once
// TSerialPort: a blocking serial port. Every call returns when its work is
// done, has failed or has run into its time-out; a stuck device never blocks
// longer than DeadlockTimeout (writes, raw reads) or the caller's time-out
// (reads). Failures are recorded as LastError/LastErrorDesc and raised as
// ESerialError only when RaiseExcept is true.
//
// On Linux the port is a terminal device driven through termios and poll:
//   "COMn"       opens /dev/ttyS{n-1}; n is a plain decimal number from 1
//                (ComPortNumber), so "COM1 ", "COM+1" or "COM0" are no COM
//                names and are opened as they stand
//   "\\.\NAME"   opens /dev/NAME
//   other names  are opened as they stand (/dev/ttyUSB0, /dev/pts/3, ...)
// and must name a terminal; anything else fails with the system's error.
// On Windows the port is a COM port driven through the communications
// functions: "COMn" opens \\.\COMn (the form every COM number needs, COM10
// and above included), other names are opened as they stand and must name a
// communications device. Error numbers of the system are errno values on
// Linux and GetLastError values on Windows.
//
// A write returns when its bytes have left the port, not when the driver has
// queued them: the driver's output queue is drained (and, where the driver
// tells, the transmitter too) before WriteBuffer returns, and a line that
// stops taking bytes for DeadlockTimeout ms ends the write with 9997. So
// nothing of ours is ever left in the output queue, and closing the port or
// clearing its buffers discards only input.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/Exception.h"

namespace bilhetor {

// Raised by TSerialPort when RaiseExcept is true.
// Message: "Communication error %d: %s" with ErrorCode and ErrorMessage.
class ESerialError : public Exception {
 public:
  ESerialError(int errorCode, const std::string& errorMessage);

  int ErrorCode() const noexcept { return errorCode_; }
  const std::string& ErrorMessage() const noexcept { return errorMessage_; }

 private:
  int errorCode_;
  std::string errorMessage_;
};

class TSerialPort;

namespace transport_detail {
class SerialLine;
}

enum class TSerialStatusReason {
  HR_SerialClose,  // Value: the device name
  HR_Connect,      // Value: the device name
  HR_CanRead,      // Value: empty
  HR_CanWrite,     // Value: empty
  HR_ReadCount,    // Value: bytes read, in decimal
  HR_WriteCount,   // Value: bytes written, in decimal
  HR_Wait,         // Value: milliseconds about to be waited by the bandwidth limit
};

using TSerialStatusHook =
    std::function<void(TSerialPort& Sender, TSerialStatusReason Reason, const std::string& Value)>;

class TSerialPort {
 public:
  // Error codes of the port (operating system codes are stored as they are).
  static constexpr int ErrAlreadyOwned = 9991;    // "Port owned by other process"
  static constexpr int ErrAlreadyInUse = 9992;    // "Instance already in use"
  static constexpr int ErrWrongParameter = 9993;  // "Wrong parameter at call"
  static constexpr int ErrPortNotOpen = 9994;     // "Instance not yet connected"
  static constexpr int ErrNoDeviceAnswer = 9995;  // "No device answer detected"
  static constexpr int ErrMaxBuffer = 9996;       // "Maximal buffer length exceeded"
  static constexpr int ErrTimeout = 9997;         // "Timeout during operation"
  static constexpr int ErrReadFailed = 9998;      // "Reading of data failed"
  static constexpr int ErrFrame = 9999;           // "Receive framing error"
  static constexpr int ErrOverrun = 10000;        // "Receive Overrun Error"
  static constexpr int ErrRxOver = 10001;         // "Receive Queue overflow"
  static constexpr int ErrRxParity = 10002;       // "Receive Parity Error"
  static constexpr int ErrTxFull = 10003;         // "Tranceive Queue is full"

  static constexpr int InvalidHandle = -1;

  // Modem status bits of ModemStatus (the values of Linux's TIOCM_* bits).
  static constexpr int ModemCarrier = 0x040;
  static constexpr int ModemRing = 0x080;
  static constexpr int ModemCTS = 0x020;
  static constexpr int ModemDSR = 0x100;

  TSerialPort();
  ~TSerialPort();  // runs CloseSocket
  TSerialPort(const TSerialPort&) = delete;
  TSerialPort& operator=(const TSerialPort&) = delete;

  // Description of an error code: the table above, "OK" for 0, the
  // operating system's text for any other code.
  static std::string GetErrorDesc(int ErrorCode);

  // The number n of a name "COM" + n (any case; n a plain decimal number of
  // at most six digits, from 1), or 0 when Port is no such name. The device
  // maps COM names with this same rule, so both open the same thing.
  static int ComPortNumber(const std::string& Port);
  // The system name Connect opens for a port name (see above).
  static std::string SystemDeviceName(const std::string& Port);

  // --- opening and closing -------------------------------------------------
  void Connect(const std::string& Port);
  void CloseSocket();
  bool InstanceActive() const { return instanceActive_; }

  // --- line settings ---------------------------------------------------------
  // Baud: bits per second (any value the driver accepts); Bits: 5..8;
  // Parity: N, O, E, M or S (either case; other letters keep the current
  // parity); Stop: 0 one, 1 one and a half, 2 two stop bits.
  void ApplySettings(int Baud, int Bits, char Parity, int Stop, bool SoftFlow, bool HardFlow);

  // Modem lines. The setters drive the line; the getters of RTS and DTR give
  // the last state asked for, CTS/DSR/Ring/Carrier read the modem status
  // (off when the device has no modem lines, like a pseudo-terminal).
  void SetRTS(bool Value);
  bool RTS() const { return rts_; }
  void SetDTR(bool Value);
  bool DTR() const { return dtr_; }
  bool CTS();
  bool DSR();
  bool Ring();
  bool Carrier();
  int ModemStatus();  // Modem* bits; 0 when the device has no modem lines

  // --- transfers -------------------------------------------------------------
  int WriteBuffer(const void* Data, int Length);
  void SendString(const std::string& Data);  // WriteBuffer over all bytes of Data
  void SendByte(uint8_t Data);
  void SendInteger(int32_t Data);             // four bytes, least significant first
  void SendBlock(const std::string& Data);    // SendInteger(length) then the bytes

  std::string ReadExactly(int Count, int Timeout);
  std::string ReadAvailable(int Timeout);
  std::string ReadUntil(int Timeout, const std::string& Terminator);
  uint8_t ReadOneByte(int Timeout);           // 0 on error
  std::string ReadLine(int Timeout);          // up to CR LF; empty on error
  int32_t ReadInteger(int Timeout);           // four bytes, least significant first
  std::string ReadBlock(int Timeout);         // a block written by SendBlock

  // Modem commands: sends Value + CR and collects the CR LF terminated reply
  // lines (with ConvertLineEnd on meanwhile). ATCommand waits AtTimeout per
  // line until "OK" (ATResult true) or "ERROR"; ATConnect waits 90 x
  // AtTimeout per line until "CONNECT" (ATResult true) or "NO CARRIER",
  // "ERROR", "BUSY", "NO DIALTONE". Returns the lines read, each followed
  // by CR LF.
  std::string ATCommand(const std::string& Value);
  std::string ATConnect(const std::string& Value);
  bool ATResult() const { return atResult_; }

  // Bytes in the driver's input queue.
  int BytesWaiting();
  // BytesWaiting plus the bytes held in LineBuffer.
  int WaitingDataEx();
  // Bytes still queued for output.
  int SendingData();
  // Waits up to Timeout ms until a byte can be read / the output is drained.
  bool WaitReadable(int Timeout);
  bool WaitWritable(int Timeout);

  // Discards the input: what the driver holds and LineBuffer. The output
  // queue holds nothing of ours (every write has drained it), and what a
  // driver still passes on to the other end is not thrown away.
  void ClearBuffers();
  void Flush();  // waits until the output queue has been sent

  // --- properties ------------------------------------------------------------
  int Tag() const { return tag_; }
  void SetTag(int v) { tag_ = v; }
  // The open device: a descriptor on Linux, a HANDLE on Windows;
  // InvalidHandle when closed.
  intptr_t Handle() const;
  const std::string& LineBuffer() const { return lineBuffer_; }
  void SetLineBuffer(const std::string& v) { lineBuffer_ = v; }
  bool RaiseExcept() const { return raiseExcept_; }
  void SetRaiseExcept(bool v) { raiseExcept_ = v; }
  const TSerialStatusHook& OnStatus() const { return onStatus_; }
  void SetOnStatus(TSerialStatusHook v) { onStatus_ = std::move(v); }
  bool TestDSR() const { return testDSR_; }
  void SetTestDSR(bool v) { testDSR_ = v; }
  bool TestCTS() const { return testCTS_; }
  void SetTestCTS(bool v) { testCTS_ = v; }
  int MaxLineLength() const { return maxLineLength_; }
  void SetMaxLineLength(int v) { maxLineLength_ = v; }
  int DeadlockTimeout() const { return deadlockTimeout_; }
  void SetDeadlockTimeout(int v) { deadlockTimeout_ = v; }
  // Mark the device as taken while it is open, so two programs that both
  // lock never share a port: an advisory exclusive lock (flock) on Linux, a
  // named mutex of the port on Windows (where the driver refuses a second
  // open by itself as well).
  bool LinuxLock() const { return linuxLock_; }
  void SetLinuxLock(bool v) { linuxLock_ = v; }
  bool ConvertLineEnd() const { return convertLineEnd_; }
  void SetConvertLineEnd(bool v) { convertLineEnd_ = v; }
  int AtTimeout() const { return atTimeout_; }
  void SetAtTimeout(int v) { atTimeout_ = v; }
  bool InterPacketTimeout() const { return interPacketTimeout_; }
  void SetInterPacketTimeout(bool v) { interPacketTimeout_ = v; }

  const std::string& DeviceName() const { return deviceName_; }
  int ComNumber() const { return comNumber_; }
  int LastError() const { return lastError_; }
  const std::string& LastErrorDesc() const { return lastErrorDesc_; }
  int MaxSendBandwidth() const { return maxSendBandwidth_; }
  void SetMaxSendBandwidth(int v) { maxSendBandwidth_ = v; }
  int MaxRecvBandwidth() const { return maxRecvBandwidth_; }
  void SetMaxRecvBandwidth(int v) { maxRecvBandwidth_ = v; }
  // Sets MaxSendBandwidth and MaxRecvBandwidth together.
  void SetMaxBandwidth(int v) { maxSendBandwidth_ = maxRecvBandwidth_ = v; }
  int RecvBufferSize() const { return recvBufferSize_; }
  // Size asked for the driver's input queue; also sets the XON and XOFF
  // limits to a quarter of it. Given to the driver at Connect on Windows;
  // stored on Linux (which has no per-port queue size).
  void SetRecvBufferSize(int v) { recvBufferSize_ = v; }
  bool RTSToggle() const { return rtsToggle_; }
  void SetRTSToggle(bool v) { rtsToggle_ = v; }

 private:
  void SetError(int code);
  void RaiseIfError();
  void FailWith(int code);
  void ReportStatus(TSerialStatusReason reason, const std::string& value);
  bool DeviceAnswers();
  bool NotReady();
  void LimitRate(int length, int max, int64_t& nextMark);
  // Waits until PendingOutput is 0; gives up when it has not gone down for
  // stallMs ms, or when limitMs (>= 0) has passed. Returns what is pending.
  int WaitSent(int stallMs, int limitMs);
  int ReadRaw(std::string& into, int length);
  std::string ReadAvailableQuiet(int Timeout);
  void CheckLineErrors();
  void CloseHandle();
  std::string ModemExchange(const std::string& value, int lineTimeout,
                            const std::vector<std::string>& success,
                            const std::vector<std::string>& failure);

  int tag_ = 0;
  std::unique_ptr<transport_detail::SerialLine> line_;
  std::string lineBuffer_;
  bool raiseExcept_ = false;
  TSerialStatusHook onStatus_;
  bool testDSR_ = false;
  bool testCTS_ = false;
  int maxLineLength_ = 0;
  int deadlockTimeout_ = 30000;
  bool linuxLock_ = true;
  bool convertLineEnd_ = false;
  int atTimeout_ = 1000;
  bool interPacketTimeout_ = true;

  std::string deviceName_;
  int comNumber_ = -1;
  bool instanceActive_ = false;
  int lastError_ = 0;
  std::string lastErrorDesc_;
  int maxSendBandwidth_ = 0;
  int maxRecvBandwidth_ = 0;
  int64_t nextSend_ = 0;
  int64_t nextRecv_ = 0;
  int recvBufferSize_ = 4096;
  bool rtsToggle_ = false;
  bool rts_ = false;
  bool dtr_ = false;
  int modemWord_ = 0;
  bool atResult_ = false;
  bool lastCR_ = false;  // the last ConvertLineEnd read ended on a lone CR
  bool lastLF_ = false;  // ... on a lone LF
};

}  // namespace bilhetor
