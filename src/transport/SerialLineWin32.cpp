// The Windows side of the serial port: a COM port opened for plain
// (non-overlapped) reads and writes whose waits the driver bounds with the
// port's time-outs (COMMTIMEOUTS), set for each call.
#include <windows.h>

#include <algorithm>
#include <thread>

#include "common/ErroSistema.h"
#include "common/Strings.h"
#include "transport/ReadLoop.h"
#include "transport/SerialLine.h"
#include "transport/SerialPort.h"
#include "transport/SerialSettingsWin32.h"

namespace bilhetor::transport_detail {

std::string SystemErrorText(int code) { return DescricaoErroSistema(static_cast<unsigned long>(code)); }

namespace {

HANDLE H(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// The name of the mutex that marks a port as taken: one per device name, in
// the namespace every session sees.
std::string LockName(const std::string& device) {
  std::string name = UpperCase(device);
  std::replace(name.begin(), name.end(), '\\', '/');
  return "Global\\bilhetor-serial-" + name;
}

}  // namespace

std::string SerialLine::SystemName(const std::string& port, int comNumber) {
  if (comNumber >= 1) return "\\\\.\\COM" + std::to_string(comNumber);
  return port;
}

SerialLine::~SerialLine() { Close(); }

int SerialLine::Open(const std::string& name, bool lock, int queueSize) {
  if (name.empty()) return ERROR_FILE_NOT_FOUND;
  // A name that is a file or a folder is no port: refused before opening.
  const DWORD attributes = GetFileAttributesA(name.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DEVICE) == 0 &&
      !name.starts_with("\\\\.\\"))
    return ERROR_INVALID_FUNCTION;
  if (lock) {
    SetLastError(0);
    HANDLE mark = CreateMutexA(nullptr, FALSE, LockName(name).c_str());
    if (mark == nullptr) return static_cast<int>(GetLastError());
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
      CloseHandle(mark);
      return TSerialPort::ErrAlreadyOwned;
    }
    lock_ = reinterpret_cast<intptr_t>(mark);
  }
  HANDLE h = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const int err = static_cast<int>(GetLastError());
    Close();
    return err;
  }
  handle_ = reinterpret_cast<intptr_t>(h);
  readWait_ = writeWait_ = -2;
  errorFlags_ = 0;
  // Only communications devices are ports: anything else answers the
  // communications functions with an error.
  DCB d {};
  d.DCBlength = sizeof d;
  if (GetFileType(h) != FILE_TYPE_CHAR || !GetCommState(h, &d)) {
    Close();
    return ERROR_INVALID_FUNCTION;
  }
  SetupComm(h, static_cast<DWORD>(std::max(queueSize, 16)), static_cast<DWORD>(std::max(queueSize, 16)));
  // Binary mode; the line settings (speed, size, parity, stop bits, flow
  // control) stay as they are until ApplySettings.
  BinaryMode(d);
  int err = SetCommState(h, &d) ? 0 : static_cast<int>(GetLastError());
  COMMTIMEOUTS t {MAXDWORD, 0, 0, 0, 1};
  if (err == 0 && !SetCommTimeouts(h, &t)) err = static_cast<int>(GetLastError());
  readWait_ = 0;
  writeWait_ = 1;
  if (err != 0) Close();
  return err;
}

void SerialLine::Close() {
  if (handle_ != kNoHandle) CloseHandle(H(handle_));
  if (lock_ != kNoHandle) CloseHandle(H(lock_));
  handle_ = lock_ = kNoHandle;
}

int SerialLine::Apply(const LineSettings& settings, int queueSize) {
  DCB d {};
  d.DCBlength = sizeof d;
  if (!GetCommState(H(handle_), &d)) return static_cast<int>(GetLastError());
  const int invalid = BuildDcb(d, settings, queueSize);
  if (invalid != 0) return invalid;
  return SetCommState(H(handle_), &d) ? 0 : static_cast<int>(GetLastError());
}

void SerialLine::SetRTS(bool on) {
  if (handle_ != kNoHandle) EscapeCommFunction(H(handle_), on ? SETRTS : CLRRTS);
}

void SerialLine::SetDTR(bool on) {
  if (handle_ != kNoHandle) EscapeCommFunction(H(handle_), on ? SETDTR : CLRDTR);
}

int SerialLine::ModemStatus() {
  DWORD status = 0;
  if (handle_ == kNoHandle || !GetCommModemStatus(H(handle_), &status)) return 0;
  int bits = 0;
  if (status & MS_CTS_ON) bits |= TSerialPort::ModemCTS;
  if (status & MS_DSR_ON) bits |= TSerialPort::ModemDSR;
  if (status & MS_RING_ON) bits |= TSerialPort::ModemRing;
  if (status & MS_RLSD_ON) bits |= TSerialPort::ModemCarrier;
  return bits;
}

