// The connection and query components against the private MariaDB server.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <stdexcept>
#include <string>

#include "db/DbAccess.h"
#include "support/FakeMySqlServer.h"
#include "support/MariaDbServer.h"

namespace bilhetor {
namespace {

using testing::MariaDbServer;

class DbAccessTest : public ::testing::Test {
 protected:
  MariaDbServer& server = MariaDbServer::Instance();
  TDbConnection conn;

  void SetUp() override {
    if (!server.Running()) server.Start();
    conn.ProviderName = "MySQL";
    conn.LoginPrompt = false;
    conn.SetServer(server.Host());
    conn.SetPort(server.Port());
    conn.SetUsername(MariaDbServer::kUser);
    conn.SetPassword(MariaDbServer::kPassword);
    conn.SetDatabase(MariaDbServer::kDatabase);
  }

  void Run(const std::string& sql) {
    TDbQuery q(&conn);
    q.SQL.Add(sql);
    q.Execute();
  }

  template <typename F>
  EDbError CatchDbError(F f) {
    try {
      f();
    } catch (const EDbError& e) {
      return e;
    }
    ADD_FAILURE() << "no EDbError raised";
    return EDbError(-1, "");
  }
};

TEST_F(DbAccessTest, ConnectAnnouncesTheCharacterSetOfTheCodePage) {
  conn.Connect();
  ASSERT_TRUE(conn.Connected());
  EXPECT_NE(conn.ServerVersion().find("MariaDB"), std::string::npos);
  EXPECT_EQ(conn.Internal()->Charset(), "latin1");
  TDbQuery q(&conn);
  q.SQL.Add("SELECT @@character_set_client AS c, @@character_set_results AS r,");
  q.SQL.Add("  DATABASE() AS d");
  q.Open();
  EXPECT_EQ(q.FieldByName("C").AsString(), "latin1");
  EXPECT_EQ(q.FieldByName("r").AsString(), "latin1");
  EXPECT_EQ(q.FieldByName("d").AsString(), MariaDbServer::kDatabase);
  conn.Connect();  // nothing happens when connected
  EXPECT_TRUE(q.Active());
  conn.Disconnect();
  EXPECT_FALSE(conn.Connected());
  EXPECT_FALSE(q.Active());
  conn.Disconnect();

  // A "host,anything" server text connects to host.
  conn.SetServer(server.Host() + ",3306");
  conn.CodePage = 65001;
  conn.Connect();
  EXPECT_TRUE(conn.Internal()->Utf8());
  q.SQL.Clear();
  q.SQL.Add("SELECT @@character_set_client");
  q.Open();
  EXPECT_EQ(q.Fields(0).AsString(), "utf8mb3");
}

TEST_F(DbAccessTest, EveryFieldKindThroughEveryAccessor) {
  Run("DROP TABLE IF EXISTS campos");
  Run("CREATE TABLE campos (id INT, b TINYINT(1), t TINYINT, su SMALLINT UNSIGNED, i INT, iu INT UNSIGNED,"
      " g BIGINT, d DECIMAL(12,3), f FLOAT, db DOUBLE, dt DATE, tm TIME, dh DATETIME, ch CHAR(5),"
      " vc VARCHAR(20), tx TEXT, bl BLOB, y YEAR)");
  Run("INSERT INTO campos VALUES (1, 1, -7, 65000, -123456, 4000000000, 9000000000, 12.500, 1.5, 2.25,"
      " '2024-02-29', '13:45:10', '2024-02-29 13:45:10', 'ab', '42', 'texto longo', x'0001', 2024),"
      " (2, 0, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, '2024-03-01 00:00:00', NULL, 'abc',"
      " NULL, NULL, NULL), (3, 0, 0, 0, 0, 0, 0, -0.5, 0, 1e20, '1999-12-31', '100:00:01', NULL, '', '12,5', '', '',"
      " NULL)");
  TDbQuery q(&conn);
  q.SQL.Add("SELECT * FROM campos ORDER BY id");
  q.Open();
  ASSERT_EQ(q.RecordCount(), 3);
  EXPECT_EQ(q.FieldByName("b").Kind(), TDbFieldKind::Boolean);
  EXPECT_EQ(q.FieldByName("t").Kind(), TDbFieldKind::Int8);
  EXPECT_EQ(q.FieldByName("su").Kind(), TDbFieldKind::UInt16);
  EXPECT_EQ(q.FieldByName("iu").Kind(), TDbFieldKind::UInt32);
  EXPECT_EQ(q.FieldByName("g").Kind(), TDbFieldKind::Int64);
  EXPECT_EQ(q.FieldByName("d").Kind(), TDbFieldKind::Float);
  EXPECT_EQ(q.FieldByName("dh").Kind(), TDbFieldKind::DateTime);
  EXPECT_EQ(q.FieldByName("ch").Kind(), TDbFieldKind::FixedString);
  EXPECT_EQ(q.FieldByName("vc").Kind(), TDbFieldKind::String);
  EXPECT_EQ(q.FieldByName("tx").Kind(), TDbFieldKind::Memo);
  EXPECT_EQ(q.FieldByName("bl").Kind(), TDbFieldKind::Blob);
  EXPECT_EQ(q.FieldByName("y").Kind(), TDbFieldKind::UInt16);

  // First row.
  EXPECT_EQ(q.FieldByName("b").AsString(), "True");
  EXPECT_EQ(q.FieldByName("t").AsString(), "-7");
  EXPECT_EQ(q.FieldByName("t").AsInteger(), -7);
  EXPECT_EQ(q.FieldByName("su").AsInteger(), 65000);
  EXPECT_EQ(q.FieldByName("i").AsFloat(), -123456.0);
  EXPECT_EQ(q.FieldByName("iu").AsString(), "4000000000");
  EXPECT_EQ(q.FieldByName("g").AsString(), "9000000000");
  EXPECT_EQ(q.FieldByName("g").AsInteger(), static_cast<int>(9000000000LL & 0xFFFFFFFF));
  EXPECT_EQ(q.FieldByName("g").AsFloat(), 9e9);
  EXPECT_EQ(q.FieldByName("d").AsString(), "12,5");
  EXPECT_EQ(q.FieldByName("d").AsFloat(), 12.5);
  EXPECT_EQ(q.FieldByName("d").AsInteger(), 12);  // halves to even
  EXPECT_EQ(q.FieldByName("f").AsString(), "1,5");
  EXPECT_EQ(q.FieldByName("f").AsInteger(), 2);
  EXPECT_EQ(q.FieldByName("db").AsString(), "2,25");
  EXPECT_EQ(q.FieldByName("dt").AsString(), "29/02/2024");
  EXPECT_EQ(q.FieldByName("dt").AsFloat(), 45351.0);  // 2024-02-29 as a day count from 1899-12-30
  EXPECT_EQ(q.FieldByName("tm").AsString(), "13:45:10");
  EXPECT_NEAR(q.FieldByName("tm").AsFloat(), (13 * 3600 + 45 * 60 + 10) / 86400.0, 1e-12);
  EXPECT_EQ(q.FieldByName("dh").AsString(), "29/02/2024 13:45:10");
  EXPECT_EQ(q.FieldByName("ch").AsString(), "ab");
  EXPECT_EQ(q.FieldByName("vc").AsInteger(), 42);
  EXPECT_EQ(q.FieldByName("tx").AsString(), "texto longo");
  EXPECT_EQ(q.FieldByName("bl").AsString(), std::string("\x00\x01", 2));
  EXPECT_EQ(q.FieldByName("y").AsString(), "2024");
  EXPECT_EQ(q.FieldByName("vc").AsFloat(), 42.0);
  try {
    q.FieldByName("b").AsInteger();
    ADD_FAILURE() << "Boolean read as Integer";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Cannot access field 'b' as type Integer");
  }
  try {
    q.FieldByName("dt").AsInteger();
    ADD_FAILURE() << "date read as Integer";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Cannot access field 'dt' as type Integer");
  }
  try {
    q.FieldByName("tx").AsFloat();
    ADD_FAILURE() << "memo read as Float";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Cannot access field 'tx' as type Float");
  }
  try {
    q.FieldByName("nada");
    ADD_FAILURE() << "unknown field found";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Field 'nada' not found");
  }

  // Second row: NULLs.
  q.Next();
  ASSERT_FALSE(q.Eof());
  EXPECT_EQ(q.FieldByName("b").AsString(), "False");
  for (const char* name : {"t", "i", "g", "d", "f"}) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(q.FieldByName(name).IsNull());
    EXPECT_EQ(q.FieldByName(name).AsString(), "");
    EXPECT_EQ(q.FieldByName(name).AsInteger(), 0);
    EXPECT_EQ(q.FieldByName(name).AsFloat(), 0.0);
  }
  EXPECT_EQ(q.FieldByName("dt").AsString(), "");
  EXPECT_EQ(q.FieldByName("dh").AsString(), "01/03/2024");  // midnight: the time is left out
  EXPECT_EQ(q.FieldByName("ch").AsString(), "");
  try {
    q.FieldByName("ch").AsInteger();
    ADD_FAILURE() << "NULL string read as Integer";
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "'' is not a valid integer value");
  }
  try {
    q.FieldByName("vc").AsInteger();
    ADD_FAILURE() << "'abc' read as Integer";
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "'abc' is not a valid integer value");
  }
  try {
    q.FieldByName("vc").AsFloat();
    ADD_FAILURE() << "'abc' read as Float";
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "'abc' is not a valid floating point value");
  }

  // Third row: edges.
  q.Next();
  EXPECT_EQ(q.FieldByName("d").AsString(), "-0,5");
  EXPECT_EQ(q.FieldByName("d").AsInteger(), 0);
  EXPECT_EQ(q.FieldByName("db").AsString(), "1E20");
  EXPECT_EQ(q.FieldByName("dt").AsString(), "31/12/1999");
  EXPECT_EQ(q.FieldByName("tm").AsString(), "04:00:01");  // 100 hours: the clock time
  EXPECT_NEAR(q.FieldByName("tm").AsFloat(), (100 * 3600 + 1) / 86400.0, 1e-12);
  EXPECT_TRUE(q.FieldByName("dh").IsNull());
  EXPECT_EQ(q.FieldByName("vc").AsFloat(), 12.5);
  EXPECT_FALSE(q.FieldByName("ch").IsNull());
  q.Next();
  EXPECT_TRUE(q.Eof());
  q.First();
  EXPECT_EQ(q.FieldByName("id").AsInteger(), 1);
}

