// Drives the connection and query components with server answers made from
// arbitrary bytes (format in DbFuzzVio.h): connect with "SET NAMES", a query
// whose rows are converted into every field kind and read through every
// accessor, an update, and the reconnect that follows a broken link (the
// reconnect takes its packets from the rest of the input). The input's
// length picks the options: UTF-8 mode on Windows-1252 text, every column as
// a string, the compressed protocol.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "DbFuzzVio.h"
#include "db/DbAccess.h"

namespace {

using namespace bilhetor;

void Walk(TDbQuery& q) {
  for (q.First(); !q.Eof(); q.Next()) {
    for (size_t i = 0; i < q.FieldCount(); ++i) {
      TDbField& f = q.Fields(i);
      try {
        volatile size_t sink = f.AsString().size();
        (void)sink;
        volatile int asInt = f.AsInteger();
        (void)asInt;
        volatile double asFloat = f.AsFloat();
        (void)asFloat;
      } catch (const Exception&) {
        // Conversion errors are the accessors' answers to odd values.
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto packets = fuzz::SplitPackets(data, size);
  TDbConnection conn;
  conn.SetServer("fuzz");
  conn.SetUsername("root");
  conn.SetPassword("senha");
  conn.SetDatabase("loja");
  conn.SpecificOptions.SetValue("MaxAllowedPacket", "262144");
  if (size % 3 == 1) conn.SpecificOptions.SetValue("UseUnicode", "True");
  if (size % 5 == 2) conn.SpecificOptions.SetValue("Compress", "True");
  conn.VioFactory = [&](const std::string&, int) {
    auto v = std::make_unique<fuzz::TFuzzVio>(packets);
    v->EnablePeek(size % 2 == 1);
    // The frames start once the session has logged in with compression.
    v->SetCompressedWhen([&conn] {
      const TMySQLConnection* i = conn.Internal();
      return i && i->Session() && i->Session()->net.CompressOn();
    });
    return v;
  };
  TDbQuery q(&conn);
  if (size % 7 == 3) q.SpecificOptions.SetValue("FieldsAsString", "True");
  for (int round = 0; round < 3; ++round) {
    try {
      q.SQL.Clear();
      q.SQL.Add(round == 1 ? "UPDATE imprimir SET impressao = 'S'" : "SELECT * FROM imprimir");
      if (round == 1)
        q.Execute();
      else
        q.Open();
      Walk(q);
    } catch (const Exception&) {
      // Every failure surfaces as an exception of the components.
    }
    if (packets->empty()) break;
  }
  return 0;
}
