#include "transport/SerialPort.h"

#include <algorithm>
#include <thread>

#include "common/Strings.h"
#include "transport/DrainWait.h"
#include "transport/ReadLoop.h"
#include "transport/SerialLine.h"

namespace bilhetor {

using transport_detail::NowMs;

ESerialError::ESerialError(int errorCode, const std::string& errorMessage)
    : Exception(Format("Communication error %d: %s", errorCode, errorMessage.c_str())),
      errorCode_(errorCode),
      errorMessage_(errorMessage) {}

using transport_detail::SerialLine;

int TSerialPort::ComPortNumber(const std::string& Port) {
  if (!UpperCase(Port).starts_with("COM")) return 0;
  return std::max(PlainNumberAfter(Port, 3), 0);
}

std::string TSerialPort::SystemDeviceName(const std::string& Port) {
  return SerialLine::SystemName(Port, ComPortNumber(Port));
}

TSerialPort::TSerialPort() : line_(std::make_unique<SerialLine>()) {}

intptr_t TSerialPort::Handle() const { return line_->Handle(); }

TSerialPort::~TSerialPort() {
  try {
    CloseSocket();
  } catch (...) {
    // A status callback that throws must not escape the destructor.
  }
}

std::string TSerialPort::GetErrorDesc(int ErrorCode) {
  switch (ErrorCode) {
    case 0: return "OK";
    case ErrAlreadyOwned: return "Port owned by other process";
    case ErrAlreadyInUse: return "Instance already in use";
    case ErrWrongParameter: return "Wrong parameter at call";
    case ErrPortNotOpen: return "Instance not yet connected";
    case ErrNoDeviceAnswer: return "No device answer detected";
    case ErrMaxBuffer: return "Maximal buffer length exceeded";
    case ErrTimeout: return "Timeout during operation";
    case ErrReadFailed: return "Reading of data failed";
    case ErrFrame: return "Receive framing error";
    case ErrOverrun: return "Receive Overrun Error";
    case ErrRxOver: return "Receive Queue overflow";
    case ErrRxParity: return "Receive Parity Error";
    case ErrTxFull: return "Tranceive Queue is full";
    default: return transport_detail::SystemErrorText(ErrorCode);
  }
}

// --- error handling ----------------------------------------------------------

void TSerialPort::SetError(int code) {
  lastError_ = code;
  lastErrorDesc_ = GetErrorDesc(code);
}

void TSerialPort::RaiseIfError() {
  if (raiseExcept_ && lastError_ != 0) throw ESerialError(lastError_, lastErrorDesc_);
}

void TSerialPort::FailWith(int code) {
  SetError(code);
  RaiseIfError();
}

void TSerialPort::ReportStatus(TSerialStatusReason reason, const std::string& value) {
  if (onStatus_) onStatus_(*this, reason, value);
}

// --- opening and closing -------------------------------------------------------

void TSerialPort::Connect(const std::string& Port) {
  if (instanceActive_) {
    FailWith(ErrAlreadyInUse);
    return;
  }
  lineBuffer_.clear();
  deviceName_ = Port;

  // ComNumber is the zero-based COM number; a /dev/ttyS name keeps its
  // number too (-2 when what follows is no plain number), but is opened as
  // it is written.
  comNumber_ = -1;
  if (UpperCase(Port).starts_with("COM")) {
    comNumber_ = ComPortNumber(Port) - 1;
  } else if (Port.starts_with("/dev/ttyS")) {
    comNumber_ = PlainNumberAfter(Port, 9);
    if (comNumber_ < 0) comNumber_ = -2;
  }
  deviceName_ = SystemDeviceName(Port);

  SetError(line_->Open(deviceName_, linuxLock_, recvBufferSize_));
  RaiseIfError();

  if (lastError_ == 0) {
    SetError(0);
    if (DeviceAnswers()) {
      instanceActive_ = true;
      SetRTS(true);
      SetDTR(true);
      ClearBuffers();
      // Line errors before the port was ours are not this caller's.
      CheckLineErrors();
      SetError(0);
    } else {
      SetError(ErrNoDeviceAnswer);
      CloseHandle();
      comNumber_ = -1;
    }
    RaiseIfError();
    ReportStatus(TSerialStatusReason::HR_Connect, deviceName_);
  }
}

void TSerialPort::CloseHandle() { line_->Close(); }

void TSerialPort::CloseSocket() {
  if (line_->IsOpen()) {
    // Closing never raises: the input is discarded and the lines dropped
    // without looking at the results, so the handle is always released.
    // The output is left alone: every write has already waited for its
    // bytes to leave, and what a pseudo-terminal has handed on to its other
    // end must reach it.
    line_->FlushInput();
    lineBuffer_.clear();
    line_->SetRTS(false);
    line_->SetDTR(false);
    rts_ = dtr_ = false;
    CloseHandle();
  }
  instanceActive_ = false;
  comNumber_ = -1;
  SetError(0);
  ReportStatus(TSerialStatusReason::HR_SerialClose, deviceName_);
}

// --- modem lines ------------------------------------------------------------------

int TSerialPort::ModemStatus() {
  modemWord_ = line_->ModemStatus();
  return modemWord_;
}

bool TSerialPort::CTS() { return (ModemStatus() & ModemCTS) != 0; }
bool TSerialPort::DSR() { return (ModemStatus() & ModemDSR) != 0; }
bool TSerialPort::Ring() { return (ModemStatus() & ModemRing) != 0; }
bool TSerialPort::Carrier() { return (ModemStatus() & ModemCarrier) != 0; }

// Devices without modem lines (pseudo-terminals) refuse to drive them; that
// is not an error of the port.
void TSerialPort::SetRTS(bool Value) {
  rts_ = Value;
  line_->SetRTS(Value);
}

void TSerialPort::SetDTR(bool Value) {
  dtr_ = Value;
  line_->SetDTR(Value);
}

bool TSerialPort::DeviceAnswers() {
  const int bits = ModemStatus();
  if (testDSR_ && (bits & ModemDSR) == 0) return false;
  if (testCTS_ && (bits & ModemCTS) == 0) return false;
  return true;
}

bool TSerialPort::NotReady() {
  if (instanceActive_) {
    if (!DeviceAnswers()) {
      FailWith(ErrNoDeviceAnswer);
      return true;
    }
    return false;
  }
  FailWith(ErrPortNotOpen);
  return true;
}

// --- settings -----------------------------------------------------------------------

void TSerialPort::ApplySettings(int Baud, int Bits, char Parity, int Stop, bool SoftFlow,
                                bool HardFlow) {
  SetError(0);
  if (!line_->IsOpen()) {
    FailWith(ErrPortNotOpen);
    return;
  }
  // Values the line cannot take are refused before anything is changed.
  SetError(line_->Apply({Baud, Bits, Parity, Stop, SoftFlow, HardFlow}, recvBufferSize_));
  if (lastError_ == 0) {
    // With hardware flow control the driver drives RTS itself.
    SetDTR(true);
    if (!HardFlow) SetRTS(true);
    else rts_ = true;
  }
  RaiseIfError();
}

// --- waiting --------------------------------------------------------------------------

int TSerialPort::BytesWaiting() { return line_->BytesWaiting(); }

int TSerialPort::WaitingDataEx() { return BytesWaiting() + static_cast<int>(lineBuffer_.size()); }

int TSerialPort::SendingData() { return line_->OutputQueued(); }

bool TSerialPort::WaitReadable(int Timeout) {
  bool ok = BytesWaiting() > 0;
  if (!ok) {
    const int64_t deadline = NowMs() + std::max(Timeout, 0);
    for (;;) {
      const int remaining = static_cast<int>(std::max<int64_t>(deadline - NowMs(), 0));
      const auto state = line_->WaitReadable(remaining);
      ok = BytesWaiting() > 0;
      // Done when data is there, the time is up, or the line has hung up.
      if (ok || state != SerialLine::Readiness::Ready || remaining == 0) break;
    }
  }
  if (ok) ReportStatus(TSerialStatusReason::HR_CanRead, "");
  return ok;
}

int TSerialPort::WaitSent(int stallMs, int limitMs) {
  // The drivers signal no "output drained" event that a wait could be
  // bounded by: the queue is looked at in growing pauses.
  return transport_detail::WaitUntilSent(
      stallMs, limitMs, [this] { return line_->PendingOutput(); },
      [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }, [] { return NowMs(); });
}

bool TSerialPort::WaitWritable(int Timeout) {
  const int t = std::max(Timeout, 0);
  const bool ok = WaitSent(t, t) == 0;
  if (ok) ReportStatus(TSerialStatusReason::HR_CanWrite, "");
  return ok;
}

void TSerialPort::Flush() {
  if (line_->IsOpen()) WaitWritable(std::max(deadlockTimeout_, 0));
}

// --- transfers ---------------------------------------------------------------------------

void TSerialPort::LimitRate(int length, int max, int64_t& nextMark) {
  if (max <= 0) return;
  const int64_t now = NowMs();
  if (now < nextMark) {
    const int64_t wait = nextMark - now;
    ReportStatus(TSerialStatusReason::HR_Wait, std::to_string(wait));
    std::this_thread::sleep_for(std::chrono::milliseconds(wait));
  }
  nextMark = NowMs() + static_cast<int64_t>(length) * 1000 / max;
}

void TSerialPort::CheckLineErrors() {
  if (!line_->IsOpen()) return;
  const int code = line_->LineErrors();
  if (code != 0) SetError(code);
}

int TSerialPort::WriteBuffer(const void* Data, int Length) {
  if (NotReady()) return 0;
  if (Length < 0 || (Length > 0 && Data == nullptr)) {
    FailWith(ErrWrongParameter);
    return 0;
  }
  LimitRate(Length, maxSendBandwidth_, nextSend_);
  if (rtsToggle_) {
    Flush();
    SetRTS(true);
  }
  SetError(0);
  const auto* p = static_cast<const char*>(Data);
  int written = 0;
  // DeadlockTimeout bounds the time the line takes nothing, not the whole
  // write: a long text on a slow line is written however long it takes.
  const int stall = std::max(deadlockTimeout_, 0);
  int64_t deadline = NowMs() + stall;
  bool stalled = false;
  while (written < Length) {
    const int remaining = static_cast<int>(std::max<int64_t>(deadline - NowMs(), 0));
    int err = 0;
    const int n = line_->Write(p + written, Length - written, remaining, err);
    if (n > 0) {
      written += n;
      deadline = NowMs() + stall;
      continue;
    }
    if (n < 0) {
      SetError(err);
      break;
    }
    stalled = true;
    break;
  }
  // The write is done when its bytes have left the port: the driver's queue
  // is waited for as long as it keeps going down.
  if (lastError_ == 0 && !stalled && written > 0) stalled = WaitSent(stall, -1) > 0;
  if (stalled) {
    // The line does not take the data in time: what is still queued is
    // thrown away so that a later write does not send stale bytes, and only
    // the bytes that did leave are counted.
    written = std::max(written - line_->PendingOutput(), 0);
    line_->FlushOutput();
    SetError(ErrTimeout);
  }
  CheckLineErrors();
  if (rtsToggle_) {
    Flush();
    WaitWritable(255);
    SetRTS(false);
  }
  RaiseIfError();
  ReportStatus(TSerialStatusReason::HR_WriteCount, std::to_string(written));
  return written;
}

void TSerialPort::SendString(const std::string& Data) {
  WriteBuffer(Data.data(), static_cast<int>(std::min<size_t>(Data.size(), INT32_MAX)));
}

void TSerialPort::SendByte(uint8_t Data) { WriteBuffer(&Data, 1); }

void TSerialPort::SendInteger(int32_t Data) {
  const auto v = static_cast<uint32_t>(Data);
  const char bytes[4] = {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF),
                         static_cast<char>((v >> 16) & 0xFF), static_cast<char>((v >> 24) & 0xFF)};
  WriteBuffer(bytes, 4);
}