TEST_F(DbAccessTest, EmptyResultsAndStatementsWithoutRows) {
  Run("DROP TABLE IF EXISTS itens");
  Run("CREATE TABLE itens (id INT PRIMARY KEY, impressao CHAR(1))");
  TDbQuery q(&conn);
  q.SQL.Add("SELECT * FROM itens");
  q.Open();
  EXPECT_TRUE(q.Active());
  EXPECT_TRUE(q.Eof());
  EXPECT_EQ(q.RecordCount(), 0);
  EXPECT_THROW(q.FieldByName("id").AsString(), EDatabaseError);
  q.Close();

  // Open of an update: it runs, then fails.
  q.SQL.Clear();
  q.SQL.Add("INSERT INTO itens VALUES (1, 'N'), (2, 'N')");
  try {
    q.Open();
    ADD_FAILURE() << "an insert opened rows";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "SQL statement doesn't return rows");
  }
  q.SQL.Clear();
  q.SQL.Add("UPDATE itens SET impressao = 'N'");
  q.Execute();
  EXPECT_EQ(q.RowsAffected(), 2u);  // found rows: matched, not changed
  // Execute of a select opens its rows.
  q.SQL.Clear();
  q.SQL.Add("SELECT COUNT(*) AS n FROM itens");
  q.Execute();
  EXPECT_TRUE(q.Active());
  EXPECT_EQ(q.FieldByName("n").AsInteger(), 2);

  // Duplicate key.
  TDbQuery dup(&conn);
  dup.SQL.Add("INSERT INTO itens VALUES (1, 'S')");
  const EDbError e = CatchDbError([&] { dup.Execute(); });
  EXPECT_EQ(e.ErrorCode(), 1062);
  EXPECT_NE(e.Message().find("Duplicate entry '1'"), std::string::npos);
  EXPECT_EQ(e.Component(), &conn);
  EXPECT_TRUE(conn.Connected());

  TDbQuery noConnection;
  noConnection.SQL.Add("SELECT 1");
  try {
    noConnection.Open();
    ADD_FAILURE() << "opened without a connection";
  } catch (const EDatabaseError& err) {
    EXPECT_EQ(err.Message(), "Connection is not defined");
  }
  conn.Disconnect();
  conn.Options.allowImplicitConnect = false;
  try {
    q.Open();
    ADD_FAILURE() << "implicit connect although switched off";
  } catch (const EDatabaseError& err) {
    EXPECT_EQ(err.Message(), "Connection is not connected");
  }
}

