// The MySQL client against a real MariaDB server started by the test harness.
#include <gtest/gtest.h>


#include <memory>
#include <string>
#include <thread>

#include "db/MySqlClient.h"
#include "support/MariaDbServer.h"

namespace bilhetor {
namespace {

using testing::MariaDbServer;

// Starts the shared server once for the whole test executable.
class MariaDbEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { MariaDbServer::Instance(); }
  void TearDown() override { MariaDbServer::Instance().Stop(); }
};
// gtest takes ownership of the environment.
::testing::Environment* const kEnvironment = ::testing::AddGlobalTestEnvironment(new MariaDbEnvironment);

constexpr uint32_t kPrintServerFlags = mysqlflag::CLIENT_MULTI_STATEMENTS | mysqlflag::CLIENT_FOUND_ROWS;

class MySqlServerTest : public ::testing::Test {
 protected:
  MariaDbServer& server = MariaDbServer::Instance();
  TMySQLAPIWire api;

  std::unique_ptr<TMySqlSession> Open(const std::string& user = MariaDbServer::kUser,
                                      const std::string& password = MariaDbServer::kPassword,
                                      uint32_t flags = kPrintServerFlags,
                                      const std::string& db = MariaDbServer::kDatabase) {
    auto s = api.mysql_init();
    api.mysql_options(s.get(), MYSQL_OPT_CONNECT_TIMEOUT, 10);
    TMySqlSession* r = api.mysql_real_connect(s.get(), server.Host(), user, password, db, server.Port(), "", flags);
    EXPECT_EQ(r, s.get()) << api.mysql_errno(s.get()) << " " << api.mysql_error(s.get());
    return s;
  }

  void Exec(TMySqlSession* s, const std::string& sql) {
    ASSERT_EQ(api.mysql_query(s, sql), 0) << api.mysql_error(s) << "\n" << sql.substr(0, 200);
    ASSERT_EQ(api.mysql_field_count(s), 0u) << sql.substr(0, 200);
  }

  // Runs a query and returns every row as strings ("<NULL>" for NULL).
  std::vector<std::vector<std::string>> Rows(TMySqlSession* s, const std::string& sql) {
    std::vector<std::vector<std::string>> rows;
    EXPECT_EQ(api.mysql_query(s, sql), 0) << api.mysql_error(s) << "\n" << sql.substr(0, 200);
    auto res = api.mysql_use_result(s);
    EXPECT_NE(res, nullptr) << sql.substr(0, 200);
    if (!res) return rows;
    while (api.mysql_fetch_row(res.get())) {
      std::vector<std::string> row;
      for (size_t i = 0; i < res->FieldCount(); ++i)
        row.push_back(res->IsNull(i) ? "<NULL>" : std::string(res->Value(i)));
      rows.push_back(std::move(row));
    }
    EXPECT_EQ(api.mysql_errno(s), 0) << api.mysql_error(s);
    api.mysql_free_result(std::move(res));
    return rows;
  }

