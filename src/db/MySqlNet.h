#pragma once
// The MySQL packet layer: the transport interface (TVio), the client error
// table with its exception class EMySqlException, and TMySqlNet, which frames
// packets with sequence numbers, splits and joins payloads of 16 MiB and more,
// optionally compresses them with zlib and reads and writes the protocol's
// integer and string encodings.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/Exception.h"
#include "common/Strings.h"

namespace bilhetor {

// Client error numbers used by the client itself.
namespace mysqlerr {
constexpr int CR_UNKNOWN_ERROR = 2000;
constexpr int CR_CONNECTION_ERROR = 2002;
constexpr int CR_CONN_HOST_ERROR = 2003;
constexpr int CR_SERVER_GONE_ERROR = 2006;
constexpr int CR_VERSION_ERROR = 2007;
constexpr int CR_OUT_OF_MEMORY = 2008;
constexpr int CR_HANDSHAKE_ERROR = 2012;
constexpr int CR_SERVER_LOST = 2013;
constexpr int CR_COMMANDS_OUT_OF_SYNC = 2014;
constexpr int CR_NET_PACKET_TOO_LARGE = 2020;
constexpr int CR_SSL_CONNECTION_ERROR = 2026;
constexpr int CR_MALFORMED_PACKET = 2027;
constexpr int CR_WRONG_PROTOCOL = 2046;
// An authentication method the connection does not allow (beyond the table
// of 2000 to 2047: its text always comes with the error).
constexpr int CR_AUTH_PLUGIN_CANNOT_LOAD = 2059;
// An authentication method failed on the client's side (its text always
// comes with the error), such as a full authentication that would have to
// send the password to a key nobody vouched for.
constexpr int CR_AUTH_PLUGIN_ERR = 2061;
// Server error numbers the client raises itself.
constexpr int ER_NET_PACKETS_OUT_OF_ORDER = 1156;
constexpr int ER_NET_UNCOMPRESS_ERROR = 1157;
}  // namespace mysqlerr

// The message template of a client error code (2000 to 2047); empty for any
// other code.
std::string MySqlClientErrorTemplate(int code);

class EMySqlException : public Exception {
 public:
  EMySqlException(int code, std::string message, bool serverError = false)
      : Exception(std::move(message)), code_(code), serverError_(serverError) {}

  int ErrorCode() const noexcept { return code_; }
  bool ServerErrorFlag() const noexcept { return serverError_; }

  // An error from the table: the code's template, and when an extra text is
  // given, the template, CR LF and the extra text (or the extra text alone
  // for 2003 and for codes without a template).
  static EMySqlException Create(int code, const std::string& extra = "");

  // The same with the template filled with printf-style arguments.
  template <typename... Args>
  static EMySqlException CreateFmt(int code, const std::string& extra, Args... args) {
    const std::string tmpl = MySqlClientErrorTemplate(code);
    return Compose(code, tmpl.empty() ? tmpl : Format(tmpl.c_str(), args...), extra);
  }

 private:
  static EMySqlException Compose(int code, const std::string& text, const std::string& extra);
  int code_;
  bool serverError_;
};

// The byte transport under a session. Read and Write return the number of
// bytes moved; fewer than asked means failure or end of stream, with
// LastError set on failure.
class TVio {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr Clock::time_point kNoDeadline = Clock::time_point::max();