TEST_F(DbAccessTest, UnsignedBigintAbove2To63) {
  TDbQuery q(&conn);
  q.SQL.Add("SELECT CAST(18446744073709551610 AS UNSIGNED) AS u, CAST(-5 AS SIGNED) AS s");
  q.Open();
  EXPECT_EQ(q.FieldByName("u").Kind(), TDbFieldKind::Int64);
  EXPECT_EQ(q.FieldByName("u").AsString(), "18446744073709551610");
  EXPECT_EQ(q.FieldByName("u").AsFloat(), 18446744073709551610.0);
  EXPECT_EQ(q.FieldByName("s").AsString(), "-5");
  EXPECT_EQ(q.FieldByName("s").AsFloat(), -5.0);
}

TEST_F(DbAccessTest, SyntaxErrorsCarryTheLineNumber) {
  TDbQuery q(&conn);
  q.SQL.Add("SELECT id");
  q.SQL.Add("FROM dual");
  q.SQL.Add("WHERE WHERE");
  const EDbError e = CatchDbError([&] { q.Open(); });
  EXPECT_EQ(e.ErrorCode(), 1064);
  EXPECT_EQ(e.LineNumber(), 3);
  EXPECT_EQ(e.Message().rfind("#42000You have an error in your SQL syntax", 0), 0u) << e.Message();
  EXPECT_FALSE(q.Active());
  // Other errors have no line number.
  q.SQL.Clear();
  q.SQL.Add("SELECT * FROM nao_existe_1");
  const EDbError missing = CatchDbError([&] { q.Open(); });
  EXPECT_EQ(missing.ErrorCode(), 1146);
  EXPECT_EQ(missing.LineNumber(), 0);
}