  std::string Scalar(TMySqlSession* s, const std::string& sql) {
    const auto rows = Rows(s, sql);
    if (rows.size() != 1 || rows[0].size() != 1) {
      ADD_FAILURE() << "expected one value from " << sql.substr(0, 200);
      return "";
    }
    return rows[0][0];
  }
};

TEST_F(MySqlServerTest, ConnectsWithTheNativeMethodAndQuits) {
  auto s = Open();
  EXPECT_NE(api.mysql_get_server_info(s.get()).find("MariaDB"), std::string::npos);
  EXPECT_EQ(api.mysql_get_host_info(s.get()), "127.0.0.1 via TCP/IP");
  EXPECT_EQ(s->authPluginName, "mysql_native_password");
  // The print server's flags exactly: the server has protocol 4.1 and no
  // compression was asked for.
  EXPECT_EQ(s->clientFlags, 0x000BA28Fu);
  EXPECT_EQ(Scalar(s.get(), "SELECT CONNECTION_ID()"), std::to_string(api.mysql_thread_id(s.get())));
  EXPECT_EQ(Scalar(s.get(), "SELECT DATABASE()"), MariaDbServer::kDatabase);
  EXPECT_EQ(Scalar(s.get(), "SELECT CURRENT_USER()"), std::string(MariaDbServer::kUser) + "@127.0.0.1");
  const uint32_t id = api.mysql_thread_id(s.get());
  api.mysql_close(std::move(s));
  // The quit command ends the server's thread.
  auto other = Open();
  EXPECT_TRUE(testing::WaitUntil([&] {
    return Scalar(other.get(), "SELECT COUNT(*) FROM information_schema.processlist WHERE id = " +
                                   std::to_string(id)) == "0";
  }));
}

TEST_F(MySqlServerTest, AuthenticationMethodsAndFailures) {
  // A wrong password: the server's 1045 with its text.
  auto bad = api.mysql_init();
  EXPECT_EQ(api.mysql_real_connect(bad.get(), server.Host(), MariaDbServer::kUser, "wrong", "", server.Port(), "",
                                   kPrintServerFlags),
            nullptr);
  EXPECT_EQ(api.mysql_errno(bad.get()), 1045);
  EXPECT_TRUE(api.ServerErrorFlag(bad.get()));
  EXPECT_NE(api.mysql_error(bad.get()).find("Access denied for user 'bilhetor'"), std::string::npos)
      << api.mysql_error(bad.get());
  EXPECT_EQ(api.mysql_error(bad.get()).rfind("#28000", 0), 0u) << api.mysql_error(bad.get());

  // An empty password sends a single zero byte and is accepted.
  auto empty = Open(MariaDbServer::kEmptyUser, "");
  EXPECT_EQ(Scalar(empty.get(), "SELECT CURRENT_USER()"), std::string(MariaDbServer::kEmptyUser) + "@127.0.0.1");

  // The old method, reached through the server's method switch when the
  // connection allows it.
  const std::string withOld = "mysql_native_password,mysql_old_password";
  auto old = api.mysql_init();
  ASSERT_EQ(api.mysql_options(old.get(), MYSQL_OPT_ALLOWED_AUTH_METHODS, withOld), 0);
  ASSERT_EQ(api.mysql_real_connect(old.get(), server.Host(), MariaDbServer::kOldUser, MariaDbServer::kOldPassword,
                                   "", server.Port(), "", kPrintServerFlags),
            old.get())
      << api.mysql_error(old.get());
  EXPECT_EQ(Scalar(old.get(), "SELECT CURRENT_USER()"), std::string(MariaDbServer::kOldUser) + "@127.0.0.1");
  // The account really uses the old method: only its scramble gets in.
  EXPECT_EQ(Scalar(old.get(), "SELECT plugin FROM mysql.user WHERE user = 'antigo' AND host = '127.0.0.1'"),
            "mysql_old_password");
  // A wrong password is refused. It must share nothing with the right one:
  // the old method compares only 8 characters drawn from a generator seeded
  // with the two 31-bit password hashes XOR the scramble's hash. A password
  // one letter off ("velha124") changes only low bits of those seeds; the
  // generator spreads that too slowly, so the server itself accepts it for
  // about 1 scramble in 100 (the mariadb command-line client too). With an
  // unrelated password the 8 characters are independent draws, and a chance
  // match is of the order of 1 in 31^8 (10^12).
  auto oldBad = api.mysql_init();
  ASSERT_EQ(api.mysql_options(oldBad.get(), MYSQL_OPT_ALLOWED_AUTH_METHODS, withOld), 0);
  EXPECT_EQ(api.mysql_real_connect(oldBad.get(), server.Host(), MariaDbServer::kOldUser, "errada", "",
                                   server.Port(), "", kPrintServerFlags),
            nullptr);
  EXPECT_EQ(api.mysql_errno(oldBad.get()), 1045);
  EXPECT_NE(api.mysql_error(oldBad.get()).find("Access denied for user 'antigo'"), std::string::npos)
      << api.mysql_error(oldBad.get());
}

TEST_F(MySqlServerTest, DialogMethodAsksItsQuestions) {
  // The dialog method sends its answers in clear text: only when allowed.
  const auto AllowDialog = [&](TMySqlSession* s) {
    ASSERT_EQ(api.mysql_options(s, MYSQL_OPT_ALLOWED_AUTH_METHODS, std::string("mysql_native_password,dialog")), 0);
  };
  // two_questions: a password question, then an ordinary one.
  std::vector<std::pair<int, std::string>> asked;
  auto s = api.mysql_init();
  AllowDialog(s.get());
  s->dialogHandler = [&](int type, const std::string& question) -> std::string {
    asked.emplace_back(type, question);
    return type >= 4 ? MariaDbServer::kDialogPassword : "yes, of course";
  };
  ASSERT_EQ(api.mysql_real_connect(s.get(), server.Host(), MariaDbServer::kDialogUser, "", "", server.Port(), "",
                                   kPrintServerFlags),
            s.get())
      << api.mysql_error(s.get());
  EXPECT_EQ(s->authPluginName, "dialog");
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_EQ(asked[0].first, 4);
  EXPECT_EQ(asked[0].second, "Password, please:");
  EXPECT_EQ(asked[1].first, 3);
  EXPECT_EQ(Scalar(s.get(), "SELECT CURRENT_USER()"), std::string(MariaDbServer::kDialogUser) + "@127.0.0.1");

  // Without a handler the ordinary question cannot be answered: an error,
  // not the password sent as the answer.
  auto noHandler = api.mysql_init();
  AllowDialog(noHandler.get());
  EXPECT_EQ(api.mysql_real_connect(noHandler.get(), server.Host(), MariaDbServer::kDialogUser,
                                   MariaDbServer::kDialogPassword, "", server.Port(), "", kPrintServerFlags),
            nullptr);
  EXPECT_EQ(api.mysql_errno(noHandler.get()), 0);
  EXPECT_EQ(api.mysql_error(noHandler.get()),
            "Authentication plugin dialog reported error: Unsupported dialog plugin question: 3");

  // three_attempts: two wrong answers, then the right one.
  int attempts = 0;
  auto three = api.mysql_init();
  AllowDialog(three.get());
  three->dialogHandler = [&](int, const std::string&) -> std::string {
    return ++attempts < 3 ? "nao" : MariaDbServer::kDialog3Password;
  };
  ASSERT_EQ(api.mysql_real_connect(three.get(), server.Host(), MariaDbServer::kDialog3User, "", "", server.Port(), "",
                                   kPrintServerFlags),
            three.get())
      << api.mysql_error(three.get());
  EXPECT_EQ(attempts, 3);

  // Three wrong answers: the server refuses.
  auto wrong = api.mysql_init();
  AllowDialog(wrong.get());
  wrong->dialogHandler = [](int, const std::string&) -> std::string { return "errada"; };
  EXPECT_EQ(api.mysql_real_connect(wrong.get(), server.Host(), MariaDbServer::kDialog3User, "", "", server.Port(), "",
                                   kPrintServerFlags),
            nullptr);
  EXPECT_EQ(api.mysql_errno(wrong.get()), 1045);
}

TEST_F(MySqlServerTest, SimpleCommands) {
  auto s = Open();
  EXPECT_EQ(api.mysql_ping(s.get()), 0);
  EXPECT_EQ(api.mysql_select_db(s.get(), "mysql"), 0);
  EXPECT_EQ(s->database, "mysql");
  EXPECT_EQ(Scalar(s.get(), "SELECT DATABASE()"), "mysql");
  EXPECT_EQ(api.mysql_select_db(s.get(), "nao_existe"), 1049);
  EXPECT_NE(api.mysql_error(s.get()).find("nao_existe"), std::string::npos);
  EXPECT_EQ(s->database, "mysql");
  EXPECT_EQ(api.mysql_ping(s.get()), 0);

  // Killing another session: its next query finds the connection lost.
  auto victim = Open();
  EXPECT_EQ(api.mysql_kill(s.get(), api.mysql_thread_id(victim.get())), 0) << api.mysql_error(s.get());
  EXPECT_EQ(api.mysql_query(victim.get(), "SELECT 1"), 2013);
  EXPECT_EQ(api.mysql_error(victim.get()).rfind("Lost connection to MySQL server during query", 0), 0u);
  EXPECT_FALSE(api.ServerErrorFlag(victim.get()));
  // The broken session stays closed.
  EXPECT_EQ(api.mysql_ping(victim.get()), 2006);
  EXPECT_EQ(api.mysql_kill(s.get(), 999999), 1094);
}

TEST_F(MySqlServerTest, RowsWithNullsEmptyStringsAndLengthBoundaries) {
  auto s = Open();
  Exec(s.get(), "DROP TABLE IF EXISTS tamanhos");
  Exec(s.get(), "CREATE TABLE tamanhos (id INT PRIMARY KEY, v LONGTEXT NULL)");
  const std::vector<size_t> sizes = {0, 1, 250, 251, 65535, 65536, 16 * 1024 * 1024};
  for (size_t i = 0; i < sizes.size(); ++i)
    Exec(s.get(), "INSERT INTO tamanhos VALUES (" + std::to_string(i) + ", REPEAT(CHAR(65 + " + std::to_string(i) +
                      "), " + std::to_string(sizes[i]) + "))");
  Exec(s.get(), "INSERT INTO tamanhos VALUES (99, NULL)");
  ASSERT_EQ(api.mysql_query(s.get(), "SELECT id, v, LENGTH(v) FROM tamanhos ORDER BY id"), 0);
  auto res = api.mysql_use_result(s.get());
  ASSERT_NE(res, nullptr);
  ASSERT_EQ(res->FieldCount(), 3u);
  for (size_t i = 0; i < sizes.size(); ++i) {
    ASSERT_NE(api.mysql_fetch_row(res.get()), nullptr) << api.mysql_error(s.get());
    EXPECT_EQ(res->Value(0), std::to_string(i));
    EXPECT_FALSE(res->IsNull(1));
    ASSERT_EQ(res->Value(1).size(), sizes[i]);
    EXPECT_EQ(res->Value(1).find_first_not_of(static_cast<char>('A' + i)), std::string_view::npos);
    EXPECT_EQ(res->Value(2), std::to_string(sizes[i]));
  }
  ASSERT_NE(api.mysql_fetch_row(res.get()), nullptr);
  EXPECT_TRUE(res->IsNull(1));
  EXPECT_TRUE(res->IsNull(2));
  EXPECT_EQ(res->Value(1).size(), 0u);
  EXPECT_EQ(api.mysql_fetch_row(res.get()), nullptr);
  EXPECT_EQ(api.mysql_errno(s.get()), 0);
  EXPECT_EQ(api.mysql_fetch_row(res.get()), nullptr);
  api.mysql_free_result(std::move(res));
  // An empty string is not NULL.
  const auto rows = Rows(s.get(), "SELECT '', NULL");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][0], "");
  EXPECT_EQ(rows[0][1], "<NULL>");
  // No rows: the end marker at once.
  EXPECT_TRUE(Rows(s.get(), "SELECT id FROM tamanhos WHERE id < 0").empty());
}