  virtual ~TVio() = default;
  virtual void Connect() = 0;
  virtual void Close() = 0;
  virtual size_t Read(uint8_t* buffer, size_t count) = 0;
  virtual size_t Write(const uint8_t* buffer, size_t count) = 0;
  // Sets the receive and the connect time-out (seconds).
  virtual void SetTimeout(int seconds) = 0;
  virtual void SetReceiveTimeout(int seconds) = 0;
  virtual void SetSendTimeout(int seconds) = 0;
  virtual std::string LastError() const = 0;
  virtual int LastErrorCode() const = 0;
  // When at least count bytes are already buffered, consumes them and
  // returns where they are (valid until the next Read or Peek); otherwise
  // consumes nothing and returns nullptr.
  virtual const uint8_t* Peek(size_t /*count*/) { return nullptr; }
  // The moment after which Connect, Read and Write wait no longer: they fail
  // with the time-out error (10060) and return what they moved. It bounds a
  // whole exchange, where the time-outs above bound each single wait;
  // kNoDeadline (the default) leaves only those.
  virtual void SetDeadline(Clock::time_point /*deadline*/) {}
  // The caller's stop request, asked before every wait of Connect, Read and
  // Write and at least every 200 ms while one lasts: when it returns true the
  // wait ends with the interrupted error (10004). Empty: never asked.
  virtual void SetInterrupt(std::function<bool()> /*interrupt*/) {}
};

// A growable byte buffer that keeps its capacity and never zero-fills.
class TByteBuffer {
 public:
  uint8_t* Data() { return data_.get(); }
  const uint8_t* Data() const { return data_.get(); }
  size_t Size() const { return size_; }
  size_t Capacity() const { return capacity_; }
  void Reserve(size_t capacity);
  // Grows the size by n bytes (reserving as needed) and returns the start of
  // the new bytes. The capacity grows by half at a time, but never past
  // limit when the new size fits under it.
  uint8_t* Extend(size_t n, size_t limit = SIZE_MAX);
  void Resize(size_t n);
  void Append(const uint8_t* p, size_t n) {
    if (n) std::copy(p, p + n, Extend(n));
  }
  void Clear() { size_ = 0; }
  void Release() {
    data_.reset();
    capacity_ = size_ = 0;
  }

 private:
  std::unique_ptr<uint8_t[]> data_;
  size_t capacity_ = 0;
  size_t size_ = 0;
};

class TMySqlNet {
 public:
  static constexpr size_t kHeaderSize = 4;
  static constexpr size_t kCompHeaderSize = 3;
  static constexpr size_t kMaxPacketPart = 0xFFFFFF;
  static constexpr size_t kWriteBufferSize = 8192;
  static constexpr size_t kCompressThreshold = 50;
  static constexpr size_t kSkipBufferSize = 64 * 1024;
  // The largest joined payload accepted by default: far above the print
  // server's rows, far below what a hostile chain of full packets could make
  // the client allocate.
  static constexpr size_t kDefaultMaxPacket = 64u * 1024u * 1024u;

  TMySqlNet();
  ~TMySqlNet();
  TMySqlNet(const TMySqlNet&) = delete;
  TMySqlNet& operator=(const TMySqlNet&) = delete;

  // The transport, owned; replacing it frees the old one.
  TVio* Vio() const { return vio_.get(); }
  void SetVio(std::unique_ptr<TVio> vio) { vio_ = std::move(vio); }
  // Hands the transport over (to be wrapped, as by TLS); the layer has none
  // until the next SetVio.
  std::unique_ptr<TVio> ReleaseVio() { return std::move(vio_); }
  // Closes and frees the transport and empties every buffer.
  void Close();

  bool CompressOn() const { return compressOn_; }
  void SetCompressOn(bool on) { compressOn_ = on; }
  uint8_t PacketNumber() const { return packetNumber_; }
  uint8_t CompressedPacketNumber() const { return compPacketNumber_; }
  // The largest joined payload accepted from the server (2020 above it).
  size_t MaxPacketSize() const { return maxPacket_; }
  void SetMaxPacketSize(size_t bytes) { maxPacket_ = bytes ? bytes : kDefaultMaxPacket; }