namespace {

// The driver's queues; the error flags it reports (and clears) are added to
// flags. False when the driver does not answer (the device has gone).
bool QueueState(intptr_t handle, COMSTAT& state, unsigned& flags) {
  state = {};
  DWORD errors = 0;
  if (handle == -1 || !ClearCommError(reinterpret_cast<HANDLE>(handle), &errors, &state)) return false;
  flags |= errors;
  return true;
}

}  // namespace

int SerialLine::BytesWaiting() {
  COMSTAT s;
  return QueueState(handle_, s, errorFlags_) ? static_cast<int>(s.cbInQue) : 0;
}

int SerialLine::OutputQueued() {
  COMSTAT s;
  return QueueState(handle_, s, errorFlags_) ? static_cast<int>(s.cbOutQue) : 0;
}

// The driver tells nothing about the transmitter: its queue is all there is.
int SerialLine::PendingOutput() { return OutputQueued(); }

int SerialLine::FlushInput() {
  if (handle_ == kNoHandle) return ERROR_INVALID_HANDLE;
  return PurgeComm(H(handle_), PURGE_RXCLEAR | PURGE_RXABORT) ? 0 : static_cast<int>(GetLastError());
}

int SerialLine::FlushOutput() {
  if (handle_ == kNoHandle) return ERROR_INVALID_HANDLE;
  return PurgeComm(H(handle_), PURGE_TXCLEAR | PURGE_TXABORT) ? 0 : static_cast<int>(GetLastError());
}

int SerialLine::Write(const char* data, int n, int waitMs, int& err) {
  err = 0;
  // A write time-out of 0 would mean none at all: the shortest wait is 1 ms.
  const int wait = std::max(waitMs, 1);
  if (wait != writeWait_) {
    COMMTIMEOUTS t {};
    GetCommTimeouts(H(handle_), &t);
    t.WriteTotalTimeoutMultiplier = 0;
    t.WriteTotalTimeoutConstant = static_cast<DWORD>(wait);
    if (!SetCommTimeouts(H(handle_), &t)) {
      err = static_cast<int>(GetLastError());
      return -1;
    }
    writeWait_ = wait;
  }
  // The driver takes the bytes until they are all out or the time is up,
  // and tells how many went.
  DWORD written = 0;
  if (!WriteFile(H(handle_), data, static_cast<DWORD>(n), &written, nullptr)) {
    err = static_cast<int>(GetLastError());
    if (written == 0) return -1;
    err = 0;
  }
  return static_cast<int>(written);
}

int SerialLine::Read(char* data, int n, int waitMs, int& err) {
  err = 0;
  const int wait = std::max(waitMs, 0);
  if (wait != readWait_) {
    // No wait: what is there, at once. A wait: what is there at once, or the
    // first bytes to arrive within it.
    COMMTIMEOUTS t {};
    GetCommTimeouts(H(handle_), &t);
    t.ReadIntervalTimeout = MAXDWORD;
    t.ReadTotalTimeoutMultiplier = wait == 0 ? 0 : MAXDWORD;
    t.ReadTotalTimeoutConstant = static_cast<DWORD>(wait);
    if (!SetCommTimeouts(H(handle_), &t)) {
      err = static_cast<int>(GetLastError());
      return -1;
    }
    readWait_ = wait;
  }
  DWORD got = 0;
  if (!ReadFile(H(handle_), data, static_cast<DWORD>(n), &got, nullptr)) {
    err = static_cast<int>(GetLastError());
    return -1;
  }
  return static_cast<int>(got);
}

SerialLine::Readiness SerialLine::WaitReadable(int waitMs) {
  // The queue is looked at in growing pauses: a wait for input that the
  // caller may end without reading anything.
  const int64_t deadline = NowMs() + std::max(waitMs, 0);
  int step = 1;
  for (;;) {
    COMSTAT s;
    if (!QueueState(handle_, s, errorFlags_)) return Readiness::HungUp;
    if (s.cbInQue > 0) return Readiness::Ready;
    const int64_t now = NowMs();
    if (now >= deadline) return Readiness::TimedOut;
    std::this_thread::sleep_for(std::chrono::milliseconds(std::min<int64_t>(step, deadline - now)));
    step = std::min(step * 2, 10);
  }
}

int SerialLine::LineErrors() {
  COMSTAT s;
  QueueState(handle_, s, errorFlags_);
  int code = 0;
  if (errorFlags_ & CE_TXFULL) code = TSerialPort::ErrTxFull;
  if (errorFlags_ & CE_FRAME) code = TSerialPort::ErrFrame;
  if (errorFlags_ & CE_OVERRUN) code = TSerialPort::ErrOverrun;
  if (errorFlags_ & CE_RXOVER) code = TSerialPort::ErrRxOver;
  if (errorFlags_ & CE_RXPARITY) code = TSerialPort::ErrRxParity;
  errorFlags_ = 0;
  return code;
}

}  // namespace bilhetor::transport_detail