TEST_F(MySqlServerTest, EveryColumnTypeWithItsDescription) {
  auto s = Open();
  Exec(s.get(), "DROP TABLE IF EXISTS tipos");
  Exec(s.get(),
       "CREATE TABLE tipos (c_tiny TINYINT, c_bool TINYINT(1), c_small SMALLINT, c_medium MEDIUMINT, c_int INT "
       "UNSIGNED, c_big BIGINT, c_dec DECIMAL(12,4), c_float FLOAT, c_double DOUBLE, c_date DATE, c_time TIME, "
       "c_datetime DATETIME, c_ts TIMESTAMP NULL, c_year YEAR, c_char CHAR(5), c_varchar VARCHAR(32), c_text TEXT, "
       "c_blob BLOB, c_varbin VARBINARY(8), c_bit BIT(8), c_enum ENUM('a','b'), c_set SET('x','y'))");
  Exec(s.get(),
       "INSERT INTO tipos VALUES (-5, 1, -300, 70000, 4000000000, -9000000000, 12.5, 1.5, 2.25, '2024-02-29', "
       "'13:45:10', '2024-02-29 13:45:10', '2024-03-01 00:00:01', 2024, 'ab', 'texto', 'longo', x'00FF10', x'0102', "
       "b'10100101', 'b', 'x,y')");
  ASSERT_EQ(api.mysql_query(s.get(), "SELECT * FROM tipos"), 0);
  auto res = api.mysql_use_result(s.get());
  ASSERT_NE(res, nullptr);
  ASSERT_NE(api.mysql_fetch_row(res.get()), nullptr);
  struct Expect {
    const char* name;
    uint8_t type;
    bool numeric;
    std::string value;
  };
  const std::vector<Expect> expected = {
      {"c_tiny", 1, true, "-5"},
      {"c_bool", 1, true, "1"},
      {"c_small", 2, true, "-300"},
      {"c_medium", 9, true, "70000"},
      {"c_int", 3, true, "4000000000"},
      {"c_big", 8, true, "-9000000000"},
      {"c_dec", 246, false, "12.5000"},
      {"c_float", 4, true, "1.5"},
      {"c_double", 5, true, "2.25"},
      {"c_date", 10, false, "2024-02-29"},
      {"c_time", 11, false, "13:45:10"},
      {"c_datetime", 12, false, "2024-02-29 13:45:10"},
      {"c_ts", 7, false, "2024-03-01 00:00:01"},
      {"c_year", 13, true, "2024"},
      {"c_char", 254, false, "ab"},
      {"c_varchar", 253, false, "texto"},
      {"c_text", 252, false, "longo"},
      {"c_blob", 252, false, std::string("\x00\xFF\x10", 3)},
      {"c_varbin", 253, false, "\x01\x02"},
      {"c_bit", 16, false, "\xA5"},
      {"c_enum", 254, false, "b"},
      {"c_set", 254, false, "x,y"},
  };
  ASSERT_EQ(res->FieldCount(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    const TMySqlFieldInfo* f = api.mysql_fetch_field_direct(res.get(), static_cast<unsigned>(i));
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->name, expected[i].name);
    EXPECT_EQ(f->orgName, expected[i].name);
    EXPECT_EQ(f->table, "tipos");
    EXPECT_EQ(f->db, MariaDbServer::kDatabase);
    EXPECT_EQ(f->type, expected[i].type) << f->name;
    EXPECT_EQ((f->flags & mysqlflag::NUM_FLAG) != 0, expected[i].numeric) << f->name;
    EXPECT_EQ(res->Value(i), expected[i].value) << f->name;
  }
  const TMySqlFieldInfo* dec = api.mysql_fetch_field_direct(res.get(), 6);
  EXPECT_EQ(dec->decimals, 4u);
  EXPECT_EQ(dec->length, 14u);
  EXPECT_EQ(api.mysql_fetch_field_direct(res.get(), static_cast<unsigned>(expected.size())), nullptr);
  EXPECT_EQ(api.mysql_fetch_row(res.get()), nullptr);
  api.mysql_free_result(std::move(res));
}

