// TCP printers: a loopback listener that records what it receives stands in
// for a port 9100 printer.
#include <gtest/gtest.h>

#include <memory>

#include "device/Device.h"
#include "support/LoopbackServer.h"
#include "support/SlowTcpPrinter.h"
#include "transport/TcpSocket.h"
#include "DeviceTestSupport.h"

namespace bilhetor {
namespace {

using testing::ListSpooler;
using testing::LogLines;
using testing::LoopbackServer;
using testing::StillClock;
using testing::TempDir;

class DeviceTcpTest : public ::testing::Test {
 protected:
  DeviceTcpTest() : clock(std::make_shared<StillClock>()), dev(std::make_shared<ListSpooler>(), clock) {}
  std::string Porta() const { return "TCP:127.0.0.1:" + server.PortText(); }
  std::string ExpectRaise(const std::function<void()>& f, std::string* classe = nullptr) {
    try {
      f();
    } catch (const Exception& e) {
      if (classe) *classe = NomeClasseErro(e);
      return e.Message();
    }
    ADD_FAILURE() << "no raise";
    return "";
  }
  TempDir dir;
  LoopbackServer server;
  std::shared_ptr<StillClock> clock;
  TDevice dev;
};

TEST_F(DeviceTcpTest, SendsEveryByteToThePrinter) {
  dev.SetPorta(Porta());
  dev.SetArqLOG(dir / "d.log");
  dev.Ativar();
  EXPECT_TRUE(dev.Ativo());
  EXPECT_EQ(dev.HostTCP(), "127.0.0.1");
  EXPECT_EQ(dev.PortaTCP(), server.PortText());
  EXPECT_EQ(dev.Socket().ConnectionTimeout(), 3000);
  std::string ticket;
  for (int c = 0; c < 256; ++c) ticket += static_cast<char>(c);
  ticket += std::string(100000, 'z');
  dev.EnviaString(ticket);
  ASSERT_TRUE(server.WaitForReceived(ticket.size()));
  EXPECT_EQ(server.Received(), ticket);
  const auto linhas = LogLines(dir / "d.log");
  ASSERT_GE(linhas.size(), 3u);
  EXPECT_EQ(linhas[0], "Ativar - Porta:" + Porta());
  EXPECT_EQ(linhas[1], "TryCloseSocket - TCP");
  EXPECT_EQ(linhas[2], "  Socket.Connect(127.0.0.1, " + server.PortText() + ")");
  EXPECT_EQ(linhas.back(), "  BytesToSend:" + std::to_string(ticket.size()));
}

TEST_F(DeviceTcpTest, PiecesOfFourWithPauses) {
  dev.SetPorta(Porta());
  dev.Ativar();
  std::vector<std::string> envios;
  dev.Socket().SetOnStatus([&](TSocketBase&, THookSocketReason r, const std::string& v) {
    if (r == THookSocketReason::HR_WriteCount) envios.push_back(v);
  });
  dev.SetSendBytesCount(4);
  dev.SetSendBytesInterval(50);
  dev.SetArqLOG(dir / "d.log");
  dev.EnviaString("0123456789");
  ASSERT_TRUE(server.WaitForReceived(10));
  EXPECT_EQ(server.Received(), "0123456789");
  EXPECT_EQ(envios, (std::vector<std::string>{"4", "4", "2"}));
  EXPECT_EQ(clock->sleeps, (std::vector<int>{50, 50, 50}));
  EXPECT_EQ(LogLines(dir / "d.log"),
            (std::vector<std::string>{"EnviaString(0123456789)", "EnviaStringTCP(0123456789)", "  BytesToSend:4",
                                      "  Sleep(50)", "  BytesToSend:4", "  Sleep(50)", "  BytesToSend:4",
                                      "  Sleep(50)"}));
}

TEST_F(DeviceTcpTest, EmptyAndNegativeCountsDoNotSpin) {
  dev.SetPorta(Porta());
  dev.Ativar();
  dev.SetSendBytesCount(-1);
  dev.SetSendBytesInterval(5);
  dev.EnviaString("");
  dev.EnviaString("abc");
  ASSERT_TRUE(server.WaitForReceived(3));
  EXPECT_EQ(server.Received(), "abc");
  EXPECT_EQ(clock->sleeps, (std::vector<int>{5}));
}

TEST_F(DeviceTcpTest, PortNameGrammar) {
  // Nothing listens on the loopback addresses used here; a blocking connect
  // (TimeOut 0) is refused at once.
  dev.SetTimeOut(0);
  struct Case {
    const char* porta;
    const char* host;
    const char* port;
  } cases[] = {
      {"TCP:127.0.0.9", "127.0.0.9", "9100"},
      {"tcp:127.0.0.9:9101", "127.0.0.9", "9101"},
      {"TCP:127.0.0.9:123456", "127.0.0.9", "12345"},
      {"TCP:127.0.0.9:", "127.0.0.9", "9100"},
      {"TCP:127.0.0.9:1:2", "127.0.0.9", "1:2"},
  };
  for (const auto& c : cases) {
    dev.SetPorta(c.porta);
    std::string classe;
    ExpectRaise([&] { dev.Ativar(); }, &classe);
    EXPECT_EQ(classe, "ESocketError") << c.porta;
    EXPECT_FALSE(dev.Ativo());
    EXPECT_EQ(dev.HostTCP(), c.host) << c.porta;
    EXPECT_EQ(dev.PortaTCP(), c.port) << c.porta;
  }
}

TEST_F(DeviceTcpTest, RefusedConnectionIsASocketError) {
  const int livre = testing::FreeLoopbackPort();
  dev.SetPorta("TCP:127.0.0.1:" + std::to_string(livre));
  dev.SetTimeOut(0);
  dev.SetArqLOG(dir / "d.log");
  EXPECT_EQ(ExpectRaise([&] { dev.Ativar(); }), "TCP/IP Socket error 10061: Connection refused");
  EXPECT_FALSE(dev.Ativo());
  // The socket's own errors are not logged by the device.
  EXPECT_EQ(LogLines(dir / "d.log").back(), "  Socket.Connect(127.0.0.1, " + std::to_string(livre) + ")");
}

TEST_F(DeviceTcpTest, StatusQueryAndAnswer) {
  server.AddAnswer(std::string("\x10\x04\x01", 3), "\x16");
  server.AddAnswer("\x1D" "I\x42", std::string("TM-T20\x00X", 8));
  dev.SetPorta(Porta());
  dev.Ativar();
  dev.Limpar();
  dev.EnviaString(std::string("\x10\x04\x01", 3));
  EXPECT_EQ(dev.LeString(2000, 1, ""), "\x16");
  dev.EnviaString("\x1D" "I\x42");
  EXPECT_EQ(dev.LeString(2000, 0, std::string(1, '\0')), "TM-T20");
  EXPECT_EQ(dev.LeString(2000, 0, ""), "X");
  std::string classe;
  EXPECT_EQ(ExpectRaise([&] { dev.LeString(200, 1, ""); }, &classe), "TCP/IP Socket error 10060: Connection timed out");
  EXPECT_EQ(classe, "ESocketError");
}

TEST_F(DeviceTcpTest, LimparDropsWhatThePrinterSentBefore) {
  dev.SetPorta(Porta());
  dev.Ativar();
  ASSERT_TRUE(server.WaitForConnections(1));
  server.Send("antigo");
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  dev.SetArqLOG(dir / "d.log");
  dev.Limpar();
  server.Send("novo");
  EXPECT_EQ(dev.LeString(2000, 4, ""), "novo");
  EXPECT_EQ(LogLines(dir / "d.log"),
            (std::vector<std::string>{"Limpar", "LeString(2000, 4, )", "  novo"}));
}

TEST_F(DeviceTcpTest, APrinterThatGoesAwayMidSendRaisesAndTheDeviceRecovers) {
  dev.SetPorta(Porta());
  dev.Ativar();
  ASSERT_TRUE(server.WaitForConnections(1));
  server.ResetConnection();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  std::string classe;
  const std::string msg = ExpectRaise(
      [&] {
        for (int i = 0; i < 50; ++i) dev.EnviaString(std::string(65536, 'x'));
      },
      &classe);
  EXPECT_EQ(classe, "ESocketError");
  EXPECT_NE(msg.find("TCP/IP Socket error"), std::string::npos) << msg;
  EXPECT_TRUE(dev.Ativo());
  dev.Desativar();
  EXPECT_FALSE(dev.Ativo());
  dev.Ativar();
  ASSERT_TRUE(server.WaitForConnections(2));
  dev.EnviaString("de volta");
  ASSERT_TRUE(server.WaitForText("de volta"));
  EXPECT_EQ(server.ReceivedOn(1), "de volta");
}

// A network printer with a small window that takes its bytes slowly (about
// 100 KB/s) and sends a status byte of its own in the middle of the ticket,
// after the device has finished with it: deactivated at once, cleared its
// input first, or asked for the status and given up waiting for the reply
// (which the printer sends only when it reaches the query). The printer gets
// the whole ticket all the same.
TEST(DeviceTcpDelivery, TheWholeTicketReachesASlowPrinter) {
  enum class Then { Desativar, Limpar, StatusQuery };
  const struct {
    const char* what;
    Then then;
    size_t statusAfter;  // bytes; 40000 come in well after the 300 ms read
    bool endsWithFin;    // the status byte comes while the close waits: no reset
  } cases[] = {
      {"Desativar", Then::Desativar, 20000, true},
      {"Limpar", Then::Limpar, 20000, true},
      // The late reply to the query may still reset the connection, once
      // the printer has everything.
      {"status query answered too late", Then::StatusQuery, 40000, false},
  };
  const std::string query = "\x10\x04\x01";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    testing::SlowTcpPrinter printer(512, std::chrono::milliseconds(5));
    printer.SendAfterBytes(c.statusAfter, std::string("\x14\x00\x00\x0f", 4));
    printer.AnswerAfter(query, "\x12");
    TDevice dev(std::make_shared<ListSpooler>(), std::make_shared<StillClock>());
    dev.SetPorta("TCP:127.0.0.1:" + printer.PortText());
    dev.Ativar();
    std::string ticket = "\x1B@";
    for (int i = 0; ticket.size() < 60000; ++i) ticket += "  " + std::to_string(i) + " x PRODUTO\n";
    dev.EnviaString(ticket);
    std::string expected = ticket;
    switch (c.then) {
      case Then::Desativar:
        break;
      case Then::Limpar:
        dev.Limpar();
        break;
      case Then::StatusQuery:
        dev.Limpar();
        dev.EnviaString(query);
        expected += query;
        EXPECT_THROW(dev.LeString(300, 1, ""), ESocketError);
        break;
    }
    dev.Desativar();
    ASSERT_TRUE(printer.WaitForEnd());
    if (c.endsWithFin) {
      EXPECT_FALSE(printer.EndedWithReset());
    }
    EXPECT_EQ(printer.Received().size(), expected.size());
    EXPECT_TRUE(printer.Received() == expected);
  }
}

TEST_F(DeviceTcpTest, DeactivationClosesTheConnection) {
  dev.SetPorta(Porta());
  dev.Ativar();
  ASSERT_TRUE(server.WaitForConnections(1));
  dev.SetArqLOG(dir / "d.log");
  dev.Desativar();
  EXPECT_TRUE(server.WaitForClosedByClient(1));
  EXPECT_EQ(LogLines(dir / "d.log"), (std::vector<std::string>{"Desativar", "TryCloseSocket - TCP"}));
  EXPECT_TRUE(dev.Socket().RaiseExcept());
}

}  // namespace
}  // namespace bilhetor
