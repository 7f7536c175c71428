// Every wait of the components ends: a statement by "CommandTimeout", a
// connect by "ConnectionTimeout", either soon after Interromper asks to stop.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "db/DbAccess.h"
#include "support/FakeMySqlServer.h"

namespace bilhetor {
namespace {

using testing::FakeMySqlConnection;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// A packet one byte a second, until it ends or the client goes away.
void Trickle(FakeMySqlConnection& c, uint8_t seq, const std::string& payload) {
  const size_t n = payload.size();
  const std::string bytes = std::string{char(n), char(n >> 8), char(n >> 16), char(seq)} + payload;
  try {
    for (char b : bytes) {
      c.SendRaw(std::string(1, b));
      c.ReadUntilClosed(1000);  // the pause, cut short when the client closes
    }
  } catch (const std::exception&) {
  }
}

void Handshake(FakeMySqlConnection& c) {
  c.SendPacket(0, testing::FakeGreeting().Build());
  c.ReadPacket();
  c.SendPacket(2, testing::OkPacket());
  c.ReadPacket();  // SET NAMES
  c.SendPacket(1, testing::OkPacket());
}

enum class Peer { TrickledAnswer, UnreadStatement, NoAnswer, TrickledGreeting, NoGreeting };

TEST(DbWaitsTest, StatementsAndConnectsEndByTheirLimitOrTheStopRequest) {
  const std::string timedOut = "Connection timed out.\r\nSocket Error Code: 10060($274C)";
  const std::string stopped = "Interrupted system call.\r\nSocket Error Code: 10004($2714)";
  struct Case {
    Peer peer;
    int commandTimeout, connectionTimeout;  // 0: not set
    int stopAfterMs;                        // Interromper turns true then; 0: not set
    std::string socket;                     // the end of the message: which wait ended, and why
    bool reconnects;                        // the one automatic reconnect after a lost link
  };
  const std::vector<Case> cases = {
      {Peer::TrickledAnswer, 2, 0, 0, "reading from the connection:\r\n" + timedOut, true},
      {Peer::UnreadStatement, 2, 0, 0, "writing to the connection:\r\n" + timedOut, true},
      {Peer::NoAnswer, 0, 0, 300, "reading from the connection:\r\n" + stopped, false},
      {Peer::TrickledGreeting, 0, 2, 0, "reading from the connection:\r\n" + timedOut, false},
      {Peer::NoGreeting, 0, 0, 300, "reading from the connection:\r\n" + stopped, false},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(static_cast<int>(k.peer));
    testing::FakeMySqlServer server(
        [&](FakeMySqlConnection& c) {
          if (k.peer == Peer::TrickledGreeting) return Trickle(c, 0, testing::FakeGreeting().Build());
          if (k.peer != Peer::NoGreeting) Handshake(c);
          if (k.peer == Peer::UnreadStatement && c.Index() == 0) std::this_thread::sleep_for(milliseconds(3000));
          if (k.peer == Peer::TrickledAnswer && c.Index() == 0) {
            c.ReadPacket();
            Trickle(c, 1, testing::OkPacket());
          }
          c.ReadUntilClosed(20000);
        },
        k.reconnects ? 2 : 1);
    TDbConnection conn;
    conn.SetServer("127.0.0.1");
    conn.SetPort(server.Port());
    if (k.connectionTimeout) conn.SpecificOptions.SetValue("ConnectionTimeout", std::to_string(k.connectionTimeout));
    TDbQuery q(&conn);
    q.SQL.Add("SELECT 1 AS um");
    if (k.commandTimeout) q.SpecificOptions.SetValue("CommandTimeout", std::to_string(k.commandTimeout));
    if (k.peer == Peer::UnreadStatement) q.SQL.Add("-- " + std::string(24 << 20, 'x'));  // more than the buffers hold
    Clock::time_point stopAt = Clock::time_point::max();
    if (k.stopAfterMs) conn.Interromper = [&] { return Clock::now() >= stopAt; };
    std::vector<int> errors;
    conn.OnError = [&](TDbConnection&, const EDbError& e, bool&) { errors.push_back(e.ErrorCode()); };
    const bool duringConnect = k.peer == Peer::TrickledGreeting || k.peer == Peer::NoGreeting;
    if (!duringConnect) conn.Connect();

    const auto start = Clock::now();
    stopAt = start + milliseconds(k.stopAfterMs);
    std::string message;
    try {
      q.Open();
    } catch (const Exception& e) {
      message = e.Message();
    }
    const auto elapsed = Clock::now() - start;
    EXPECT_GE(elapsed, k.stopAfterMs ? milliseconds(250) : milliseconds(1500));
    EXPECT_LT(elapsed, std::chrono::seconds(10));
    EXPECT_EQ(message, "Lost connection to MySQL server during query\r\nError on data " + k.socket);
    // No second error: a reconnect that had been tried and failed would add its own.
    EXPECT_EQ(errors, std::vector<int>{2013});
    EXPECT_EQ(conn.Connected(), k.reconnects);
    EXPECT_FALSE(q.Active());
    conn.Disconnect();
    EXPECT_EQ(server.Finish(), "");
  }
}

}  // namespace
}  // namespace bilhetor