TEST_F(MySqlServerTest, UpdatesReportAffectedRowsAndInsertIds) {
  auto s = Open();
  Exec(s.get(), "DROP TABLE IF EXISTS contas");
  Exec(s.get(), "CREATE TABLE contas (id INT AUTO_INCREMENT PRIMARY KEY, v INT)");
  Exec(s.get(), "INSERT INTO contas (v) VALUES (1), (1), (2)");
  EXPECT_EQ(api.mysql_affected_rows(s.get()), 3u);
  EXPECT_EQ(api.mysql_insert_id(s.get()), 1u);
  EXPECT_NE(api.mysql_info(s.get()).find("Records: 3"), std::string::npos) << api.mysql_info(s.get());
  Exec(s.get(), "INSERT INTO contas (v) VALUES (7)");
  EXPECT_EQ(api.mysql_insert_id(s.get()), 4u);
  // With the found-rows flag an update that changes nothing reports the
  // matched rows.
  Exec(s.get(), "UPDATE contas SET v = 1 WHERE v = 1");
  EXPECT_EQ(api.mysql_affected_rows(s.get()), 2u);
  Exec(s.get(), "UPDATE contas SET v = 5 WHERE v = 1");
  EXPECT_EQ(api.mysql_affected_rows(s.get()), 2u);
  auto plain = Open(MariaDbServer::kUser, MariaDbServer::kPassword, mysqlflag::CLIENT_MULTI_STATEMENTS);
  Exec(plain.get(), "UPDATE contas SET v = 5 WHERE v = 5");
  EXPECT_EQ(api.mysql_affected_rows(plain.get()), 0u);
  Exec(plain.get(), "DELETE FROM contas WHERE v = 5");
  EXPECT_EQ(api.mysql_affected_rows(plain.get()), 2u);
}

