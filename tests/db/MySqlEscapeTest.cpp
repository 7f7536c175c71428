// String literals built for statements: escaped by the server's rules, and
// read back unchanged by a real server in both escaping modes.
#include <gtest/gtest.h>

#include "db/DbAccess.h"
#include "db/MySqlEscape.h"
#include "support/MariaDbServer.h"

namespace bilhetor {
namespace {

using testing::MariaDbServer;

TEST(MySqlEscape, EscapesByTheServersRules) {
  struct Caso {
    std::string texto, charset;
    bool semBarra;
    std::string esperado;
  };
  const std::vector<Caso> casos = {
      {"O'Brien", "latin1", false, "O\\'Brien"},
      {std::string("a\\b\"c\0d\n\r\x1A", 10), "latin1", false, "a\\\\b\\\"c\\0d\\n\\r\\Z"},
      {"O'Brien \\n", "latin1", true, "O''Brien \\n"},
      {"Jos\xE9 \x80", "latin1", false, "Jos\xE9 \x80"},
      {"\xC3\xA9'", "utf8", false, "\xC3\xA9\\'"},
      // A multi-byte character whose trail byte is a backslash or a quote
      // stays whole; the same bytes in latin1 are two characters.
      {"\x95\x5C'", "sjis", false, "\x95\x5C\\'"},
      {"\x95\x5C'", "latin1", false, "\x95\\\\\\'"},
      {"\xBF\x5C'", "gbk", false, "\xBF\x5C\\'"},
      {"\x81\x27", "gbk", false, "\x81\\'"},  // 27 is no trail byte in gbk
      {"\xA4\x5C", "big5", true, "\xA4\x5C"},
      // A lead byte at the end has no trail: it is a byte like any other.
      {"x\x95", "sjis", false, "x\x95"},
  };
  for (const Caso& c : casos)
    EXPECT_EQ(EscaparTextoSql(c.texto, c.charset, c.semBarra), c.esperado) << c.charset << " " << c.texto;
}

TEST(MySqlEscape, TheServerReadsTheLiteralBackUnchanged) {
  MariaDbServer& server = MariaDbServer::Instance();
  if (!server.Running()) server.Start();
  TDbConnection conn;
  conn.ProviderName = "MySQL";
  conn.SetServer(server.Host());
  conn.SetPort(server.Port());
  conn.SetUsername(MariaDbServer::kUser);
  conn.SetPassword(MariaDbServer::kPassword);
  conn.Connect();
  const std::vector<std::string> textos = {
      "O'Brien", "' OR '1'='1", "a\\'b", "\\", "\"aspas\"", std::string("nul\0l", 5), "linha\r\nquebra", "\x1A",
      "Jos\xE9 \xC1vila \x80", "''", "fim\\"};
  for (const char* modo : {"", "NO_BACKSLASH_ESCAPES"}) {
    TDbQuery set(&conn);
    set.SQL.Add(std::string("SET SESSION sql_mode = '") + modo + "'");
    set.Execute();
    for (const std::string& texto : textos) {
      TDbQuery q(&conn);
      q.SQL.Add("SELECT " + LiteralSql(conn, texto) + " AS t");
      q.Open();
      EXPECT_EQ(q.FieldByName("t").AsString(), texto) << modo << ": " << LiteralSql(conn, texto);
    }
  }
}

}  // namespace
}  // namespace bilhetor
