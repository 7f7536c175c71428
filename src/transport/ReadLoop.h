#pragma once
// The collecting reads shared by the serial port and the TCP socket:
// "exactly Count bytes" and "up to a terminator", both built on the
// transport's ReadAvailable. The transport supplies a read that never raises
// (it records its error), so that bytes collected before a failure can be
// kept for the next read instead of being lost in an exception.
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace bilhetor::transport_detail {

inline int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// What a collecting read produced: the result for the caller, the bytes that
// go back into the transport's input buffer and the error the loop itself
// found (0 when the loop ended on the transport's own error or succeeded).
struct Collected {
  std::string result;
  std::string rest;
  int error = 0;
};

// Reads until count bytes are collected. readAvailable(timeout) returns what
// arrived (recording errors in the transport), lastError() returns the
// transport's error code. With interPacket false the time-out is a budget for
// the whole read and running out of it yields timeoutCode.
template <class ReadFn, class ErrFn>
Collected CollectExactly(std::size_t count, int timeout, bool interPacket, int timeoutCode,
                         ReadFn&& readAvailable, ErrFn&& lastError) {
  Collected c;
  timeout = std::max(timeout, 0);
  for (;;) {
    const int64_t t0 = NowMs();
    std::string piece = readAvailable(timeout);
    const std::size_t room = count - c.result.size();
    if (piece.size() > room) {
      c.rest.assign(piece, room, std::string::npos);
      piece.resize(room);
    }
    c.result += piece;
    if (lastError() != 0 || c.result.size() >= count) break;
    if (!interPacket) {
      timeout -= static_cast<int>(NowMs() - t0);
      if (timeout <= 0) {
        c.error = timeoutCode;
        break;
      }
    }
  }
  return c;
}

// Line-end state carried between reads when CR LF terminators accept any
// line end: the previous line ended on a lone CR or a lone LF.
struct LineEndState {
  bool lastCR = false;
  bool lastLF = false;
};

// Reads until terminator arrives. The result is the bytes before it; what
// follows goes to rest. On failure result is empty and rest holds everything
// collected, so nothing is lost. maxLine > 0 limits the bytes collected
// without finding the terminator (maxLineCode when passed).
template <class ReadFn, class ErrFn>
Collected CollectUntil(int timeout, const std::string& terminator, bool convertLineEnd,
                       LineEndState& lineEnd, int maxLine, bool interPacket, int timeoutCode,
                       int maxLineCode, ReadFn&& readAvailable, ErrFn&& lastError) {
  Collected c;
  timeout = std::max(timeout, 0);
  const bool crlfMode = convertLineEnd && terminator == "\r\n";
  std::string s;
  std::size_t termLen = terminator.size();
  std::size_t found = std::string::npos;
  std::size_t scanFrom = 0;
  for (;;) {
    const int64_t t0 = NowMs();
    s += readAvailable(timeout);
    if (lastError() != 0) break;
    if (!s.empty()) {
      if (crlfMode) {
        if (lineEnd.lastCR && s[0] == '\n') {
          s.erase(0, 1);
          scanFrom = 0;
        } else if (lineEnd.lastLF && s[0] == '\r') {
          s.erase(0, 1);
          scanFrom = 0;
        }
        lineEnd.lastCR = lineEnd.lastLF = false;
        for (std::size_t i = scanFrom; i < s.size(); ++i) {
          const char ch = s[i];
          if (ch != '\r' && ch != '\n') continue;
          found = i;
          const bool pair = i + 1 < s.size() && (s[i + 1] == '\r' || s[i + 1] == '\n') && s[i + 1] != ch;
          termLen = pair ? 2 : 1;
          if (!pair) (ch == '\r' ? lineEnd.lastCR : lineEnd.lastLF) = true;
          break;
        }
        scanFrom = s.size();
      } else {
        found = s.find(terminator, scanFrom);
        scanFrom = s.size() >= termLen ? s.size() - termLen + 1 : 0;
      }
    }
    // The limit counts the bytes collected without finding the terminator.
    if (maxLine > 0) {
      const std::size_t lineBytes = found == std::string::npos ? s.size() : found;
      if (lineBytes > static_cast<std::size_t>(maxLine)) {
        c.error = maxLineCode;
        found = std::string::npos;
        break;
      }
    }
    if (found != std::string::npos) break;
    if (!interPacket) {
      timeout -= static_cast<int>(NowMs() - t0);
      if (timeout <= 0) {
        c.error = timeoutCode;
        break;
      }
    }
  }
  if (found != std::string::npos && c.error == 0 && lastError() == 0) {
    c.result.assign(s, 0, found);
    c.rest.assign(s, found + termLen, std::string::npos);
  } else {
    c.rest = std::move(s);
  }
  return c;
}

}  // namespace bilhetor::transport_detail