TEST_F(DbAccessTest, ChangingParametersAndOnError) {
  conn.Connect();
  conn.SetPassword(MariaDbServer::kPassword);
  EXPECT_TRUE(conn.Connected());
  conn.SetServer(server.Host());
  EXPECT_TRUE(conn.Connected());
  conn.SetDatabase("  mysql ");
  EXPECT_EQ(conn.Database(), "mysql");
  TDbQuery q(&conn);
  q.SQL.Add("SELECT DATABASE()");
  q.Open();
  EXPECT_EQ(q.Fields(0).AsString(), "mysql");
  conn.SetPassword("outra");
  EXPECT_FALSE(conn.Connected());
  EXPECT_FALSE(q.Active());
  // The next Open connects implicitly with the new password.
  const EDbError denied = CatchDbError([&] { q.Open(); });
  EXPECT_EQ(denied.ErrorCode(), 1045);
  EXPECT_FALSE(conn.Connected());

  // OnError sees the error and may turn it into a silent abort.
  int calls = 0;
  conn.OnError = [&](TDbConnection&, const EDbError& e, bool& fail) {
    ++calls;
    EXPECT_EQ(e.ErrorCode(), 1045);
    fail = false;
  };
  EXPECT_THROW(q.Open(), EAbort);
  EXPECT_EQ(calls, 1);
  conn.OnError = nullptr;
  conn.SetPassword(MariaDbServer::kPassword);
  q.Open();
  EXPECT_EQ(q.Fields(0).AsString(), "mysql");
}

TEST_F(DbAccessTest, ServerRestartedBetweenStatements) {
  TDbQuery q(&conn);
  q.SQL.Add("SELECT 1 AS um");
  q.Open();
  int reconnects = 0;
  conn.AfterConnect = [&](TDbConnection&) { ++reconnects; };
  server.Restart();
  const EDbError lost = CatchDbError([&] { q.Open(); });
  EXPECT_EQ(lost.ErrorCode(), 2013);
  EXPECT_EQ(lost.Message().rfind("Lost connection to MySQL server during query", 0), 0u) << lost.Message();
  // One immediate reconnect: the next statement works without Connect.
  EXPECT_EQ(reconnects, 1);
  EXPECT_TRUE(conn.Connected());
  q.Open();
  EXPECT_EQ(q.FieldByName("um").AsInteger(), 1);
}

TEST_F(DbAccessTest, ServerStillDown) {
  TDbQuery q(&conn);
  q.SQL.Add("SELECT 2 AS dois");
  q.Open();
  std::vector<int> seen;
  conn.OnError = [&](TDbConnection&, const EDbError& e, bool&) { seen.push_back(e.ErrorCode()); };
  server.Stop();
  const EDbError lost = CatchDbError([&] { q.Open(); });
  EXPECT_EQ(lost.ErrorCode(), 2013);
  EXPECT_FALSE(conn.Connected());
  EXPECT_EQ(seen, (std::vector<int>{2013, 2003}));
  for (int i = 0; i < 2; ++i) {
    const EDbError refused = CatchDbError([&] { q.Open(); });
    EXPECT_EQ(refused.ErrorCode(), 2003);
    EXPECT_NE(refused.Message().find("Cannot connect to server on host '127.0.0.1'"), std::string::npos);
    EXPECT_FALSE(conn.Connected());
  }
  server.Start();
  q.Open();
  EXPECT_TRUE(conn.Connected());
  EXPECT_EQ(q.FieldByName("dois").AsInteger(), 2);
}

