// Drives the MySQL client with server answers made from arbitrary bytes: the
// greeting, the authentication answers, result headers, column definitions
// and rows, payloads above 64 KiB and above the session's packet limit
// (2020), and, when the input asks for it, the compressed protocol. The input
// format is described in DbFuzzVio.h; the input's length picks the modes:
// odd lengths also run the zero-copy read path, lengths whose second bit is
// set ask for compression.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "DbFuzzVio.h"
#include "db/MySqlClient.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace bilhetor;
  auto packets = fuzz::SplitPackets(data, size);
  TMySQLAPIWire api;
  auto session = api.mysql_init();
  const bool peek = size % 2 == 1;
  const bool compress = (size / 2) % 2 == 1;
  TMySqlSession* s = session.get();
  session->vioFactory = [&](const std::string&, int) {
    auto v = std::make_unique<fuzz::TFuzzVio>(packets);
    v->EnablePeek(peek);
    v->SetCompressedWhen([s] { return s->net.CompressOn(); });
    return v;
  };
  session->dialogHandler = [](int, const std::string&) { return std::string("resposta"); };
  session->net.SetMaxPacketSize(256 * 1024);
  const uint32_t flags = 0x10002 | (compress ? mysqlflag::CLIENT_COMPRESS : 0);
  if (!api.mysql_real_connect(session.get(), "fuzz", "root", "senha", "loja", 3306, "", flags)) return 0;
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
