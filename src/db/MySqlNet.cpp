#include "db/MySqlNet.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace bilhetor {

namespace {

const char* const kClientErrors[] = {
    "Unknown MySQL error",
    "Can't create UNIX socket (%d)",
    "Can't connect to local MySQL server through socket '%-.64s' (%d)",
    "Can't connect to MySQL server on '%s' (%d)",
    "Can't create TCP/IP socket (%d)",
    "Unknown MySQL Server Host '%-.64s' (%d)",
    "MySQL server has gone away",
    "Protocol mismatch. Server Version = %d Client Version = %d",
    "MySQL client run out of memory",
    "Wrong host info",
    "Localhost via UNIX socket",
    "%-.64s via TCP/IP",
    "Error in server handshake",
    "Lost connection to MySQL server during query",
    "Commands out of sync;  You can't run this command now",
    "%-.64s via named pipe",
    "Can't wait for named pipe to host: %s  pipe: %s (%s)",
    "Can't open named pipe to host: %s  pipe: %s (%s)",
    "Can't set state of named pipe to host: %s  pipe: %s (%s)",
    "Can't initialize character set %s (path: %s)",
    "Got packet bigger than 'max_allowed_packet'",
    "Embedded server",
    "Error on SHOW SLAVE STATUS:",
    "Error on SHOW SLAVE HOSTS:",
    "Error connecting to slave:",
    "Error connecting to master:",
    "SSL connection error",
    "Malformed packet",
    "Invalid use of null pointer",
    "Statement not prepared",
    "Not all parameters data supplied",
    "Data truncated",
    "No parameters exists in the statement",
    "Invalid parameter number",
    "Can't send long data for non string or binary data types (parameter: %s)",
    "Using unsupported buffer type: %s  (parameter: %s)",
    "Shared memory (%s)",
    "Can't open shared memory. Request event don't create  (%s)",
    "Can't open shared memory. Answer event don't create  (%s)",
    "Can't open shared memory. File mapping don't create  (%s)",
    "Can't open shared memory. Map of memory don't create  (%s)",
    "Can't open shared memory. File mapping don't create for client (%s)",
    "Can't open shared memory. Map of memory don't create for client (%s)",
    "Can't open shared memory. %s event don't create for client (%s)",
    "Can't open shared memory. Server abandoded and don't sent the answer event (%s)",
    "Can't open shared memory. Can't send the request event to server (%s)",
    "Wrong or unknown protocol",
    "Invalid connection handle",
};

constexpr uint8_t kErrorMarker = 0xFF;

inline void PutLE(uint8_t* p, uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

inline uint64_t GetLE(const uint8_t* p, int bytes) {
  uint64_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

[[noreturn]] void Malformed() { throw EMySqlException::Create(mysqlerr::CR_MALFORMED_PACKET); }

}  // namespace

std::string MySqlClientErrorTemplate(int code) {
  if (code < 2000 || code > 2047) return "";
  return kClientErrors[code - 2000];
}

EMySqlException EMySqlException::Create(int code, const std::string& extra) {
  return Compose(code, MySqlClientErrorTemplate(code), extra);
}

EMySqlException EMySqlException::Compose(int code, const std::string& text, const std::string& extra) {
  if (extra.empty()) return EMySqlException(code, text);
  if (code == mysqlerr::CR_CONN_HOST_ERROR || text.empty()) return EMySqlException(code, extra);
  return EMySqlException(code, text + "\r\n" + extra);
}

// --- TByteBuffer ---

void TByteBuffer::Reserve(size_t capacity) {
  if (capacity <= capacity_) return;
  auto fresh = std::make_unique_for_overwrite<uint8_t[]>(capacity);
  if (size_) std::memcpy(fresh.get(), data_.get(), size_);
  data_ = std::move(fresh);
  capacity_ = capacity;
}

uint8_t* TByteBuffer::Extend(size_t n, size_t limit) {
  const size_t needed = size_ + n;
  if (needed > capacity_) {
    size_t grown = std::max(needed, capacity_ + capacity_ / 2);
    if (needed <= limit) grown = std::min(grown, limit);
    Reserve(grown);
  }
  uint8_t* p = data_.get() + size_;
  size_ = needed;
  return p;
}

void TByteBuffer::Resize(size_t n) {
  Reserve(n);
  size_ = n;
}

// --- TMySqlNet ---

TMySqlNet::TMySqlNet() : ring_(1) {
  ring_[0].Reserve(kWriteBufferSize);
  UseRingBuffer();
  wbuf_.Reserve(kWriteBufferSize);
  wbuf_.Resize(kHeaderSize);
  compBuf_.Reserve(100);
}

TMySqlNet::~TMySqlNet() = default;

void TMySqlNet::Close() {
  if (vio_) vio_->Close();
  vio_.reset();
  ring_.clear();
  ring_.resize(1);
  wbuf_.Resize(kHeaderSize);
  compBuf_.Clear();
  compPos_ = 0;
  skipBuf_.reset();
  receivedCount_ = 0;
  current_ = 0;
  pos_ = 0;
  firstPacket_ = true;
  UseRingBuffer();
}

// --- writing ---

void TMySqlNet::ResetForCommand() {
  packetNumber_ = 0;
  compPacketNumber_ = 0;
  ResetWriteBuffer();
}

void TMySqlNet::ResetWriteBuffer() {
  if (ring_.size() > 1) SetRingSize(1);
  receivedCount_ = 0;
  current_ = 0;
  pos_ = 0;
  firstPacket_ = true;
  wbuf_.Resize(kHeaderSize);
  UseRingBuffer();
}

void TMySqlNet::WriteByte(uint8_t b) { *wbuf_.Extend(1) = b; }
void TMySqlNet::WriteInt2(uint16_t v) { PutLE(wbuf_.Extend(2), v, 2); }
void TMySqlNet::WriteInt3(uint32_t v) { PutLE(wbuf_.Extend(3), v, 3); }
void TMySqlNet::WriteInt4(uint32_t v) { PutLE(wbuf_.Extend(4), v, 4); }
void TMySqlNet::WriteInt8(uint64_t v) { PutLE(wbuf_.Extend(8), v, 8); }

void TMySqlNet::WriteLenEnc(uint64_t v) {
  if (v <= 250) {
    WriteByte(static_cast<uint8_t>(v));
  } else if (v <= 0xFFFF) {
    WriteByte(252);
    WriteInt2(static_cast<uint16_t>(v));
  } else if (v > 0xFFFFFF) {
    WriteByte(254);
    WriteInt8(v);
  } else {
    WriteByte(253);
    WriteInt3(static_cast<uint32_t>(v));
  }
}

void TMySqlNet::WriteZString(std::string_view s) {
  WriteRaw(s.data(), s.size());
  WriteByte(0);
}

void TMySqlNet::WriteRaw(const void* p, size_t n) { wbuf_.Append(static_cast<const uint8_t*>(p), n); }

void TMySqlNet::WriteFill(uint8_t b, size_t n) {
  if (n) std::memset(wbuf_.Extend(n), b, n);
}

void TMySqlNet::WriteHeader(size_t length) {
  PutLE(wbuf_.Data(), length, 3);
  wbuf_.Data()[3] = packetNumber_++;
}

void TMySqlNet::AppendPart(const uint8_t* p, size_t n, size_t packetLength) {
  const size_t room = wbuf_.Size() < kWriteBufferSize ? kWriteBufferSize - wbuf_.Size() : 0;
  const size_t copied = std::min(room, n);
  wbuf_.Append(p, copied);
  if (copied == n) return;
  // The rest of the packet goes straight from the caller's memory.
  WriteHeader(packetLength);
  SendBytes(wbuf_.Data(), wbuf_.Size());
  wbuf_.Resize(kHeaderSize);
  SendBytes(p + copied, n - copied);
}

void TMySqlNet::WriteRun(const void* data, size_t n) {
  const auto* p = static_cast<const uint8_t*>(data);
  const size_t already = WritePayloadSize();
  if (already + n < kMaxPacketPart) {
    AppendPart(p, n, already + n);
    return;
  }
  // Full packets of 0xFFFFFF bytes while enough bytes remain.
  size_t take = kMaxPacketPart - already;
  while (true) {
    AppendPart(p, take, kMaxPacketPart);
    if (wbuf_.Size() > kHeaderSize) {
      // The whole part fitted into the buffer: close the packet here.
      WriteHeader(kMaxPacketPart);
      SendBytes(wbuf_.Data(), wbuf_.Size());
      wbuf_.Resize(kHeaderSize);
    }
    p += take;
    n -= take;
    if (n < kMaxPacketPart) break;
    take = kMaxPacketPart;
  }
  if (n > 0) {
    AppendPart(p, n, n);
  } else {
    // The payload ended exactly at a packet boundary: an empty packet tells
    // the reader so.
    SendEmptyPacket();
  }
}

void TMySqlNet::Flush() {
  if (wbuf_.Size() > kHeaderSize) {
    WriteHeader(wbuf_.Size() - kHeaderSize);
    SendBytes(wbuf_.Data(), wbuf_.Size());
    wbuf_.Resize(kHeaderSize);
  }
  // Also after a run that went out straight from the caller's memory: the
  // answer continues the frame count.
  if (compressOn_) packetNumber_ = compPacketNumber_;
}

void TMySqlNet::SendEmptyPacket() {
  uint8_t header[kHeaderSize] = {0, 0, 0, packetNumber_++};
  SendBytes(header, kHeaderSize);
  if (compressOn_) packetNumber_ = compPacketNumber_;
}

void TMySqlNet::SendBytes(const uint8_t* p, size_t n) {
  if (compressOn_)
    SendFrame(p, n);
  else
    RawWrite(p, n);
}

void TMySqlNet::SendFrame(const uint8_t* p, size_t n) {
  // Frames carry at most 0xFFFFFF bytes of uncompressed data.
  while (n > 0) {
    const size_t part = std::min(n, kMaxPacketPart);
    TByteBuffer frame;
    bool compressed = false;
    if (part > kCompressThreshold) {
      uLongf destLen = static_cast<uLongf>(part + part / 5 + 12);
      frame.Resize(kHeaderSize + kCompHeaderSize + destLen);
      if (compress(frame.Data() + 7, &destLen, p, static_cast<uLong>(part)) == Z_OK && destLen < part) {
        frame.Resize(7 + destLen);
        compressed = true;
      }
    }
    if (!compressed) {
      frame.Resize(7);
      frame.Append(p, part);
    }
    PutLE(frame.Data(), frame.Size() - 7, 3);
    frame.Data()[3] = compPacketNumber_++;
    PutLE(frame.Data() + 4, compressed ? part : 0, 3);
    RawWrite(frame.Data(), frame.Size());
    p += part;
    n -= part;
  }
}

void TMySqlNet::RawWrite(const uint8_t* p, size_t n) {
  if (!vio_) throw EMySqlException::Create(mysqlerr::CR_SERVER_GONE_ERROR);
  if (vio_->Write(p, n) != n) throw EMySqlException::Create(mysqlerr::CR_SERVER_LOST, vio_->LastError());
}

// --- reading ---

void TMySqlNet::RaiseLost() {
  throw EMySqlException::Create(mysqlerr::CR_SERVER_LOST, vio_ ? vio_->LastError() : std::string());
}

void TMySqlNet::RawRead(uint8_t* p, size_t n) {
  if (!vio_) throw EMySqlException::Create(mysqlerr::CR_SERVER_GONE_ERROR);
  if (vio_->Read(p, n) != n) RaiseLost();
}

void TMySqlNet::FillCompressed() {
  uint8_t h[7];
  RawRead(h, 7);
  const size_t frameLen = GetLE(h, 3);
  const size_t plainLen = GetLE(h + 4, 3);
  if (h[3] != packetNumber_) {
    throw EMySqlException(mysqlerr::ER_NET_PACKETS_OUT_OF_ORDER,
                          Format("ReceiveCompHeader: Net packets out of order: received[%d], expected[%d]", h[3],
                                 packetNumber_));
  }
  ++packetNumber_;
  compPacketNumber_ = packetNumber_;
  // Unconsumed bytes move to the front before the frame is appended.
  if (compPos_ > 0) {
    const size_t left = compBuf_.Size() - compPos_;
    std::memmove(compBuf_.Data(), compBuf_.Data() + compPos_, left);
    compBuf_.Resize(left);
    compPos_ = 0;
  }
  if (plainLen == 0) {
    RawRead(compBuf_.Extend(frameLen), frameLen);
    return;
  }
  TByteBuffer packed;
  packed.Resize(frameLen);
  RawRead(packed.Data(), frameLen);
  const size_t start = compBuf_.Size();
  uLongf destLen = static_cast<uLongf>(plainLen);
  // The output never grows past the announced length.
  const int rc = uncompress(compBuf_.Extend(plainLen), &destLen, packed.Data(), static_cast<uLong>(frameLen));
  if (rc != Z_OK || destLen != plainLen) {
    compBuf_.Resize(start);
    throw EMySqlException(mysqlerr::ER_NET_UNCOMPRESS_ERROR, "Couldn't uncompress communication packet");
  }
}

void TMySqlNet::ReadStream(uint8_t* p, size_t n) {
  if (!compressOn_) {
    RawRead(p, n);
    return;
  }
  while (n > 0) {
    if (compPos_ >= compBuf_.Size()) {
      compBuf_.Clear();
      compPos_ = 0;
      FillCompressed();
      continue;
    }
    const size_t take = std::min(n, compBuf_.Size() - compPos_);
    std::memcpy(p, compBuf_.Data() + compPos_, take);
    compPos_ += take;
    p += take;
    n -= take;
  }
}

// Every uncompressed packet carries the next number of the exchange; any other
// number means the stream is out of step.
void TMySqlNet::CheckPacketNumber(uint8_t received) {
  if (received != packetNumber_) {
    throw EMySqlException(mysqlerr::ER_NET_PACKETS_OUT_OF_ORDER,
                          Format("ReceiveHeader: Net packets out of order: received[%d], expected[%d]", received,
                                 packetNumber_));
  }
  ++packetNumber_;
  compPacketNumber_ = packetNumber_;
}

void TMySqlNet::ReadPacket() {
  if (!firstPacket_) {
    if (++current_ >= ring_.size()) {
      current_ = 0;
      receivedCount_ = 0;
    }
  }
  firstPacket_ = false;
  pos_ = 0;
  if (!compressOn_ && ring_.size() == 1 && vio_) {
    // Fast path: header and payload already in the read-ahead buffer.
    if (const uint8_t* h = vio_->Peek(kHeaderSize)) {
      CheckPacketNumber(h[3]);
      const size_t part = GetLE(h, 3);
      if (part > maxPacket_) throw EMySqlException::Create(mysqlerr::CR_NET_PACKET_TOO_LARGE);
      const uint8_t* payload = part < kMaxPacketPart ? vio_->Peek(part) : nullptr;
      if (payload || part == 0) {
        curData_ = payload;
        curSize_ = part;
        if (part > 0 && payload[0] == kErrorMarker) RaiseServerError(payload, part);
        ++receivedCount_;
        return;
      }
      // The payload is not all buffered: read it into the ring buffer.
      TByteBuffer& buf = ring_[current_];
      buf.Clear();
      UseRingBuffer();
      ReadStream(buf.Extend(part, maxPacket_), part);
      ReadRestOfPayload(buf, part);
      return;
    }
  }
  TByteBuffer& buf = ring_[current_];
  buf.Clear();
  UseRingBuffer();
  ReadRestOfPayload(buf, kMaxPacketPart);
}

void TMySqlNet::ReadRestOfPayload(TByteBuffer& buf, size_t part) {
  // part: the length of the part read so far; another part follows while it
  // is exactly 0xFFFFFF bytes long.
  while (part == kMaxPacketPart) {
    uint8_t h[kHeaderSize];
    ReadStream(h, kHeaderSize);
    if (!compressOn_) CheckPacketNumber(h[3]);
    part = GetLE(h, 3);
    if (buf.Size() + part > maxPacket_) throw EMySqlException::Create(mysqlerr::CR_NET_PACKET_TOO_LARGE);
    ReadStream(buf.Extend(part, maxPacket_), part);
  }
  UseRingBuffer();
  if (buf.Size() > 0 && buf.Data()[0] == kErrorMarker) RaiseServerError(buf.Data(), buf.Size());
  ++receivedCount_;
}

void TMySqlNet::RaiseServerError(const uint8_t* p, size_t n) {
  // A packet too short to hold an error number is no error packet a server
  // sends: the stream cannot be trusted.
  if (n < 3) Malformed();
  const int code = static_cast<int>(GetLE(p + 1, 2));
  std::string message;
  if (n > 3) {
    const auto* end = static_cast<const uint8_t*>(std::memchr(p + 3, 0, n - 3));
    message.assign(reinterpret_cast<const char*>(p + 3), end ? static_cast<size_t>(end - (p + 3)) : n - 3);
  }
  // Error number 0 would read as success wherever the number is tested: the
  // server's text, when it sent one, goes with 2000 instead.
  if (code == 0) {
    if (message.empty()) Malformed();
    const EMySqlException unknown = EMySqlException::Create(mysqlerr::CR_UNKNOWN_ERROR, message);
    throw EMySqlException(unknown.ErrorCode(), unknown.Message(), true);
  }
  throw EMySqlException(code, message, true);
}

size_t TMySqlNet::SkipPacket(uint8_t& firstByte) {
  if (!skipBuf_) skipBuf_ = std::make_unique_for_overwrite<uint8_t[]>(kSkipBufferSize);
  bool first = true;
  size_t part = 0;
  size_t total = 0;
  firstByte = 0;
  do {
    uint8_t h[kHeaderSize];
    ReadStream(h, kHeaderSize);
    if (!compressOn_) CheckPacketNumber(h[3]);
    part = GetLE(h, 3);
    total += part;
    if (total > maxPacket_) throw EMySqlException::Create(mysqlerr::CR_NET_PACKET_TOO_LARGE);
    size_t left = part;
    while (left > 0) {
      const size_t piece = std::min(left, kSkipBufferSize);
      ReadStream(skipBuf_.get(), piece);
      if (first) {
        firstByte = skipBuf_[0];
        if (firstByte == kErrorMarker) {
          TByteBuffer& buf = ring_[current_];
          buf.Clear();
          buf.Append(skipBuf_.get(), piece);
          pos_ = 0;
          UseRingBuffer();
          RaiseServerError(buf.Data(), buf.Size());
        }
        first = false;
      }
      left -= piece;
    }
  } while (part == kMaxPacketPart);
  return total;
}

void TMySqlNet::SetRingSize(size_t n) {
  if (n < 1) n = 1;
  ring_.resize(n);
  current_ = 0;
  receivedCount_ = 0;
  pos_ = 0;
  firstPacket_ = true;
  UseRingBuffer();
}

const TByteBuffer& TMySqlNet::Received(size_t i) const {
  if (i >= receivedCount_) throw Exception("Invalid record number");
  return ring_.at(i);
}

void TMySqlNet::SetPosition(size_t pos) {
  if (pos > Size()) Malformed();
  pos_ = pos;
}

void TMySqlNet::Need(size_t n) const {
  if (n > Size() - pos_) Malformed();
}

uint8_t TMySqlNet::ReadByte() {
  Need(1);
  return Data()[pos_++];
}

uint16_t TMySqlNet::ReadInt2() {
  Need(2);
  const auto v = static_cast<uint16_t>(GetLE(Data() + pos_, 2));
  pos_ += 2;
  return v;
}

uint32_t TMySqlNet::ReadInt3() {
  Need(3);
  const auto v = static_cast<uint32_t>(GetLE(Data() + pos_, 3));
  pos_ += 3;
  return v;
}

uint32_t TMySqlNet::ReadInt4() {
  Need(4);
  const auto v = static_cast<uint32_t>(GetLE(Data() + pos_, 4));
  pos_ += 4;
  return v;
}

uint64_t TMySqlNet::ReadInt8() {
  Need(8);
  const uint64_t v = GetLE(Data() + pos_, 8);
  pos_ += 8;
  return v;
}

uint64_t TMySqlNet::DecodeLenEnc(const uint8_t* data, size_t size, size_t& pos, bool* isNull) {
  if (pos >= size) Malformed();
  const uint8_t b = data[pos];
  if (isNull) *isNull = b == 251;
  int bytes;
  switch (b) {
    case 251:
      ++pos;
      return 0;
    case 252:
      bytes = 2;
      break;
    case 253:
      bytes = 3;
      break;
    case 254:
      bytes = 8;
      break;
    case 255:
      Malformed();
    default:
      ++pos;
      return b;
  }
  if (static_cast<size_t>(bytes) > size - pos - 1) Malformed();
  const uint64_t v = GetLE(data + pos + 1, bytes);
  pos += 1 + bytes;
  return v;
}

uint64_t TMySqlNet::ReadLenEnc(bool* isNull) { return DecodeLenEnc(Data(), Size(), pos_, isNull); }

std::string TMySqlNet::ReadZString() {
  const uint8_t* start = Data() + pos_;
  const size_t left = Remaining();
  const auto* zero = static_cast<const uint8_t*>(left ? std::memchr(start, 0, left) : nullptr);
  if (!zero) {
    pos_ = Size();
    return std::string(reinterpret_cast<const char*>(start), left);
  }
  const size_t len = static_cast<size_t>(zero - start);
  pos_ += len + 1;
  return std::string(reinterpret_cast<const char*>(start), len);
}

std::string TMySqlNet::ReadBytes(size_t n) {
  Need(n);
  std::string s(reinterpret_cast<const char*>(Data() + pos_), n);
  pos_ += n;
  return s;
}

std::string TMySqlNet::ReadLenEncString() {
  const uint64_t len = ReadLenEnc();
  if (len == 0) return "";
  if (len > Remaining()) Malformed();
  return ReadBytes(static_cast<size_t>(len));
}

void TMySqlNet::Skip(size_t n) {
  Need(n);
  pos_ += n;
}

}  // namespace bilhetor
