#pragma once
// The transport of the database fuzz targets: it plays server packets made
// from the fuzz input to the MySQL client. The input is a list of records,
// each a 2-byte little-endian length and that many payload bytes; the length
// 0xFFFF instead announces a large payload: a 3-byte length (up to 512 KiB),
// a pattern length byte and the pattern, repeated to that length. Each
// payload goes out as one packet with the sequence number the client
// expects, or, once the session has switched to the compressed protocol,
// inside a frame (deflated when it is longer than 50 bytes and its length is
// not a multiple of 3; announcing one byte too many when its length is a
// multiple of 7, so that inflating it fails).
#include <zlib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "db/MySqlNet.h"

namespace bilhetor::fuzz {

using TPackets = std::deque<std::string>;

inline std::shared_ptr<TPackets> SplitPackets(const uint8_t* data, size_t size) {
  auto packets = std::make_shared<TPackets>();
  size_t pos = 0;
  while (pos + 2 <= size) {
    const size_t len = data[pos] | (data[pos + 1] << 8);
    pos += 2;
    if (len == 0xFFFF) {
      if (pos + 4 > size) break;
      const size_t n = std::min<size_t>(data[pos] | (data[pos + 1] << 8) | (data[pos + 2] << 16), 512 * 1024);
      const size_t k = std::min<size_t>(data[pos + 3], size - pos - 4);
      pos += 4;
      std::string payload(n, '\0');
      for (size_t i = 0; k > 0 && i < n; ++i) payload[i] = static_cast<char>(data[pos + i % k]);
      pos += k;
      packets->push_back(std::move(payload));
      continue;
    }
    const size_t take = std::min(len, size - pos);
    packets->emplace_back(reinterpret_cast<const char*>(data + pos), take);
    pos += take;
  }
  return packets;
}

class TFuzzVio : public TVio {
 public:
  explicit TFuzzVio(std::shared_ptr<TPackets> packets) : packets_(std::move(packets)) {}
  void Connect() override {}
  void Close() override { closed_ = true; }
  size_t Read(uint8_t* buffer, size_t count) override {
    size_t done = 0;
    while (done < count && !closed_) {
      if (pos_ >= out_.size() && !NextPacket()) break;
      const size_t take = std::min(count - done, out_.size() - pos_);
      std::memcpy(buffer + done, out_.data() + pos_, take);
      pos_ += take;
      done += take;
    }
    return done;
  }
  // Also runs the client's zero-copy path when enabled.
  const uint8_t* Peek(size_t count) override {
    if (!peek_ || closed_ || compressed_ || out_.size() - pos_ < count) return nullptr;
    const auto* p = reinterpret_cast<const uint8_t*>(out_.data()) + pos_;
    pos_ += count;
    return p;
  }
  void EnablePeek(bool on) { peek_ = on; }
  // Tells whether the session reads compressed frames by now; asked before
  // each packet is framed.
  void SetCompressedWhen(std::function<bool()> when) { compressedWhen_ = std::move(when); }
  size_t Write(const uint8_t* buffer, size_t count) override {
    if (closed_) return 0;
    // The server's next packet (or frame) follows the client's.
    if (count >= 4) nextSeq_ = static_cast<uint8_t>(buffer[3] + 1);
    return count;
  }
  void SetTimeout(int) override {}
  void SetReceiveTimeout(int) override {}
  void SetSendTimeout(int) override {}
  std::string LastError() const override { return ""; }
  int LastErrorCode() const override { return 0; }

 private:
  static std::string Le3(size_t v) {
    return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16)};
  }
  bool NextPacket() {
    if (packets_->empty()) return false;
    const std::string p = std::move(packets_->front());
    packets_->pop_front();
    pos_ = 0;
    compressed_ = compressedWhen_ && compressedWhen_();
    if (!compressed_) {
      out_ = Le3(p.size()) + static_cast<char>(nextSeq_++) + p;
      return true;
    }
    const std::string inner = Le3(p.size()) + '\0' + p;
    std::string body = inner;
    size_t announced = 0;
    if (p.size() > 50 && p.size() % 3 != 0) {
      uLongf len = compressBound(static_cast<uLong>(inner.size()));
      body.assign(len, '\0');
      compress(reinterpret_cast<Bytef*>(body.data()), &len, reinterpret_cast<const Bytef*>(inner.data()),
               static_cast<uLong>(inner.size()));
      body.resize(len);
      announced = inner.size() + (p.size() % 7 == 0 ? 1 : 0);
    }
    out_ = Le3(body.size()) + static_cast<char>(nextSeq_++) + Le3(announced) + body;
    return true;
  }

  std::shared_ptr<TPackets> packets_;
  std::string out_;
  size_t pos_ = 0;
  uint8_t nextSeq_ = 0;
  bool closed_ = false;
  bool peek_ = false;
  bool compressed_ = false;
  std::function<bool()> compressedWhen_;
};

}  // namespace bilhetor::fuzz