TEST_F(MySqlServerTest, ServerErrorsKeepTheSessionUsable) {
  auto s = Open();
  EXPECT_EQ(api.mysql_query(s.get(), "SELEKT 1"), 1064);
  EXPECT_TRUE(api.ServerErrorFlag(s.get()));
  EXPECT_EQ(api.mysql_error(s.get()).rfind("#42000You have an error in your SQL syntax", 0), 0u)
      << api.mysql_error(s.get());
  EXPECT_NE(api.mysql_error(s.get()).find("'SELEKT 1' at line 1"), std::string::npos);
  EXPECT_EQ(api.mysql_query(s.get(), "SELECT * FROM nao_existe"), 1146);
  Exec(s.get(), "DROP TABLE IF EXISTS unico");
  Exec(s.get(), "CREATE TABLE unico (id INT PRIMARY KEY)");
  Exec(s.get(), "INSERT INTO unico VALUES (1)");
  EXPECT_EQ(api.mysql_query(s.get(), "INSERT INTO unico VALUES (1)"), 1062);
  // A successful query clears the error.
  EXPECT_EQ(Scalar(s.get(), "SELECT 41 + 1"), "42");
  EXPECT_EQ(api.mysql_errno(s.get()), 0);
  EXPECT_EQ(api.mysql_error(s.get()), "");
}

TEST_F(MySqlServerTest, MultipleStatementsAndNextResult) {
  auto s = Open();
  ASSERT_EQ(api.mysql_query(s.get(), "SELECT 1 AS a; SELECT 'x' AS b, 'y' AS c UNION SELECT 'z', NULL; DO 1"), 0);
  std::vector<std::string> seen;
  int results = 0;
  while (true) {
    ++results;
    if (api.mysql_field_count(s.get()) > 0) {
      auto res = api.mysql_use_result(s.get());
      ASSERT_NE(res, nullptr);
      while (api.mysql_fetch_row(res.get()))
        for (size_t i = 0; i < res->FieldCount(); ++i)
          seen.push_back(res->IsNull(i) ? "<NULL>" : std::string(res->Value(i)));
      api.mysql_free_result(std::move(res));
    }
    if (!api.mysql_more_results(s.get())) break;
    ASSERT_EQ(api.mysql_next_result(s.get()), 0) << api.mysql_error(s.get());
  }
  EXPECT_EQ(results, 3);
  EXPECT_EQ(seen, (std::vector<std::string>{"1", "x", "y", "z", "<NULL>"}));
  EXPECT_EQ(api.mysql_next_result(s.get()), -1);
  EXPECT_EQ(Scalar(s.get(), "SELECT 2"), "2");

  // A statement of a batch that fails ends the batch with its error.
  ASSERT_EQ(api.mysql_query(s.get(), "SELECT 1; SELEKT; SELECT 3"), 0);
  auto res = api.mysql_use_result(s.get());
  api.mysql_free_result(std::move(res));
  ASSERT_TRUE(api.mysql_more_results(s.get()));
  EXPECT_EQ(api.mysql_next_result(s.get()), 1064);
  EXPECT_EQ(Scalar(s.get(), "SELECT 4"), "4");
}