void TSerialPort::SendBlock(const std::string& Data) {
  SendInteger(static_cast<int32_t>(Data.size()));
  if (lastError_ == 0) SendString(Data);
}

// Reads up to length bytes (the caller knows they are waiting); records its
// error without raising.
int TSerialPort::ReadRaw(std::string& into, int length) {
  if (length <= 0) return 0;
  LimitRate(length, maxRecvBandwidth_, nextRecv_);
  SetError(0);
  const size_t start = into.size();
  into.resize(start + static_cast<size_t>(length));
  int got = 0;
  const int64_t deadline = NowMs() + std::max(deadlockTimeout_, 0);
  while (got < length) {
    const int remaining = static_cast<int>(std::max<int64_t>(deadline - NowMs(), 0));
    int err = 0;
    const int n = line_->Read(into.data() + start + got, length - got, got > 0 ? 0 : remaining, err);
    if (n > 0) {
      got += n;
      if (BytesWaiting() == 0) break;  // took what had arrived
      continue;
    }
    if (n < 0) {
      SetError(err);
      break;
    }
    if (got > 0) break;
    line_->FlushInput();
    SetError(ErrTimeout);
    break;
  }
  into.resize(start + static_cast<size_t>(got));
  const int err = lastError_;
  CheckLineErrors();
  if (err != 0) SetError(err);
  ReportStatus(TSerialStatusReason::HR_ReadCount, std::to_string(got));
  return got;
}