// UTF-8 mode against the server: a user name, a password and database names
// with accents and the euro sign, statement text, result text, a column name
// and a server message, each round trip in the application's code page:
// UTF-8 itself (65001) and Windows-1252 with "UseUnicode".
TEST_F(DbAccessTest, Utf8ModeRoundTrips) {
  // The accounts and databases, created in UTF-8.
  std::string setup = "SET NAMES utf8mb4;\n";
  for (const char* host : {"127.0.0.1", "localhost"}) {
    setup += std::string("CREATE USER IF NOT EXISTS 'jos\xC3\xA9'@'") + host +
             "' IDENTIFIED BY 'se\xC3\xB1" "a\xE2\x82\xAC';\n";
    setup += std::string("GRANT ALL ON *.* TO 'jos\xC3\xA9'@'") + host + "';\n";
  }
  setup += "CREATE DATABASE IF NOT EXISTS `caf\xC3\xA9\xE2\x82\xAC`;\n";
  setup += "CREATE DATABASE IF NOT EXISTS `dep\xC3\xB3sito`;\n";
  setup += "CREATE TABLE IF NOT EXISTS `caf\xC3\xA9\xE2\x82\xAC`.nomes (id INT, nome VARCHAR(40)) CHARACTER SET utf8mb4;\n";
  server.Sql(setup);

  struct Mode {
    const char* what;
    int codePage;
    bool useUnicode;
    // The texts in the application's code page.
    std::string user, password, database, database2, name, column, table;
  };
  const std::vector<Mode> modes = {
      {"code page 65001", 65001, false, "jos\xC3\xA9", "se\xC3\xB1" "a\xE2\x82\xAC", "caf\xC3\xA9\xE2\x82\xAC",
       "dep\xC3\xB3sito", "Jos\xC3\xA9 \xE2\x82\xAC", "pre\xC3\xA7o", "n\xC3\xA3o_existe\xE2\x82\xAC"},
      {"Windows-1252 with UseUnicode", 1252, true, "jos\xE9", "se\xF1" "a\x80", "caf\xE9\x80", "dep\xF3sito",
       "Jos\xE9 \x80", "pre\xE7o", "n\xE3o_existe\x80"},
  };
  for (const Mode& m : modes) {
    SCOPED_TRACE(m.what);
    TDbConnection c;
    c.SetServer(server.Host());
    c.SetPort(server.Port());
    c.SetUsername(m.user);
    c.SetPassword(m.password);
    c.SetDatabase(m.database);
    c.CodePage = m.codePage;
    if (m.useUnicode) c.SpecificOptions.SetValue("UseUnicode", "True");
    c.Connect();
    ASSERT_TRUE(c.Connected());
    EXPECT_TRUE(c.Internal()->Utf8());
    TDbQuery q(&c);
    q.SQL.Add("SELECT CURRENT_USER() AS u, DATABASE() AS d, 1 AS `" + m.column + "`");
    q.Open();
    EXPECT_EQ(q.FieldByName("u").AsString(), m.user + "@127.0.0.1");
    EXPECT_EQ(q.FieldByName("d").AsString(), m.database);
    EXPECT_EQ(q.FieldByName(m.column).AsInteger(), 1);

    q.SQL.Clear();
    q.SQL.Add("DELETE FROM nomes");
    q.Execute();
    q.SQL.Clear();
    q.SQL.Add("INSERT INTO nomes VALUES (1, '" + m.name + "')");
    q.Execute();
    q.SQL.Clear();
    q.SQL.Add("SELECT nome, HEX(nome) AS bytes, CHAR_LENGTH(nome) AS chars FROM nomes");
    q.Open();
    EXPECT_EQ(q.FieldByName("nome").AsString(), m.name);
    // Stored as UTF-8 once, not twice.
    EXPECT_EQ(q.FieldByName("bytes").AsString(), "4A6F73C3A920E282AC");
    EXPECT_EQ(q.FieldByName("chars").AsInteger(), 6);

    // A server message naming an object with accents.
    q.SQL.Clear();
    q.SQL.Add("SELECT * FROM `" + m.table + "`");
    const EDbError missing = CatchDbError([&] { q.Open(); });
    EXPECT_EQ(missing.ErrorCode(), 1146);
    EXPECT_NE(missing.Message().find(m.table), std::string::npos) << missing.Message();

    // Switching the database of an open session.
    c.SetDatabase(m.database2);
    q.SQL.Clear();
    q.SQL.Add("SELECT DATABASE() AS d");
    q.Open();
    EXPECT_EQ(q.FieldByName("d").AsString(), m.database2);
    c.Disconnect();
  }
}