TEST_F(MySqlServerTest, FreeingHalfReadResultsAndCommandsOutOfSync) {
  auto s = Open();
  ASSERT_EQ(api.mysql_query(s.get(), "SELECT seq, REPEAT('x', seq % 300) FROM seq_1_to_5000"), 0);
  // A query sent too early is refused and nothing is sent.
  EXPECT_EQ(api.mysql_query(s.get(), "SELECT 2"), 2014);
  EXPECT_EQ(api.mysql_error(s.get()), "Commands out of sync;  You can't run this command now");
  auto res = api.mysql_use_result(s.get());
  ASSERT_NE(res, nullptr);
  EXPECT_EQ(api.mysql_query(s.get(), "SELECT 2"), 2014);
  EXPECT_EQ(api.mysql_use_result(s.get()), nullptr);
  for (int i = 1; i <= 10; ++i) {
    ASSERT_NE(api.mysql_fetch_row(res.get()), nullptr);
    EXPECT_EQ(res->Value(0), std::to_string(i));
  }
  api.mysql_free_result(std::move(res));
  EXPECT_EQ(Scalar(s.get(), "SELECT 'depois'"), "depois");

  // Freeing a half-read result of a batch keeps the remaining results.
  ASSERT_EQ(api.mysql_query(s.get(), "SELECT seq FROM seq_1_to_100; SELECT 'segundo'"), 0);
  res = api.mysql_use_result(s.get());
  ASSERT_NE(api.mysql_fetch_row(res.get()), nullptr);
  api.mysql_free_result(std::move(res));
  ASSERT_TRUE(api.mysql_more_results(s.get()));
  ASSERT_EQ(api.mysql_next_result(s.get()), 0);
  res = api.mysql_use_result(s.get());
  ASSERT_NE(api.mysql_fetch_row(res.get()), nullptr);
  EXPECT_EQ(res->Value(0), "segundo");
  api.mysql_free_result(std::move(res));
  EXPECT_EQ(Scalar(s.get(), "SELECT 5"), "5");
}

TEST_F(MySqlServerTest, CompressedProtocolCarriesTheSameData) {
  for (bool compress : {false, true}) {
    SCOPED_TRACE(compress ? "compressed" : "plain");
    auto s = Open(MariaDbServer::kUser, MariaDbServer::kPassword,
                  kPrintServerFlags | (compress ? mysqlflag::CLIENT_COMPRESS : 0));
    EXPECT_EQ(s->net.CompressOn(), compress);
    EXPECT_EQ(Scalar(s.get(), "SELECT @@session.autocommit"), "1");
    // Many small rows and values around the frame size.
    const auto rows = Rows(s.get(), "SELECT seq, MD5(seq) FROM seq_1_to_3000");
    ASSERT_EQ(rows.size(), 3000u);
    EXPECT_EQ(rows[2999][0], "3000");
    EXPECT_EQ(rows[0][1], "c4ca4238a0b923820dcc509a6f75849b");
    EXPECT_EQ(Scalar(s.get(), "SELECT LENGTH(REPEAT('ab', 9000000))"), "18000000");
    const std::string big = Scalar(s.get(), "SELECT REPEAT('ab', 9000000)");
    EXPECT_EQ(big.size(), 18000000u);
    EXPECT_EQ(big.substr(17999996), "abab");
    // A large query text goes out in several frames.
    const std::string text(200000, 'q');
    EXPECT_EQ(Scalar(s.get(), "SELECT LENGTH('" + text + "')"), "200000");
    // Half-read results are skipped in compressed mode too.
    ASSERT_EQ(api.mysql_query(s.get(), "SELECT seq FROM seq_1_to_2000"), 0);
    auto res = api.mysql_use_result(s.get());
    ASSERT_NE(api.mysql_fetch_row(res.get()), nullptr);
    api.mysql_free_result(std::move(res));
    EXPECT_EQ(Scalar(s.get(), "SELECT 7"), "7");
  }
}