// ReadAvailable without raising: the collecting reads keep their bytes when
// a piece fails.
std::string TSerialPort::ReadAvailableQuiet(int Timeout) {
  std::string result;
  if (!instanceActive_) {
    SetError(ErrPortNotOpen);
    return result;
  }
  if (!DeviceAnswers()) {
    SetError(ErrNoDeviceAnswer);
    return result;
  }
  SetError(0);
  if (!lineBuffer_.empty()) {
    result.swap(lineBuffer_);
    return result;
  }
  std::this_thread::yield();
  int n = BytesWaiting();
  if (n > 0) {
    ReadRaw(result, n);
    return result;
  }
  if (WaitReadable(Timeout)) {
    n = BytesWaiting();
    if (n > 0) ReadRaw(result, n);
    else SetError(ErrTimeout);
    return result;
  }
  // Nothing arrived. A line that has hung up says so at once; tell that
  // apart from a plain time-out by asking the device.
  if (line_->WaitReadable(0) == SerialLine::Readiness::HungUp) {
    char byte = 0;
    int err = 0;
    const int r = line_->Read(&byte, 1, 0, err);
    if (r == 1) result.push_back(byte);
    else if (r < 0) SetError(err);
    else SetError(ErrTimeout);
    return result;
  }
  SetError(ErrTimeout);
  return result;
}