  // --- writing ---
  void ResetForCommand();
  void ResetWriteBuffer();
  void WriteByte(uint8_t b);
  void WriteInt2(uint16_t v);
  void WriteInt3(uint32_t v);
  void WriteInt4(uint32_t v);
  void WriteInt8(uint64_t v);
  void WriteLenEnc(uint64_t v);
  void WriteZString(std::string_view s);
  void WriteRaw(const void* p, size_t n);
  void WriteFill(uint8_t b, size_t n);
  // A run of payload of any length; payloads of 0xFFFFFF bytes and more are
  // split into several packets. A run larger than the write buffer goes out
  // at once and ends the packet.
  void WriteRun(const void* p, size_t n);
  void Flush();
  void SendEmptyPacket();
  // Payload bytes assembled so far in the packet being written.
  size_t WritePayloadSize() const { return wbuf_.Size() - kHeaderSize; }

  // --- reading ---
  // Receives the next whole packet into the next ring buffer; a server error
  // packet raises its EMySqlException.
  void ReadPacket();
  // Receives a packet without keeping it; returns the length of the whole
  // joined payload and its first byte.
  size_t SkipPacket(uint8_t& firstByte);
  // The first piece (up to 64 KiB) of the packet skipped last.
  const uint8_t* SkipData() const { return skipBuf_.get(); }
  void SetRingSize(size_t n);
  size_t RingSize() const { return ring_.size(); }
  size_t ReceivedCount() const { return receivedCount_; }
  // The packet at index i among the received ones.
  const TByteBuffer& Received(size_t i) const;

  // The current packet and the read position in it. With a ring of one
  // buffer a packet that is whole in the transport's read-ahead is used
  // where it lies, without a copy, until the next read.
  const uint8_t* Data() const { return curData_; }
  size_t Size() const { return curSize_; }
  size_t Position() const { return pos_; }
  void SetPosition(size_t pos);
  void UseRingBuffer() {
    curData_ = ring_[current_].Data();
    curSize_ = ring_[current_].Size();
  }
  size_t Remaining() const { return Size() - pos_; }

  uint8_t ReadByte();
  uint16_t ReadInt2();
  uint32_t ReadInt3();
  uint32_t ReadInt4();
  uint64_t ReadInt8();
  // A length-encoded integer over the full 64-bit range; NULL (0xFB) reads
  // as 0 with isNull set.
  uint64_t ReadLenEnc(bool* isNull = nullptr);
  std::string ReadZString();
  std::string ReadBytes(size_t n);
  // A length-encoded string (NULL reads as empty).
  std::string ReadLenEncString();
  void Skip(size_t n);

  // Decodes a length-encoded integer at data[pos..size); advances pos. NULL
  // (0xFB) reads as 0 with isNull set. Raises 2027 when it runs past the end
  // or starts with 0xFF.
  static uint64_t DecodeLenEnc(const uint8_t* data, size_t size, size_t& pos, bool* isNull = nullptr);

 private:
  void Need(size_t n) const;
  void SendBytes(const uint8_t* p, size_t n);
  void SendFrame(const uint8_t* p, size_t n);
  void RawWrite(const uint8_t* p, size_t n);
  void ReadStream(uint8_t* p, size_t n);
  void ReadRestOfPayload(TByteBuffer& buf, size_t part);
  void CheckPacketNumber(uint8_t received);
  void RawRead(uint8_t* p, size_t n);
  void FillCompressed();
  void WriteHeader(size_t length);
  void AppendPart(const uint8_t* p, size_t n, size_t packetLength);
  void RaiseServerError(const uint8_t* p, size_t n);
  [[noreturn]] void RaiseLost();

  std::unique_ptr<TVio> vio_;
  std::vector<TByteBuffer> ring_;
  TByteBuffer wbuf_;
  size_t receivedCount_ = 0;
  size_t current_ = 0;
  size_t pos_ = 0;
  const uint8_t* curData_ = nullptr;
  size_t curSize_ = 0;
  bool firstPacket_ = true;
  TByteBuffer compBuf_;
  size_t compPos_ = 0;
  std::unique_ptr<uint8_t[]> skipBuf_;
  uint8_t packetNumber_ = 0;
  uint8_t compPacketNumber_ = 0;
  bool compressOn_ = false;
  size_t maxPacket_ = kDefaultMaxPacket;
};

}  // namespace bilhetor
