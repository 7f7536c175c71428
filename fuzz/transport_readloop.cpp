// Fuzzes the collecting reads shared by the serial port and the socket: the
// input is cut into the pieces a transport would deliver, and repeated reads
// up to a terminator (or of a byte count) must hand out every byte exactly
// once, in order, whatever the pieces, terminators and line limits.
#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "transport/ReadLoop.h"

namespace {

using bilhetor::transport_detail::CollectExactly;
using bilhetor::transport_detail::CollectUntil;
using bilhetor::transport_detail::LineEndState;

constexpr int kTimeout = 9997;
constexpr int kTooLong = 9996;

void Check(bool ok) {
  if (!ok) std::abort();
}

// A transport that delivers the pieces in order, then times out.
struct Feed {
  std::vector<std::string> pieces;
  std::size_t next = 0;
  std::string buffer;  // what an earlier read left over
  int error = 0;
  std::string Read(int) {
    error = 0;
    if (!buffer.empty()) return std::exchange(buffer, std::string());
    if (next < pieces.size()) return pieces[next++];
    error = kTimeout;
    return {};
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const uint8_t flags = data[0];
  const std::size_t termLen = data[1] % 5;
  const int maxLine = data[2] % 4 == 0 ? 0 : data[2] % 64;
  std::size_t pos = 3;
  if (size < pos + termLen) return 0;
  const std::string terminator(reinterpret_cast<const char*>(data + pos), termLen);
  pos += termLen;

  Feed feed;
  std::string all;
  while (pos < size) {
    const std::size_t len = std::min<std::size_t>(data[pos] % 17, size - pos - 1);
    ++pos;
    feed.pieces.emplace_back(reinterpret_cast<const char*>(data + pos), len);
    all += feed.pieces.back();
    pos += len;
  }
  auto read = [&](int t) { return feed.Read(t); };
  auto lastError = [&] { return feed.error; };

  if ((flags & 1) != 0) {
    // Byte counts: everything comes out once, in order.
    std::string out;
    for (int round = 0; round < 64 && feed.error == 0; ++round) {
      const std::size_t count = 1 + (flags >> 1) % 9;
      auto c = CollectExactly(count, 10, true, kTimeout, read, lastError);
      feed.buffer = c.rest;
      if (feed.error == 0 && c.error == 0) {
        Check(c.result.size() == count);
        out += c.result;
      }
    }
    Check(all.compare(0, out.size(), out) == 0);
    return 0;
  }

  if (terminator.empty()) return 0;
  const bool convert = (flags & 2) != 0 && terminator == "\r\n";
  LineEndState lineEnd;
  std::string out;
  for (int round = 0; round < 256; ++round) {
    auto c = CollectUntil(10, terminator, convert, lineEnd, maxLine, true, kTimeout, kTooLong, read,
                          lastError);
    feed.buffer = c.rest;
    const bool failed = feed.error != 0 || c.error != 0;
    if (failed) {
      Check(c.result.empty());
      if (c.error == kTooLong) {
        Check(maxLine > 0 && c.rest.size() > static_cast<std::size_t>(maxLine));
        break;
      }
      if (feed.next >= feed.pieces.size()) break;
      continue;
    }
    if (convert) {
      Check(c.result.find_first_of("\r\n") == std::string::npos);
    } else {
      Check(c.result.find(terminator) == std::string::npos);
      out += c.result + terminator;
    }
    if (maxLine > 0) Check(c.result.size() <= static_cast<std::size_t>(maxLine));
  }
  if (!convert) {
    // Nothing lost, nothing repeated: the lines handed out and what is
    // still buffered make up exactly what arrived so far.
    std::string delivered;
    for (std::size_t i = 0; i < feed.next; ++i) delivered += feed.pieces[i];
    Check(out + feed.buffer == delivered);
  }
  return 0;
}