std::string TSerialPort::ReadAvailable(int Timeout) {
  if (NotReady()) return {};
  std::string result = ReadAvailableQuiet(Timeout);
  RaiseIfError();
  return result;
}

std::string TSerialPort::ReadExactly(int Count, int Timeout) {
  if (NotReady()) return {};
  SetError(0);
  if (Count < 1) return {};
  auto c = transport_detail::CollectExactly(
      static_cast<size_t>(Count), Timeout, interPacketTimeout_, ErrTimeout,
      [this](int t) { return ReadAvailableQuiet(t); }, [this] { return lastError_; });
  if (c.error != 0) SetError(c.error);
  lineBuffer_ = std::move(c.rest);
  RaiseIfError();
  if (lastError_ != 0) return {};
  return std::move(c.result);
}

std::string TSerialPort::ReadUntil(int Timeout, const std::string& Terminator) {
  if (NotReady()) return {};
  SetError(0);
  if (Terminator.empty()) return {};
  transport_detail::LineEndState lineEnd {lastCR_, lastLF_};
  auto c = transport_detail::CollectUntil(
      Timeout, Terminator, convertLineEnd_, lineEnd, maxLineLength_, interPacketTimeout_,
      ErrTimeout, ErrMaxBuffer, [this](int t) { return ReadAvailableQuiet(t); },
      [this] { return lastError_; });
  lastCR_ = lineEnd.lastCR;
  lastLF_ = lineEnd.lastLF;
  if (c.error != 0) SetError(c.error);
  lineBuffer_ = std::move(c.rest);
  RaiseIfError();
  return std::move(c.result);
}