// A server older than 4.1: no "SET NAMES" after login, the older column
// definitions, and the compact TIMESTAMP forms read by their width.
TEST(DbAccessOldServerTest, OldProtocolAndCompactTimestamps) {
  using testing::FakeMySqlConnection;
  using testing::LenEncString;
  const auto column = [](const std::string& name, uint8_t type, uint32_t length) {
    std::string len3 = {static_cast<char>(length), static_cast<char>(length >> 8), static_cast<char>(length >> 16)};
    return LenEncString("t") + LenEncString(name) + LenEncString(len3) + LenEncString(std::string(1, static_cast<char>(type))) +
           LenEncString(std::string("\x00\x00\x00", 3));
  };
  std::vector<std::string> queries;
  testing::FakeMySqlServer server([&](FakeMySqlConnection& c) {
    testing::FakeGreeting g;
    g.version = "4.0.27";
    g.capabilities = 0x200D;  // long password, long flag, connect with database, transactions
    c.SendPacket(0, g.Build());
    c.ReadPacket();
    c.SendPacket(2, std::string("\x00\x00\x00\x02\x00", 5));
    for (int round = 0; round < 3; ++round) {
      queries.push_back(c.ReadPacket().payload);
      uint8_t seq = 1;
      if (round == 0) {
        c.SendPacket(seq++, "\x03");
        c.SendPacket(seq++, column("longo", 7, 14));
        c.SendPacket(seq++, column("curto", 7, 6));
        c.SendPacket(seq++, column("hora", 11, 10));
        c.SendPacket(seq++, "\xFE");
        c.SendPacket(seq++, LenEncString("20240229134510") + LenEncString("991231") + LenEncString("1234:05:06"));
        c.SendPacket(seq++, "\xFE");
      } else {
        c.SendPacket(seq++, "\x01");
        c.SendPacket(seq++, round == 1 ? column("estranho", 7, 13) : column("hora", 11, 10));
        c.SendPacket(seq++, "\xFE");
        c.SendPacket(seq++, LenEncString(round == 1 ? "2024022913451" : "12345:00:00"));
        c.SendPacket(seq++, "\xFE");
      }
    }
    c.ReadUntilClosed();
  });
  TDbConnection conn;
  conn.SetServer("127.0.0.1");
  conn.SetPort(server.Port());
  conn.SetUsername("root");
  conn.SetPassword("x");
  // Such a server knows only the old scramble.
  conn.SpecificOptions.SetValue("AllowedAuthMethods", "mysql_old_password");
  conn.Connect();
  EXPECT_EQ(conn.Internal()->Version().major, 4);
  TDbQuery q(&conn);
  q.SQL.Add("SELECT longo, curto, hora FROM t");
  q.Open();
  EXPECT_EQ(q.FieldByName("longo").AsString(), "29/02/2024 13:45:10");
  EXPECT_EQ(q.FieldByName("curto").AsString(), "31/12/1999");
  EXPECT_EQ(q.FieldByName("hora").AsString(), "10:05:06");  // 1234 hours
  try {
    q.Open();
    ADD_FAILURE() << "odd TIMESTAMP width accepted";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Invalid FIELD_TYPE_TIMESTAMP Field.Length (13)");
  }
  EXPECT_FALSE(q.Active());
  try {
    q.Open();
    ADD_FAILURE() << "five-digit hours accepted";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Wrong time format at field hora");
  }
  conn.Disconnect();
  ASSERT_EQ(server.Finish(), "");
  ASSERT_EQ(queries.size(), 3u);
  for (const auto& sent : queries) EXPECT_EQ(sent, "\x03SELECT longo, curto, hora FROM t\r\n");
}

