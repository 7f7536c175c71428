// Drives the MySQL client with server answers made from arbitrary bytes: the
// greeting, the authentication answers, result headers, column definitions
// and rows. The input is a list of packets, each a 2-byte little-endian
// length and the payload; the transport frames them with the sequence
// numbers the client expects, so the bytes reach the parsers.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <string>

#include "db/MySqlClient.h"

namespace {

using namespace bilhetor;

class TFuzzVio : public TVio {
 public:
  explicit TFuzzVio(std::deque<std::string> packets) : packets_(std::move(packets)) {}
  void Connect() override {}
  void Close() override { closed_ = true; }
  size_t Read(uint8_t* buffer, size_t count) override {
    size_t done = 0;
    while (done < count && !closed_) {
      if (pos_ >= out_.size()) {
        if (packets_.empty()) break;
        const std::string p = std::move(packets_.front());
        packets_.pop_front();
        out_.assign({static_cast<char>(p.size()), static_cast<char>(p.size() >> 8), '\0',
                     static_cast<char>(nextSeq_++)});
        out_ += p;
        pos_ = 0;
      }
      const size_t take = std::min(count - done, out_.size() - pos_);
      std::memcpy(buffer + done, out_.data() + pos_, take);
      pos_ += take;
      done += take;
    }
    return done;
  }
  // Odd-numbered inputs also run the client's zero-copy path.
  const uint8_t* Peek(size_t count) override {
    if (!peek_ || closed_ || out_.size() - pos_ < count) return nullptr;
    const auto* p = reinterpret_cast<const uint8_t*>(out_.data()) + pos_;
    pos_ += count;
    return p;
  }
  void EnablePeek(bool on) { peek_ = on; }
  size_t Write(const uint8_t* buffer, size_t count) override {
    if (closed_) return 0;
    // The server's next packet follows the client's.
    if (count >= 4) nextSeq_ = static_cast<uint8_t>(buffer[3] + 1);
    return count;
  }
  void SetTimeout(int) override {}
  void SetReceiveTimeout(int) override {}
  void SetSendTimeout(int) override {}
  std::string LastError() const override { return ""; }
  int LastErrorCode() const override { return 0; }

 private:
  std::deque<std::string> packets_;
  std::string out_;
  size_t pos_ = 0;
  uint8_t nextSeq_ = 0;
  bool closed_ = false;
  bool peek_ = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::deque<std::string> packets;
  size_t pos = 0;
  while (pos + 2 <= size) {
    const size_t len = data[pos] | (data[pos + 1] << 8);
    pos += 2;
    const size_t take = std::min(len, size - pos);
    packets.emplace_back(reinterpret_cast<const char*>(data + pos), take);
    pos += take;
  }
  TMySQLAPIWire api;
  auto session = api.mysql_init();
  const bool peek = size % 2 == 1;
  session->vioFactory = [&packets, peek](const std::string&, int) {
    auto vio = std::make_unique<TFuzzVio>(packets);
    vio->EnablePeek(peek);
    return vio;
  };
  session->dialogHandler = [](int, const std::string&) { return std::string("resposta"); };
  session->net.SetMaxPacketSize(1 << 20);
  if (!api.mysql_real_connect(session.get(), "fuzz", "root", "senha", "loja", 3306, "", 0x10002)) return 0;
  for (int statement = 0; statement < 2; ++statement) {
    if (api.mysql_query(session.get(), "SELECT 1") != 0) continue;
    for (int result = 0; result < 4; ++result) {
      if (api.mysql_field_count(session.get()) > 0) {
        auto res = api.mysql_use_result(session.get());
        if (!res) break;
        for (int row = 0; row < 64 && api.mysql_fetch_row(res.get()); ++row) {
          for (size_t i = 0; i < res->FieldCount(); ++i) {
            const std::string_view v = res->Value(i);
            volatile char sink = v.empty() ? 0 : v.front() ^ v.back();
            (void)sink;
          }
        }
        // Results of more than 64 rows are freed half read.
        api.mysql_free_result(std::move(res));
      }
      if (!api.mysql_more_results(session.get()) || api.mysql_next_result(session.get()) != 0) break;
    }
  }
  api.mysql_ping(session.get());
  api.mysql_close(std::move(session));
  return 0;
}