TEST_F(MySqlServerTest, PayloadOfExactlyOneFullPacket) {
  auto s = Open();
  // 0x03 + query text = 0xFFFFFF bytes: one full packet and an empty one.
  const std::string head = "SELECT LENGTH('";
  const std::string tail = "')";
  const size_t fill = 0xFFFFFF - 1 - head.size() - tail.size();
  const std::string query = head + std::string(fill, 'z') + tail;
  ASSERT_EQ(query.size() + 1, 0xFFFFFFu);
  EXPECT_EQ(Scalar(s.get(), query), std::to_string(fill));
  // One byte more: a full packet and a 1-byte packet.
  const std::string query2 = head + std::string(fill + 1, 'z') + tail;
  EXPECT_EQ(Scalar(s.get(), query2), std::to_string(fill + 1));
  // A value of exactly 0xFFFFFF - 4 bytes makes a row packet of 0xFFFFFF.
  const std::string row = Scalar(s.get(), "SELECT REPEAT('r', " + std::to_string(0xFFFFFF - 4) + ")");
  EXPECT_EQ(row.size(), 0xFFFFFFu - 4);
}

TEST_F(MySqlServerTest, PacketLimitOfTheSession) {
  auto s = Open();
  s->net.SetMaxPacketSize(1024 * 1024);
  EXPECT_EQ(Scalar(s.get(), "SELECT LENGTH(REPEAT('a', 1000000))"), "1000000");
  ASSERT_EQ(api.mysql_query(s.get(), "SELECT REPEAT('a', 2000000)"), 0);
  auto res = api.mysql_use_result(s.get());
  ASSERT_NE(res, nullptr);
  EXPECT_EQ(api.mysql_fetch_row(res.get()), nullptr);
  EXPECT_EQ(api.mysql_errno(s.get()), 2020);
  EXPECT_EQ(api.mysql_error(s.get()), "Got packet bigger than 'max_allowed_packet'");
  api.mysql_free_result(std::move(res));
  EXPECT_EQ(api.mysql_query(s.get(), "SELECT 1"), 2006);
}

TEST_F(MySqlServerTest, LoadDataLocalOnlyWhenEnabled) {
  testing::TempDir dir;
  const std::string file = dir / "dados.txt";
  testing::WriteFile(file, "1\tum\n2\tdois\n");
  for (bool enabled : {false, true}) {
    SCOPED_TRACE(enabled ? "enabled" : "disabled");
    auto s = api.mysql_init();
    api.mysql_options(s.get(), MYSQL_OPT_LOCAL_INFILE, enabled ? 1 : 0);
    ASSERT_EQ(api.mysql_real_connect(s.get(), server.Host(), MariaDbServer::kUser, MariaDbServer::kPassword,
                                     MariaDbServer::kDatabase, server.Port(), "", kPrintServerFlags),
              s.get());
    Exec(s.get(), "DROP TABLE IF EXISTS carga");
    Exec(s.get(), "CREATE TABLE carga (id INT, nome VARCHAR(10))");
    // In a quoted SQL string a backslash (of a Windows path) escapes.
    std::string literal;
    for (const char c : file) literal += c == '\\' ? std::string(2, c) : std::string(1, c);
    const int rc = api.mysql_query(s.get(), "LOAD DATA LOCAL INFILE '" + literal + "' INTO TABLE carga");
    EXPECT_EQ(rc, 0) << api.mysql_error(s.get());
    EXPECT_EQ(Scalar(s.get(), "SELECT COUNT(*) FROM carga"), enabled ? "2" : "0");
    if (enabled) {
      EXPECT_EQ(Scalar(s.get(), "SELECT nome FROM carga WHERE id = 2"), "dois");
    }
  }
}

TEST_F(MySqlServerTest, ConnectionRefusedGives2003) {
  const int port = testing::FreeLoopbackPort();
  auto s = api.mysql_init();
  EXPECT_EQ(api.mysql_real_connect(s.get(), "127.0.0.1", "x", "y", "", port, "", 0), nullptr);
  EXPECT_EQ(api.mysql_errno(s.get()), 2003);
  EXPECT_EQ(api.mysql_error(s.get()).rfind("Cannot connect to server on host '127.0.0.1':\r\n", 0), 0u);
  EXPECT_NE(api.mysql_error(s.get()).find(".\r\nSocket Error Code: 10061($274D)"), std::string::npos)
      << api.mysql_error(s.get());
}