// Packets of a scripted peer, plain or inside uncompressed frames of the
// compressed protocol.
class PeerPackets {
 public:
  PeerPackets(testing::FakeMySqlConnection& c, bool framed) : c_(c), framed_(framed) {}
  std::string ReadCommand() {
    if (!framed_) return c_.ReadPacket().payload;
    const std::string h = c_.ReadExactly(7);
    const size_t len = Le(h, 0, 3);
    if (Le(h, 4, 3) != 0) throw std::runtime_error("compressed command not expected");
    return c_.ReadExactly(len).substr(4);
  }
  void Send(uint8_t seq, const std::string& payload) {
    if (!framed_) return c_.SendPacket(seq, payload);
    SendFrame(seq, Bytes(payload.size(), 3) + static_cast<char>(seq) + payload, 0);
  }
  void SendFrame(uint8_t seq, const std::string& data, size_t announced) {
    c_.SendRaw(Bytes(data.size(), 3) + static_cast<char>(seq) + Bytes(announced, 3) + data);
  }

 private:
  static size_t Le(const std::string& s, size_t at, size_t n) {
    size_t v = 0;
    for (size_t i = n; i-- > 0;) v = (v << 8) | static_cast<uint8_t>(s[at + i]);
    return v;
  }
  static std::string Bytes(size_t v, int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s.push_back(static_cast<char>(v >> (8 * i)));
    return s;
  }
  testing::FakeMySqlConnection& c_;
  bool framed_;
};

// However the link broke, the connection reconnects once before the error
// is raised, and the next statement works; an error the server sent whole
// (even one numbered 0) leaves the link as it is. No error reads as success.
TEST(DbAccessFailureTest, EveryBrokenLinkReconnectsAndNoErrorPassesAsSuccess) {
  using testing::ColumnDef;
  using testing::EofPacket;
  using testing::FakeMySqlConnection;
  using testing::OkPacket;
  struct Case {
    const char* what;
    bool compress;
    bool viaExecute;
    std::function<void(PeerPackets&)> answer;  // to the first statement
    int code;
    bool reconnects;
  };
  const std::string zero = std::string("\xFF\x00\x00", 3) + "#HY000boom";
  const auto packets = [](std::vector<std::string> list) {
    return [list](PeerPackets& p) {
      uint8_t seq = 1;
      for (const auto& x : list) p.Send(seq++, x);
    };
  };
  const std::string col = ColumnDef("um", 3);
  const std::vector<Case> cases = {
      {"column definitions end too early (2000)", false, false, packets({"\x02", col, EofPacket()}), 2000, true},
      {"row above MaxAllowedPacket (2020)", false, false,
       packets({"\x01", col, EofPacket(), "\xFC\x40\x1F" + std::string(8000, 'x')}), 2020, true},
      {"row value past its packet (2027)", false, false, packets({"\x01", col, EofPacket(), "\x05" "ab"}), 2027,
       true},
      {"packet out of order (1156)", false, false, [](PeerPackets& p) { p.Send(7, OkPacket()); }, 1156, true},
      {"frame that does not uncompress (1157)", true, false,
       [](PeerPackets& p) { p.SendFrame(1, "not zlib at all", 100); }, 1157, true},
      {"update answered by error number 0", false, true, packets({zero}), 2000, false},
      {"two rows, then error number 0", false, false,
       packets({"\x01", col, EofPacket(), "\x01" "1", "\x01" "2", zero}), 2000, false},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    testing::FakeMySqlServer server(
        [&](FakeMySqlConnection& c) {
          c.SendPacket(0, testing::FakeGreeting().Build());
          c.ReadPacket();
          c.SendPacket(2, OkPacket());
          PeerPackets p(c, k.compress);
          p.ReadCommand();  // SET NAMES
          p.Send(1, OkPacket());
          if (c.Index() == 0) {
            p.ReadCommand();
            k.answer(p);
            if (k.reconnects) {
              c.ReadUntilClosed(1000);
              return;
            }
          }
          if (p.ReadCommand() != "\x03SELECT 1 AS um\r\n") throw std::runtime_error("unexpected statement");
          p.Send(1, "\x01");
          p.Send(2, col);
          p.Send(3, EofPacket());
          p.Send(4, "\x01" "1");
          p.Send(5, EofPacket());
          c.ReadUntilClosed(2000);
        },
        k.reconnects ? 2 : 1);
    TDbConnection conn;
    conn.SetServer("127.0.0.1");
    conn.SetPort(server.Port());
    conn.SetUsername("root");
    conn.SetPassword("x");
    conn.SpecificOptions.SetValue("MaxAllowedPacket", "4096");
    if (k.compress) conn.SpecificOptions.SetValue("Compress", "True");
    int connects = 0;
    conn.AfterConnect = [&](TDbConnection&) { ++connects; };
    TDbQuery q(&conn);
    q.SQL.Add(k.viaExecute ? "UPDATE t SET v = 1" : "SELECT 1 AS um");
    int code = 0;
    try {
      if (k.viaExecute)
        q.Execute();
      else
        q.Open();
      ADD_FAILURE() << "the statement succeeded";
    } catch (const EDbError& e) {
      code = e.ErrorCode();
      if (code == 2000 && !k.reconnects) {
        EXPECT_EQ(e.Message(), "Unknown MySQL error\r\n#HY000boom");
      }
    }
    EXPECT_EQ(code, k.code);
    EXPECT_FALSE(q.Active());
    EXPECT_EQ(connects, k.reconnects ? 2 : 1);
    EXPECT_TRUE(conn.Connected());
    q.SQL.Clear();
    q.SQL.Add("SELECT 1 AS um");
    q.Open();
    EXPECT_EQ(q.RecordCount(), 1);
    EXPECT_EQ(q.FieldByName("um").AsInteger(), 1);
    conn.Disconnect();
    ASSERT_EQ(server.Finish(), "");
  }
}