uint8_t TSerialPort::ReadOneByte(int Timeout) {
  if (NotReady()) return 0;
  SetError(0);
  if (lineBuffer_.empty()) lineBuffer_ = ReadAvailableQuiet(Timeout);
  if (lastError_ != 0 || lineBuffer_.empty()) {
    if (lastError_ == 0) SetError(ErrTimeout);
    RaiseIfError();
    return 0;
  }
  const auto b = static_cast<uint8_t>(lineBuffer_[0]);
  lineBuffer_.erase(0, 1);
  return b;
}

std::string TSerialPort::ReadLine(int Timeout) {
  std::string s = ReadUntil(Timeout, "\r\n");
  return lastError_ == 0 ? s : std::string();
}

int32_t TSerialPort::ReadInteger(int Timeout) {
  const std::string s = ReadExactly(4, Timeout);
  if (s.size() != 4) return 0;
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(s[static_cast<size_t>(i)]);
  return static_cast<int32_t>(v);
}

std::string TSerialPort::ReadBlock(int Timeout) {
  const int32_t length = ReadInteger(Timeout);
  if (lastError_ != 0) return {};
  return ReadExactly(length, Timeout);
}

std::string TSerialPort::ModemExchange(const std::string& value, int lineTimeout,
                                       const std::vector<std::string>& success,
                                       const std::vector<std::string>& failure) {
  atResult_ = false;
  const bool savedConvert = convertLineEnd_;
  convertLineEnd_ = true;
  struct Restore {
    TSerialPort& port;
    bool value;
    ~Restore() { port.convertLineEnd_ = value; }
  } restore {*this, savedConvert};
  std::string result;
  SendString(value + "\r");
  if (lastError_ != 0) return result;
  auto startsWithAny = [](const std::string& line, const std::vector<std::string>& words) {
    for (const auto& w : words) {
      if (line.rfind(w, 0) == 0) return true;
    }
    return false;
  };
  for (;;) {
    const std::string line = ReadLine(lineTimeout);
    if (lastError_ != 0) break;
    result += line + "\r\n";
    if (startsWithAny(line, success)) {
      atResult_ = true;
      break;
    }
    if (startsWithAny(line, failure)) break;
  }
  return result;
}

std::string TSerialPort::ATCommand(const std::string& Value) {
  return ModemExchange(Value, atTimeout_, {"OK"}, {"ERROR"});
}

std::string TSerialPort::ATConnect(const std::string& Value) {
  const int64_t perLine = static_cast<int64_t>(atTimeout_) * 90;
  return ModemExchange(Value, static_cast<int>(std::min<int64_t>(perLine, INT32_MAX)), {"CONNECT"},
                       {"NO CARRIER", "ERROR", "BUSY", "NO DIALTONE"});
}

void TSerialPort::ClearBuffers() {
  SetError(0);
  SetError(line_->FlushInput());
  lineBuffer_.clear();
  RaiseIfError();
}

}  // namespace bilhetor