TEST_F(MySqlServerTest, UnsignedInsertIdsAbove2To63) {
  auto s = Open();
  Exec(s.get(), "DROP TABLE IF EXISTS grande");
  Exec(s.get(),
       "CREATE TABLE grande (id BIGINT UNSIGNED AUTO_INCREMENT PRIMARY KEY, v INT) AUTO_INCREMENT = "
       "18446744073709551610");
  Exec(s.get(), "INSERT INTO grande (v) VALUES (1)");
  EXPECT_EQ(api.mysql_insert_id(s.get()), 18446744073709551610ull);
  EXPECT_EQ(api.mysql_affected_rows(s.get()), 1u);
  // The session stays in step.
  EXPECT_EQ(Scalar(s.get(), "SELECT id FROM grande"), "18446744073709551610");
}

// A row joined from two full parts and a last part of a few bytes, whose
// first value is announced with 0xFE: freed unread, it is skipped whole and
// not taken for the end marker.
TEST_F(MySqlServerTest, FreeingAnUnreadRowOfSeveralParts) {
  auto s = Open();
  for (size_t lastPart : {1u, 5u, 8u}) {
    SCOPED_TRACE(lastPart);
    // 0xFE, 8 length bytes and the value make 2 * 0xFFFFFF + lastPart bytes.
    const size_t value = 2 * 0xFFFFFFu + lastPart - 9;
    ASSERT_EQ(api.mysql_query(s.get(), "SELECT REPEAT('x', " + std::to_string(value) + ")"), 0)
        << api.mysql_error(s.get());
    auto res = api.mysql_use_result(s.get());
    ASSERT_NE(res, nullptr);
    if (lastPart == 8) {
      ASSERT_NE(api.mysql_fetch_row(res.get()), nullptr) << api.mysql_error(s.get());
      EXPECT_EQ(res->Value(0).size(), value);
    }
    api.mysql_free_result(std::move(res));
    EXPECT_EQ(Scalar(s.get(), "SELECT 'depois'"), "depois");
    EXPECT_EQ(api.mysql_errno(s.get()), 0);
  }
}

// Allowing only the hashed methods: the accounts of the old method and of
// the dialog method are refused before anything is sent for them.
TEST_F(MySqlServerTest, AllowedAuthenticationMethods) {
  struct Case {
    const char* user;
    const char* password;
    int code;
    std::string message;
  };
  const std::vector<Case> cases = {
      {MariaDbServer::kUser, MariaDbServer::kPassword, 0, ""},
      {MariaDbServer::kOldUser, MariaDbServer::kOldPassword, 2059,
       "Authentication method 'mysql_old_password' is not allowed on this connection"},
      {MariaDbServer::kDialogUser, MariaDbServer::kDialogPassword, 2059,
       "Authentication method 'dialog' is not allowed on this connection"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.user);
    auto s = api.mysql_init();
    ASSERT_EQ(api.mysql_options(s.get(), MYSQL_OPT_ALLOWED_AUTH_METHODS,
                                std::string("mysql_native_password,caching_sha2_password")),
              0);
    TMySqlSession* r = api.mysql_real_connect(s.get(), server.Host(), k.user, k.password, "", server.Port(), "",
                                              kPrintServerFlags);
    EXPECT_EQ(r != nullptr, k.code == 0) << api.mysql_error(s.get());
    EXPECT_EQ(api.mysql_errno(s.get()), k.code);
    EXPECT_EQ(api.mysql_error(s.get()), k.message);
    if (r) {
      EXPECT_EQ(Scalar(s.get(), "SELECT CURRENT_USER()"), std::string(k.user) + "@127.0.0.1");
    }
  }
}

// Last: kills and restarts the shared server.
TEST_F(MySqlServerTest, ZZServerKilledMidResult) {
  auto s = Open();
  ASSERT_EQ(api.mysql_query(s.get(), "SELECT seq, REPEAT('k', 200) FROM seq_1_to_2000000"), 0);
  auto res = api.mysql_use_result(s.get());
  ASSERT_NE(res, nullptr);
  ASSERT_NE(api.mysql_fetch_row(res.get()), nullptr);
  server.Kill();
  int fetched = 0;
  while (api.mysql_fetch_row(res.get())) ++fetched;
  EXPECT_LT(fetched, 2000000);
  EXPECT_EQ(api.mysql_errno(s.get()), 2013);
  EXPECT_EQ(api.mysql_error(s.get()).rfind("Lost connection to MySQL server during query", 0), 0u);
  api.mysql_free_result(std::move(res));
  EXPECT_EQ(api.mysql_query(s.get(), "SELECT 1"), 2006);
  api.mysql_close(std::move(s));
  server.Start();
  auto again = Open();
  EXPECT_EQ(Scalar(again.get(), "SELECT 'de volta'"), "de volta");
}

}  // namespace
}  // namespace bilhetor