TEST(DbAccessUnitTest, NumberAndDateFormats) {
  EXPECT_EQ(FloatToText(2.0), "2");
  EXPECT_EQ(FloatToText(12.5), "12,5");
  EXPECT_EQ(FloatToText(-0.25), "-0,25");
  EXPECT_EQ(FloatToText(0.1 + 0.2), "0,3");
  EXPECT_EQ(FloatToText(1.0 / 3), "0,333333333333333");
  EXPECT_EQ(FloatToText(123456789012345.0), "123456789012345");
  EXPECT_EQ(FloatToText(1e15), "1E15");
  EXPECT_EQ(FloatToText(0.00001), "0,00001");
  EXPECT_EQ(FloatToText(0.000001), "1E-6");
  EXPECT_EQ(FloatToText(2.5, '.'), "2.5");
  int y, m, d;
  for (const auto& [yy, mm, dd] : {std::tuple{1899, 12, 30}, {1900, 3, 1}, {2000, 2, 29}, {2024, 12, 31}, {1600, 1, 1}}) {
    DecodeDate(EncodeDate(yy, mm, dd), y, m, d);
    EXPECT_EQ(std::tie(y, m, d), std::tie(yy, mm, dd));
  }
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
  EXPECT_EQ(EncodeDate(1900, 1, 1), 2.0);
}

TEST(DbAccessUnitTest, ColumnKindsAndCharsets) {
  TMySqlFieldInfo c;
  c.type = 1;
  c.length = 1;
  EXPECT_EQ(FieldKindOf(c), TDbFieldKind::Boolean);
  TDbQueryOptions noBool;
  noBool.enableBoolean = false;
  EXPECT_EQ(FieldKindOf(c, noBool), TDbFieldKind::Int8);
  c.type = 8;
  c.length = 11;
  TDbQueryOptions optimized;
  optimized.optimizedBigint = true;
  EXPECT_EQ(FieldKindOf(c, optimized), TDbFieldKind::Int32);
  EXPECT_EQ(FieldKindOf(c), TDbFieldKind::Int64);
  c.type = 252;
  c.flags = 128;
  c.charsetNr = 63;
  EXPECT_EQ(FieldKindOf(c), TDbFieldKind::Blob);
  c.charsetNr = 8;
  EXPECT_EQ(FieldKindOf(c), TDbFieldKind::Memo);
  c.type = 200;
  try {
    FieldKindOf(c);
    ADD_FAILURE() << "unknown type accepted";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Unknown MySQL datatype (200)");
  }
  EXPECT_EQ(CharsetForCodePage(1252), "latin1");
  EXPECT_EQ(CharsetForCodePage(850), "cp850");
  EXPECT_EQ(CharsetForCodePage(65001), "utf8");
  EXPECT_EQ(CharsetForCodePage(12345), "");
  EXPECT_EQ(MaxBytesPerChar("utf8mb4"), 4);
  EXPECT_EQ(MaxBytesPerChar("UTF8"), 3);
  EXPECT_EQ(MaxBytesPerChar("gbk"), 2);
  EXPECT_EQ(MaxBytesPerChar("latin1"), 1);
  EXPECT_EQ(EDbError(1064, "#42000You have an error near 'x' at line 12").LineNumber(), 12);
  EXPECT_EQ(EDbError(1146, "Table 'x' doesn't exist at line 12").LineNumber(), 0);
}

}  // namespace
}  // namespace bilhetor
