// The packet layer over a real loopback connection: splitting and joining of
// large payloads, sequence numbers, length-encoded values, the error table.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "db/MySqlClient.h"
#include "db/MySqlNet.h"
#include "db/VioTcp.h"
#include "support/FakeMySqlServer.h"
#include "support/Soquetes.h"
#include "support/TestSupport.h"

namespace bilhetor {
namespace {

using testing::FakeMySqlConnection;
using testing::FakeMySqlServer;

std::unique_ptr<TVioTcp> ConnectTo(const FakeMySqlServer& server) {
  auto vio = std::make_unique<TVioTcp>("127.0.0.1", server.Port());
  vio->SetTimeout(10);
  vio->Connect();
  return vio;
}

std::string Pattern(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  return s;
}

TEST(MySqlNetTest, LargePayloadsAreSplitAtPacketBoundaries) {
  struct Case {
    size_t prefix;  // bytes written before the run
    size_t run;
    std::vector<size_t> packets;
  };
  const size_t full = 0xFFFFFF;
  const std::vector<Case> cases = {
      {0, full - 1, {full - 1}},
      {0, full, {full, 0}},
      {0, full + 1, {full, 1}},
      {1, full - 1, {full, 0}},
      {5, 2 * full, {full, full, 5}},
      {0, 100, {100}},
      {0, 9000, {9000}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(std::to_string(k.prefix) + " + " + std::to_string(k.run));
    const std::string payload = Pattern(k.prefix + k.run);
    std::vector<std::pair<uint8_t, size_t>> seen;
    std::string joined;
    FakeMySqlServer server([&](FakeMySqlConnection& c) {
      size_t total = 0;
      while (total < payload.size() || (!seen.empty() && seen.back().second == full)) {
        auto p = c.ReadPacket();
        seen.emplace_back(p.seq, p.payload.size());
        joined += p.payload;
        total += p.payload.size();
      }
    });
    TMySqlNet net;
    net.SetVio(ConnectTo(server));
    net.ResetForCommand();
    net.WriteRaw(payload.data(), k.prefix);
    net.WriteRun(payload.data() + k.prefix, k.run);
    net.Flush();
    ASSERT_EQ(server.Finish(), "");
    ASSERT_EQ(seen.size(), k.packets.size());
    for (size_t i = 0; i < seen.size(); ++i) {
      EXPECT_EQ(seen[i].first, i);
      EXPECT_EQ(seen[i].second, k.packets[i]);
    }
    EXPECT_TRUE(joined == payload);
  }
}

TEST(MySqlNetTest, JoinsLargePayloadsAndWrapsSequenceNumbers) {
  const std::string big = Pattern(0xFFFFFF + 10);
  FakeMySqlServer server([&](FakeMySqlConnection& c) {
    // 300 small packets: the sequence number goes 0..255, then 0 again.
    for (int i = 0; i < 300; ++i) c.SendPacket(static_cast<uint8_t>(i), std::to_string(i));
    // A payload of 16 MiB and more arrives as a full packet and the rest.
    c.SendPacket(static_cast<uint8_t>(300), big.substr(0, 0xFFFFFF));
    c.SendPacket(static_cast<uint8_t>(301), big.substr(0xFFFFFF));
    // Exactly 0xFFFFFF bytes: a full packet and an empty one.
    c.SendPacket(static_cast<uint8_t>(302), big.substr(0, 0xFFFFFF));
    c.SendPacket(static_cast<uint8_t>(303), "");
    c.SendPacket(static_cast<uint8_t>(7), "late");
  });
  TMySqlNet net;
  net.SetVio(ConnectTo(server));
  net.ResetForCommand();
  for (int i = 0; i < 300; ++i) {
    net.ReadPacket();
    ASSERT_EQ(std::string(reinterpret_cast<const char*>(net.Data()), net.Size()), std::to_string(i));
  }
  EXPECT_EQ(net.PacketNumber(), 300 % 256);
  net.ReadPacket();
  ASSERT_EQ(net.Size(), big.size());
  EXPECT_TRUE(std::equal(big.begin(), big.end(), reinterpret_cast<const char*>(net.Data())));
  net.ReadPacket();
  EXPECT_EQ(net.Size(), 0xFFFFFFu);
  try {
    net.ReadPacket();
    ADD_FAILURE() << "no error for a packet out of order";
  } catch (const EMySqlException& e) {
    EXPECT_EQ(e.ErrorCode(), 1156);
    EXPECT_EQ(e.Message(), "ReceiveHeader: Net packets out of order: received[7], expected[48]");
    EXPECT_FALSE(e.ServerErrorFlag());
  }
  EXPECT_EQ(server.Finish(), "");
}

TEST(MySqlNetTest, ServerErrorPacketsAndSkipping) {
  FakeMySqlServer server([&](FakeMySqlConnection& c) {
    c.SendPacket(0, std::string(200000, 'r'));
    c.SendPacket(1, std::string("\xFE\x00\x00\x08\x00", 5));
    c.SendPacket(2, testing::ErrPacket(1064, "42000", "You have an error"));
  });
  TMySqlNet net;
  net.SetVio(ConnectTo(server));
  net.ResetForCommand();
  uint8_t first = 0;
  EXPECT_EQ(net.SkipPacket(first), 200000u);
  EXPECT_EQ(first, 'r');
  EXPECT_EQ(net.SkipPacket(first), 5u);
  EXPECT_EQ(first, 0xFE);
  EXPECT_EQ(net.SkipData()[3], 0x08);
  try {
    net.SkipPacket(first);
    ADD_FAILURE() << "no error raised";
  } catch (const EMySqlException& e) {
    EXPECT_EQ(e.ErrorCode(), 1064);
    EXPECT_EQ(e.Message(), "#42000You have an error");
    EXPECT_TRUE(e.ServerErrorFlag());
  }
  EXPECT_EQ(server.Finish(), "");
}

// Length-encoded integers: every value with its shortest encoding, read and
// written. Vectors from go-sql-driver/mysql, utils_test.go
// (TestLengthEncodedInteger), each re-computed with Python's struct module
// before it was taken over.
struct LenEncVector {
  uint64_t value;
  std::string encoded;
};
const std::vector<LenEncVector> kLenEncVectors = {
    {0x0000000000000000, std::string("\x00", 1)},
    {0x0000000000000012, "\x12"},
    {0x00000000000000fa, "\xfa"},
    {0x0000000000000100, std::string("\xfc\x00\x01", 3)},
    {0x0000000000001234, "\xfc\x34\x12"},
    {0x000000000000ffff, "\xfc\xff\xff"},
    {0x0000000000010000, std::string("\xfd\x00\x00\x01", 4)},
    {0x0000000000123456, "\xfd\x56\x34\x12"},
    {0x0000000000ffffff, "\xfd\xff\xff\xff"},
    {0x0000000001000000, std::string("\xfe\x00\x00\x00\x01\x00\x00\x00\x00", 9)},
    {0x123456789abcdef0, "\xfe\xf0\xde\xbc\x9a\x78\x56\x34\x12"},
    {0xffffffffffffffff, "\xfe\xff\xff\xff\xff\xff\xff\xff\xff"},
};

uint64_t Decode(const std::string& bytes, size_t& pos, bool* isNull = nullptr) {
  return TMySqlNet::DecodeLenEnc(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), pos, isNull);
}

TEST(MySqlNetTest, LengthEncodedIntegersReadTheFull64BitRange) {
  for (const LenEncVector& v : kLenEncVectors) {
    SCOPED_TRACE(v.value);
    size_t pos = 0;
    bool isNull = true;
    EXPECT_EQ(Decode(v.encoded + "tail", pos, &isNull), v.value);
    EXPECT_FALSE(isNull);
    EXPECT_EQ(pos, v.encoded.size());
  }
  size_t pos = 0;
  bool isNull = false;
  EXPECT_EQ(Decode(std::string("\xFB", 1), pos, &isNull), 0u);
  EXPECT_TRUE(isNull);
  EXPECT_EQ(pos, 1u);
  for (const std::string& bad : {std::string("\xFF", 1), std::string("\xFE\x01\x02\x03", 4),
                                std::string("\xFC\x01", 2), std::string(), std::string("\xFD\x01\x02", 3)}) {
    pos = 0;
    try {
      Decode(bad, pos);
      ADD_FAILURE() << "accepted a malformed value of " << bad.size() << " bytes";
    } catch (const EMySqlException& e) {
      EXPECT_EQ(e.ErrorCode(), 2027);
      EXPECT_EQ(e.Message(), "Malformed packet");
    }
  }
}

TEST(MySqlNetTest, WritesTheShortestEncodingAndTheFixedIntegers) {
  std::string wire;
  FakeMySqlServer server([&](FakeMySqlConnection& c) { wire = c.ReadPacket().payload; });
  TMySqlNet net;
  net.SetVio(ConnectTo(server));
  net.ResetForCommand();
  std::string expected;
  for (const LenEncVector& v : kLenEncVectors) {
    net.WriteLenEnc(v.value);
    expected += v.encoded;
  }
  net.WriteZString("abc");
  net.WriteInt2(0x0102);
  net.WriteInt3(0x030405);
  net.WriteInt8(0x0102030405060708ull);
  net.WriteFill(0x11, 3);
  net.Flush();
  ASSERT_EQ(server.Finish(), "");
  expected += std::string("abc\0\x02\x01\x05\x04\x03\x08\x07\x06\x05\x04\x03\x02\x01\x11\x11\x11", 20);
  EXPECT_EQ(wire, expected);
}

// An error packet always reads as a failure: one without a number, or with
// the number 0, becomes a client error instead of a zero error code. Each
// packet is read whole and skipped, through both read paths (in place in the
// read-ahead and through the ring buffer).
TEST(MySqlNetTest, ErrorPacketsNeverCarryTheNumberZero) {
  struct Case {
    std::string packet;
    int code;
    std::string message;
    bool serverFlag;
  };
  const std::vector<Case> cases = {
      {std::string("\xFF\x00\x00#HY000boom", 13), 2000, "Unknown MySQL error\r\n#HY000boom", true},
      {std::string("\xFF\x00\x00", 3), 2027, "Malformed packet", false},
      {std::string("\xFF\x00", 2), 2027, "Malformed packet", false},
      {std::string("\xFF", 1), 2027, "Malformed packet", false},
      {std::string("\xFF\x15\x04#28000denied\0junk", 19), 1045, "#28000denied", true},
  };
  for (const Case& k : cases) {
    for (int way = 0; way < 3; ++way) {
      SCOPED_TRACE(k.message + (way == 0 ? " (read in place)" : way == 1 ? " (read into the ring)" : " (skipped)"));
      FakeMySqlServer server([&](FakeMySqlConnection& c) { c.SendPacket(0, k.packet); });
      TMySqlNet net;
      net.SetVio(ConnectTo(server));
      net.ResetForCommand();
      if (way == 1) net.SetRingSize(2);
      try {
        uint8_t first = 0;
        if (way == 2)
          net.SkipPacket(first);
        else
          net.ReadPacket();
        ADD_FAILURE() << "an error packet read as a packet";
      } catch (const EMySqlException& e) {
        EXPECT_EQ(e.ErrorCode(), k.code);
        EXPECT_EQ(e.Message(), k.message);
        EXPECT_EQ(e.ServerErrorFlag(), k.serverFlag);
      }
      EXPECT_EQ(server.Finish(), "");
    }
  }
}

// A payload joined from several parts counts whole: skipping reports its
// full length, so a row whose last part is short is no end marker.
TEST(MySqlNetTest, SkippingReportsTheWholeJoinedLength) {
  const std::string part(0xFFFFFF, 'p');
  FakeMySqlServer server([&](FakeMySqlConnection& c) {
    c.SendPacket(0, "\xFE" + part.substr(1));
    c.SendPacket(1, part);
    c.SendPacket(2, std::string("\x00\x00\x02\x00\x00", 5));
    c.SendPacket(3, std::string("\xFE\x00\x00\x02\x00", 5));
  });
  TMySqlNet net;
  net.SetVio(ConnectTo(server));
  net.ResetForCommand();
  uint8_t first = 0;
  EXPECT_EQ(net.SkipPacket(first), 2u * 0xFFFFFF + 5);
  EXPECT_EQ(first, 0xFE);
  EXPECT_EQ(net.SkipPacket(first), 5u);
  EXPECT_EQ(first, 0xFE);
  EXPECT_EQ(server.Finish(), "");
}

// A chain of full parts that never ends stops at the packet limit (64 MiB
// by default) with 2020, and the buffer that joins it never grows past the
// limit.
TEST(MySqlNetTest, EndlessChainStopsAtThePacketLimit) {
  EXPECT_EQ(TMySqlNet().MaxPacketSize(), 64u * 1024 * 1024);
  const std::string part(0xFFFFFF, 'c');
  int sent = 0;
  FakeMySqlServer server([&](FakeMySqlConnection& c) {
    try {
      for (; sent < 40; ++sent) c.SendPacket(static_cast<uint8_t>(sent), part);
    } catch (const std::exception&) {
      // The client closed the connection.
    }
  });
  TMySqlNet net;
  net.SetVio(ConnectTo(server));
  net.ResetForCommand();
  try {
    net.ReadPacket();
    ADD_FAILURE() << "an endless chain was read";
  } catch (const EMySqlException& e) {
    EXPECT_EQ(e.ErrorCode(), 2020);
    EXPECT_EQ(e.Message(), "Got packet bigger than 'max_allowed_packet'");
  }
  net.Close();
  EXPECT_EQ(server.Finish(), "");
  EXPECT_LT(sent, 40);

  // Half again of the capacity, but never past the limit while the size
  // fits under it.
  TByteBuffer buf;
  const size_t limit = 64u * 1024 * 1024;
  for (int i = 0; i < 4; ++i) {
    buf.Extend(0xFFFFFF, limit);
    EXPECT_LE(buf.Capacity(), limit) << i;
  }
  EXPECT_EQ(buf.Size(), 4u * 0xFFFFFF);
  buf.Extend(0xFFFFFF, limit);  // past the limit: the size is what it asks for
  EXPECT_GE(buf.Capacity(), 5u * 0xFFFFFF);
}

TEST(MySqlNetTest, ReadsStayInsideThePacket) {
  FakeMySqlServer server([&](FakeMySqlConnection& c) { c.SendPacket(0, std::string("\x05\x00\x00\x00" "abc", 7)); });
  TMySqlNet net;
  net.SetVio(ConnectTo(server));
  net.ResetForCommand();
  net.ReadPacket();
  EXPECT_EQ(net.ReadByte(), 5);
  EXPECT_EQ(net.ReadInt2(), 0);
  EXPECT_EQ(net.ReadZString(), "");
  EXPECT_EQ(net.ReadZString(), "abc");  // no zero: the rest of the packet
  EXPECT_EQ(net.Remaining(), 0u);
  EXPECT_THROW(net.ReadByte(), EMySqlException);
  net.SetPosition(4);
  EXPECT_THROW(net.ReadInt4(), EMySqlException);
  EXPECT_EQ(net.ReadBytes(3), "abc");
  EXPECT_EQ(net.Received(0).Size(), 7u);
  EXPECT_THROW(net.Received(1), Exception);
  ASSERT_EQ(server.Finish(), "");
}

TEST(MySqlNetTest, ErrorTable) {
  EXPECT_EQ(MySqlClientErrorTemplate(2014), "Commands out of sync;  You can't run this command now");
  EXPECT_EQ(MySqlClientErrorTemplate(2047), "Invalid connection handle");
  EXPECT_EQ(MySqlClientErrorTemplate(2045),
            "Can't open shared memory. Can't send the request event to server (%s)");
  EXPECT_EQ(MySqlClientErrorTemplate(1999), "");
  EXPECT_EQ(MySqlClientErrorTemplate(2048), "");
  EXPECT_EQ(EMySqlException::Create(2013, "socket text").Message(),
            "Lost connection to MySQL server during query\r\nsocket text");
  EXPECT_EQ(EMySqlException::Create(2013).Message(), "Lost connection to MySQL server during query");
  EXPECT_EQ(EMySqlException::CreateFmt(2003, "", "db.local", 10061).Message(),
            "Can't connect to MySQL server on 'db.local' (10061)");
  EXPECT_EQ(EMySqlException::CreateFmt(2003, "transport text", "db.local", 10061).Message(), "transport text");
  EXPECT_EQ(EMySqlException::Create(3000, "only this").Message(), "only this");
  EXPECT_EQ(EMySqlException::CreateFmt(2007, "", 9, 10).Message(),
            "Protocol mismatch. Server Version = 9 Client Version = 10");
  EXPECT_EQ(EMySqlException::CreateFmt(2011, "", std::string(100, 'h').c_str()).Message(),
            std::string(64, 'h') + " via TCP/IP");
}

TEST(MySqlNetTest, ServerVersionsAndMethodNames) {
  const TServerVersion mysql = ParseServerVersion("8.0.23");
  EXPECT_EQ(mysql.major, 8);
  EXPECT_EQ(mysql.minor, 0);
  EXPECT_EQ(mysql.release, 23);
  EXPECT_FALSE(mysql.mariaDb);
  const TServerVersion maria = ParseServerVersion("5.5.5-10.3.7-MariaDB");
  EXPECT_EQ(maria.major, 10);
  EXPECT_EQ(maria.minor, 3);
  EXPECT_EQ(maria.release, 7);
  EXPECT_TRUE(maria.mariaDb);
  EXPECT_EQ(ParseServerVersion("10.11.19-MariaDB-0+deb12u1").release, 19);
  EXPECT_EQ(ParseServerVersion("garbage").major, 0);
  EXPECT_EQ(AuthMethodFromName("mysql_native_password"), TAuthMethod::Native);
  EXPECT_EQ(AuthMethodFromName("MYSQL_OLD_PASSWORD"), TAuthMethod::Old);
  EXPECT_EQ(AuthMethodFromName("sha256_password"), TAuthMethod::Sha256);
  EXPECT_EQ(AuthMethodFromName("caching_sha2_password"), TAuthMethod::CachingSha2);
  EXPECT_EQ(AuthMethodFromName("authentication_windows_client"), TAuthMethod::Windows);
  EXPECT_EQ(AuthMethodFromName("auth_gssapi_client"), TAuthMethod::Gssapi);
  EXPECT_EQ(AuthMethodFromName("dialog"), TAuthMethod::Dialog);
  EXPECT_EQ(AuthMethodFromName("mysql_clear_password"), TAuthMethod::Unknown);
  EXPECT_EQ(AuthMethodFromName(""), TAuthMethod::Unknown);
}

TEST(MySqlNetTest, TransportErrors) {
  const int port = testing::FreeLoopbackPort();
  TVioTcp refused("127.0.0.1", port);
  EXPECT_THROW(refused.Connect(), Exception);
  EXPECT_EQ(refused.LastErrorCode(), 10061);
  EXPECT_EQ(refused.LastError(), "Cannot connect to server on host '127.0.0.1':\r\nConnection refused.\r\n"
                                 "Socket Error Code: 10061($274D)");
  TVioTcp unknown("no-such-host.invalid", 3306);
  EXPECT_THROW(unknown.Connect(), Exception);
  EXPECT_EQ(unknown.LastErrorCode(), 11001);
  EXPECT_EQ(unknown.LastError(), "Unknown host 'no-such-host.invalid'.\r\nSocket Error Code: 11001($2AF9)");
  // Writing after Close.
  FakeMySqlServer server([&](FakeMySqlConnection& c) { c.ReadUntilClosed(); });
  auto vio = ConnectTo(server);
  EXPECT_EQ(vio->RemoteAddress(), "127.0.0.1");
  vio->Close();
  vio->Close();
  const uint8_t b = 1;
  EXPECT_EQ(vio->Write(&b, 1), 0u);
  EXPECT_EQ(vio->LastError(), "Error on data writing to the connection: Invalid socket");
  EXPECT_EQ(server.Finish(), "");
  // A receive time-out.
  FakeMySqlServer silent([&](FakeMySqlConnection& c) { c.ReadUntilClosed(3000); });
  auto slow = ConnectTo(silent);
  slow->SetReceiveTimeout(1);
  uint8_t buf[4];
  EXPECT_EQ(slow->Read(buf, 4), 0u);
  EXPECT_EQ(slow->LastErrorCode(), 10060);
  slow->Close();
  EXPECT_EQ(silent.Finish(), "");
}

TEST(MySqlNetTest, CloseFromAnotherThreadEndsABlockedRead) {
  FakeMySqlServer server([&](FakeMySqlConnection& c) { c.ReadUntilClosed(5000); });
  auto vio = ConnectTo(server);
  vio->SetReceiveTimeout(0);  // no limit: only Close can end the read
  std::thread closer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    vio->Close();
  });
  uint8_t buf[16];
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(vio->Read(buf, sizeof buf), 0u);
  closer.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
  EXPECT_TRUE(vio->Aborted());
  EXPECT_EQ(server.Finish(), "");
}

TEST(MySqlNetTest, AddressFamilies) {
  // A listener on the IPv6 loopback.
  int port = 0;
  const testing::SoqueteTeste listener = testing::Escutar(testing::FamiliaTeste::IPv6, 2, port);

  TVioTcp v6("::1", port, TIPVersion::ivIPv6);
  ASSERT_NO_THROW(v6.Connect()) << v6.LastError();
  EXPECT_EQ(v6.RemoteAddress(), "::1");
  v6.Close();
  TVioTcp both("::1", port, TIPVersion::ivIPBoth);
  EXPECT_NO_THROW(both.Connect());
  both.Close();
  // IPv4 only: the IPv6 literal does not resolve.
  TVioTcp v4("::1", port, TIPVersion::ivIPv4);
  EXPECT_THROW(v4.Connect(), Exception);
  EXPECT_EQ(v4.LastErrorCode(), 11001);
  testing::Fechar(listener);
}

}  // namespace
}  // namespace bilhetor
