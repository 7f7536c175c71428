// The serial port against real pseudo-terminal pairs made by socat: what it
// promises on every platform.
#include "SerialPortTest.h"

#include <atomic>
#include <climits>
#include <thread>
#include <tuple>
#include <vector>

#include "support/TestSupport.h"
#include "transport/DrainWait.h"

namespace bilhetor::serial_test {
namespace {

TEST(SerialPortErrors, DescriptionsAndErrorMessage) {
  EXPECT_EQ(TSerialPort::GetErrorDesc(0), "OK");
  EXPECT_EQ(TSerialPort::GetErrorDesc(9991), "Port owned by other process");
  EXPECT_EQ(TSerialPort::GetErrorDesc(9994), "Instance not yet connected");
  EXPECT_EQ(TSerialPort::GetErrorDesc(9996), "Maximal buffer length exceeded");
  EXPECT_EQ(TSerialPort::GetErrorDesc(9997), "Timeout during operation");
  EXPECT_EQ(TSerialPort::GetErrorDesc(10003), "Tranceive Queue is full");

  const ESerialError e(9997, "Timeout during operation");
  EXPECT_STREQ(e.what(), "Communication error 9997: Timeout during operation");
  EXPECT_EQ(e.ErrorCode(), 9997);
  EXPECT_EQ(e.ErrorMessage(), "Timeout during operation");
}

// Only "COM" + a plain decimal number is a COM name; anything else is opened
// exactly as written, however close it comes (a blank, a sign, hexadecimal).
TEST(SerialPortNames, OnlyPlainComNumbersAreComNames) {
  const struct {
    const char* name;
    int number;
  } cases[] = {
      {"COM1", 1},      {"com12", 12},  {"COM01", 1},  {"COM999999", 999999}, {"COM1 ", 0},
      {" COM1", 0},     {"COM 1", 0},   {"COM+1", 0},  {"COM-1", 0},          {"COM$A", 0},
      {"COM0x1", 0},    {"COM1000000", 0}, {"COM0", 0}, {"COMX", 0},          {"COM", 0},
      {"/dev/ttyS1", 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TSerialPort::ComPortNumber(c.name), c.number) << "[" << c.name << "]";
    if (c.number == 0) {
      EXPECT_EQ(TSerialPort::SystemDeviceName(c.name), c.name) << "[" << c.name << "]";
    }
  }
}

// Connect records the system name it opened and the zero-based COM number;
// names that are no COM name are opened unchanged.
TEST(SerialPortNames, ConnectRecordsTheNameItOpened) {
  TSerialPort port;
  port.Connect("COM200");  // no usual machine has a 200th serial port
  EXPECT_EQ(port.DeviceName(), TSerialPort::SystemDeviceName("COM200"));
  EXPECT_NE(port.DeviceName(), "COM200");
  EXPECT_EQ(port.ComNumber(), 199);
  EXPECT_EQ(port.LastError(), 2);
  for (const char* name : {"COM0", "COMX"}) {
    port.Connect(name);
    EXPECT_EQ(port.DeviceName(), name);
    EXPECT_EQ(port.ComNumber(), -1);
    EXPECT_EQ(port.LastError(), 2) << name;
    EXPECT_FALSE(port.InstanceActive());
  }
}

TEST(SerialPortNames, MissingPortFailsWithSystemError2) {
  TSerialPort port;
  port.Connect(kMissingPort);
  EXPECT_EQ(port.LastError(), 2);
  EXPECT_EQ(port.LastErrorDesc(), TSerialPort::GetErrorDesc(2));
  EXPECT_FALSE(port.InstanceActive());
  EXPECT_EQ(port.Handle(), TSerialPort::InvalidHandle);

  port.SetRaiseExcept(true);
  try {
    port.Connect(kMissingPort);
    FAIL() << "no error raised";
  } catch (const ESerialError& e) {
    EXPECT_EQ(e.ErrorCode(), 2);
    EXPECT_EQ(e.what(), "Communication error 2: " + TSerialPort::GetErrorDesc(2));
  }
}

TEST(SerialPortNames, NamesThatAreNotPortsAreRefusedUntouched) {
  testing::TempDir dir;
  const std::string file = dir / "not-a-port";
  testing::WriteFile(file, "keep me");
  TSerialPort port;
  for (const std::string& name : {file, dir.Path().string(), std::string(kNullDevice)}) {
    port.Connect(name);
    EXPECT_EQ(port.LastError(), kNotAPort) << name;
    EXPECT_FALSE(port.InstanceActive()) << name;
    EXPECT_EQ(port.Handle(), TSerialPort::InvalidHandle) << name;
  }
  EXPECT_EQ(testing::ReadFile(file), "keep me");
  // An empty name is no port either.
  port.Connect("");
  EXPECT_EQ(port.LastError(), 2);
}

TEST_F(SerialPortTest, ImpossibleSettingsAreRefusedAndChangeNothing) {
  TSerialPort port;
  Open(port);
  port.ApplySettings(38400, 8, 'N', 0, false, false);
  const std::string before = DriverSettings(port);
  for (auto [baud, bits, stop] : {std::tuple{9600, 9, 0}, std::tuple{9600, 4, 0}, std::tuple{0, 8, 0},
                                  std::tuple{-9600, 8, 0}, std::tuple{9600, 8, 3}, std::tuple{9600, 8, -1}}) {
    port.ApplySettings(baud, bits, 'E', stop, true, true);
    EXPECT_EQ(port.LastError(), kRefusedSettings) << baud << " " << bits << " " << stop;
  }
  EXPECT_EQ(DriverSettings(port), before);
  port.SetRaiseExcept(true);
  EXPECT_THROW(port.ApplySettings(9600, 9, 'N', 0, false, false), ESerialError);
}

TEST_F(SerialPortTest, ConnectOpensTheSystemNameInBinaryMode) {
  std::vector<std::pair<TSerialStatusReason, std::string>> events;  // outlives the port
  TSerialPort port;
  port.SetOnStatus([&](TSerialPort& sender, TSerialStatusReason r, const std::string& v) {
    EXPECT_EQ(&sender, &port);
    events.emplace_back(r, v);
  });
  Open(port);
  EXPECT_EQ(port.DeviceName(), pty->PortName());
  EXPECT_TRUE(port.RTS());
  EXPECT_TRUE(port.DTR());
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back().first, TSerialStatusReason::HR_Connect);
  EXPECT_EQ(events.back().second, pty->PortName());

  // Every byte value passes unchanged both ways (no echo, no CR/LF
  // translation, no signal characters).
  std::string all;
  for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
  EXPECT_EQ(port.WriteBuffer(all.data(), static_cast<int>(all.size())), 256);
  EXPECT_EQ(pty->PeerRead(256), all);
  pty->PeerWrite(all);
  EXPECT_EQ(port.ReadExactly(256, 2000), all);
  EXPECT_EQ(port.LastError(), 0);
}

TEST_F(SerialPortTest, ConnectWhileActiveFailsAndLeavesThePortOpen) {
  TSerialPort port;
  Open(port);
  port.Connect(pty->PortName());
  EXPECT_EQ(port.LastError(), 9992);
  EXPECT_EQ(port.LastErrorDesc(), "Instance already in use");
  EXPECT_TRUE(port.InstanceActive());
  EXPECT_EQ(port.WriteBuffer("ok", 2), 2);
  EXPECT_EQ(pty->PeerRead(2), "ok");
}

TEST_F(SerialPortTest, SecondOwnerIsRefusedUntilTheFirstCloses) {
  TSerialPort first;
  Open(first);
  TSerialPort second;
  second.Connect(pty->PortName());
  EXPECT_EQ(second.LastError(), 9991);
  EXPECT_FALSE(second.InstanceActive());
  first.CloseSocket();
  second.Connect(pty->PortName());
  EXPECT_EQ(second.LastError(), 0);
  EXPECT_TRUE(second.InstanceActive());
}

TEST_F(SerialPortTest, CloseSocketReleasesThePortAndReports) {
  std::vector<TSerialStatusReason> reasons;
  {
    TSerialPort port;
    Open(port);
    port.SetOnStatus([&](TSerialPort&, TSerialStatusReason r, const std::string&) { reasons.push_back(r); });
    pty->PeerWrite("pending");
    ASSERT_TRUE(testing::WaitUntil([&] { return port.BytesWaiting() > 0; }));
    port.CloseSocket();
    EXPECT_FALSE(port.InstanceActive());
    EXPECT_EQ(port.Handle(), TSerialPort::InvalidHandle);
    EXPECT_EQ(port.LastError(), 0);
    EXPECT_FALSE(port.RTS());
    EXPECT_FALSE(port.DTR());
    ASSERT_FALSE(reasons.empty());
    EXPECT_EQ(reasons.back(), TSerialStatusReason::HR_SerialClose);
    // Reopening works and finds no stale input.
    Open(port);
    EXPECT_EQ(port.ReadAvailable(50), "");
    EXPECT_EQ(port.LastError(), 9997);
  }
  // The destructor closed the port: another object may take it.
  TSerialPort again;
  Open(again);
}

TEST_F(SerialPortTest, TestDSRWithoutDSRRefusesTheDevice) {
  TSerialPort port;
  port.SetTestDSR(true);
  port.Connect(pty->PortName());
  EXPECT_EQ(port.LastError(), 9995);
  EXPECT_EQ(port.LastErrorDesc(), "No device answer detected");
  EXPECT_FALSE(port.InstanceActive());
  EXPECT_EQ(port.Handle(), TSerialPort::InvalidHandle);
  EXPECT_EQ(port.ComNumber(), -1);
  // The port was closed again: a plain open succeeds.
  TSerialPort other;
  Open(other);
}

TEST_F(SerialPortTest, OperationsOnAClosedPortFailWith9994) {
  TSerialPort port;
  EXPECT_EQ(port.WriteBuffer("x", 1), 0);
  EXPECT_EQ(port.LastError(), 9994);
  EXPECT_EQ(port.ReadAvailable(10), "");
  EXPECT_EQ(port.LastError(), 9994);
  EXPECT_EQ(port.ReadUntil(10, "\r"), "");
  EXPECT_EQ(port.ReadExactly(1, 10), "");
  port.SetRaiseExcept(true);
  try {
    port.WriteBuffer("x", 1);
    FAIL() << "no error raised";
  } catch (const ESerialError& e) {
    EXPECT_STREQ(e.what(), "Communication error 9994: Instance not yet connected");
  }
}

TEST_F(SerialPortTest, ModemLinesFollowTheSetters) {
  TSerialPort port;
  Open(port);
  port.SetRTS(false);
  EXPECT_FALSE(port.RTS());
  EXPECT_TRUE(port.DTR());
  port.SetDTR(false);
  EXPECT_FALSE(port.DTR());
  port.SetRTS(true);
  EXPECT_TRUE(port.RTS());
  // A pseudo-terminal has no modem status lines: they read as off, and
  // driving the outputs is not an error of the port.
  EXPECT_FALSE(port.CTS());
  EXPECT_FALSE(port.DSR());
  EXPECT_EQ(port.LastError(), 0);
}

TEST_F(SerialPortTest, WriteBufferReportsCountAndRefusesNegativeLengths) {
  std::vector<std::string> counts;  // outlives the port
  TSerialPort port;
  Open(port);
  port.SetOnStatus([&](TSerialPort&, TSerialStatusReason r, const std::string& v) {
    if (r == TSerialStatusReason::HR_WriteCount) counts.push_back(v);
  });
  EXPECT_EQ(port.WriteBuffer("\x1b@hello", 7), 7);
  EXPECT_EQ(pty->PeerRead(7), "\x1b@hello");
  EXPECT_EQ(counts, std::vector<std::string>{"7"});

  EXPECT_EQ(port.WriteBuffer("x", -1), 0);
  EXPECT_EQ(port.LastError(), 9993);
  EXPECT_EQ(port.WriteBuffer(nullptr, 5), 0);
  EXPECT_EQ(port.LastError(), 9993);
  EXPECT_EQ(port.WriteBuffer(nullptr, 0), 0);
  EXPECT_EQ(port.LastError(), 0);
}

TEST_F(SerialPortTest, ReadExactlyKeepsTheSurplusForTheNextRead) {
  TSerialPort port;
  Open(port);
  pty->PeerWrite("abcdefghij");
  ASSERT_TRUE(testing::WaitUntil([&] { return port.BytesWaiting() == 10; }));
  EXPECT_EQ(port.ReadExactly(4, 1000), "abcd");
  EXPECT_EQ(port.LineBuffer(), "efghij");
  const auto start = Clock::now();
  EXPECT_EQ(port.ReadExactly(6, 1000), "efghij");
  EXPECT_LT(ElapsedMs(start), 200);
  EXPECT_EQ(port.LineBuffer(), "");
}

TEST_F(SerialPortTest, ReadExactlyCollectsPiecesThatArriveLater) {
  TSerialPort port;
  Open(port);
  std::thread sender([&] {
    for (const char* piece : {"12", "34", "5678"}) {
      std::this_thread::sleep_for(std::chrono::milliseconds(60));
      pty->PeerWrite(piece);
    }
  });
  EXPECT_EQ(port.ReadExactly(8, 1000), "12345678");
  sender.join();
  EXPECT_EQ(port.LastError(), 0);
}

TEST_F(SerialPortTest, ReadExactlyTimesOutAndDropsAShortReply) {
  TSerialPort port;
  Open(port);
  pty->PeerWrite("abc");
  const auto start = Clock::now();
  EXPECT_EQ(port.ReadExactly(5, 300), "");
  const long elapsed = ElapsedMs(start);
  EXPECT_EQ(port.LastError(), 9997);
  EXPECT_EQ(port.LastErrorDesc(), "Timeout during operation");
  EXPECT_GE(elapsed, 250);
  EXPECT_LT(elapsed, 2000);
  EXPECT_EQ(port.LineBuffer(), "");  // the 3 bytes are not kept

  port.SetRaiseExcept(true);
  try {
    port.ReadExactly(5, 100);
    FAIL() << "no error raised";
  } catch (const ESerialError& e) {
    EXPECT_EQ(e.ErrorCode(), 9997);
    EXPECT_STREQ(e.what(), "Communication error 9997: Timeout during operation");
  }
}

TEST_F(SerialPortTest, ReadExactlyWithABudgetEndsWhenTheBudgetIsSpent) {
  TSerialPort port;
  Open(port);
  port.SetInterPacketTimeout(false);
  std::atomic<bool> stop {false};
  std::thread trickle([&] {
    while (!stop) {
      pty->PeerWrite("x");
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  });
  const auto start = Clock::now();
  EXPECT_EQ(port.ReadExactly(1000, 400), "");
  const long elapsed = ElapsedMs(start);
  stop = true;
  trickle.join();
  EXPECT_EQ(port.LastError(), 9997);
  EXPECT_GE(elapsed, 350);
  EXPECT_LT(elapsed, 1500);
}

TEST_F(SerialPortTest, CountsAndTimeOutsThatMakeNoSense) {
  TSerialPort port;
  Open(port);
  pty->PeerWrite("data");
  ASSERT_TRUE(testing::WaitUntil([&] { return port.BytesWaiting() == 4; }));
  // No bytes asked for: nothing is read, nothing fails.
  EXPECT_EQ(port.ReadExactly(0, 100), "");
  EXPECT_EQ(port.LastError(), 0);
  EXPECT_EQ(port.ReadExactly(-7, 100), "");
  EXPECT_EQ(port.LastError(), 0);
  EXPECT_EQ(port.BytesWaiting(), 4);
  // A huge count fails after the time-out without reserving its size.
  const auto start = Clock::now();
  EXPECT_EQ(port.ReadExactly(INT_MAX, 150), "");
  EXPECT_EQ(port.LastError(), 9997);
  EXPECT_LT(ElapsedMs(start), 1500);
  // Negative and zero time-outs do not wait.
  for (int timeout : {0, -1, INT_MIN}) {
    const auto t0 = Clock::now();
    EXPECT_EQ(port.ReadAvailable(timeout), "");
    EXPECT_EQ(port.LastError(), 9997);
    EXPECT_EQ(port.ReadUntil(timeout, "\r"), "");
    EXPECT_EQ(port.LastError(), 9997);
    EXPECT_LT(ElapsedMs(t0), 500) << timeout;
  }
}

TEST_F(SerialPortTest, ReadUntilSplitsAtTheTerminator) {
  TSerialPort port;
  Open(port);
  pty->PeerWrite("AB\rCD");
  EXPECT_EQ(port.ReadUntil(500, "\r"), "AB");
  EXPECT_EQ(port.LineBuffer(), "CD");
  const auto start = Clock::now();
  EXPECT_EQ(port.ReadAvailable(500), "CD");
  EXPECT_LT(ElapsedMs(start), 100);
}

TEST_F(SerialPortTest, ReadUntilFindsATerminatorSplitAcrossPieces) {
  TSerialPort port;
  Open(port);
  std::thread sender([&] {
    pty->PeerWrite("first\r");
    std::this_thread::sleep_for(std::chrono::milliseconds(80));
    pty->PeerWrite("\nsecond\r\n");
  });
  EXPECT_EQ(port.ReadUntil(1000, "\r\n"), "first");
  sender.join();
  EXPECT_EQ(port.ReadUntil(1000, "\r\n"), "second");
  EXPECT_EQ(port.LineBuffer(), "");
}

TEST_F(SerialPortTest, ReadUntilWithAnEmptyTerminatorReadsNothing) {
  TSerialPort port;
  Open(port);
  pty->PeerWrite("xyz");
  ASSERT_TRUE(testing::WaitUntil([&] { return port.BytesWaiting() == 3; }));
  EXPECT_EQ(port.ReadUntil(500, ""), "");
  EXPECT_EQ(port.LastError(), 0);
  EXPECT_EQ(port.BytesWaiting(), 3);
}

TEST_F(SerialPortTest, ReadUntilTimeOutKeepsWhatArrived) {
  TSerialPort port;
  Open(port);
  pty->PeerWrite("ab");
  // The terminator is longer than anything that comes.
  EXPECT_EQ(port.ReadUntil(200, "abcdef"), "");
  EXPECT_EQ(port.LastError(), 9997);
  EXPECT_EQ(port.LineBuffer(), "ab");
  // Raising does not lose the bytes either.
  port.SetRaiseExcept(true);
  pty->PeerWrite("cd");
  EXPECT_THROW(port.ReadUntil(200, "\n"), ESerialError);
  EXPECT_EQ(port.LineBuffer(), "abcd");
  pty->PeerWrite("e\n");
  EXPECT_EQ(port.ReadUntil(500, "\n"), "abcde");
}

TEST_F(SerialPortTest, MaxLineLengthStopsAnEndlessLine) {
  TSerialPort port;
  Open(port);
  port.SetMaxLineLength(10);
  pty->PeerWrite(std::string(20, 'z'));
  ASSERT_TRUE(testing::WaitUntil([&] { return port.BytesWaiting() == 20; }));
  EXPECT_EQ(port.ReadUntil(500, "\r"), "");
  EXPECT_EQ(port.LastError(), 9996);
  EXPECT_EQ(port.LastErrorDesc(), "Maximal buffer length exceeded");
  EXPECT_EQ(port.LineBuffer(), std::string(20, 'z'));

  // A short line followed by more bytes in the same piece is within the limit.
  port.ClearBuffers();
  pty->PeerWrite("ok\r" + std::string(30, 'y'));
  ASSERT_TRUE(testing::WaitUntil([&] { return port.BytesWaiting() == 33; }));
  EXPECT_EQ(port.ReadUntil(500, "\r"), "ok");
  EXPECT_EQ(port.LastError(), 0);
}

TEST_F(SerialPortTest, ConvertLineEndAcceptsEveryLineEnd) {
  TSerialPort port;
  Open(port);
  port.SetConvertLineEnd(true);
  pty->PeerWrite("L1\rL2\nL3\r\nL4\n\rL5\r");
  for (const char* line : {"L1", "L2", "L3", "L4", "L5"}) {
    EXPECT_EQ(port.ReadUntil(500, "\r\n"), line);
    EXPECT_EQ(port.LastError(), 0);
  }
  // The LF completing the lone CR after L5 arrives late and is dropped.
  pty->PeerWrite("\nL6\r\n");
  EXPECT_EQ(port.ReadUntil(500, "\r\n"), "L6");
  // Other terminators are taken literally.
  pty->PeerWrite("a\rb;");
  EXPECT_EQ(port.ReadUntil(500, ";"), "a\rb");
}

TEST_F(SerialPortTest, ClearBuffersDiscardsPendingInput) {
  TSerialPort port;
  Open(port);
  pty->PeerWrite("one\rtwo");
  EXPECT_EQ(port.ReadUntil(500, "\r"), "one");
  pty->PeerWrite("three");
  ASSERT_TRUE(testing::WaitUntil([&] { return port.BytesWaiting() == 5; }));
  port.ClearBuffers();
  EXPECT_EQ(port.LastError(), 0);
  EXPECT_EQ(port.LineBuffer(), "");
  EXPECT_EQ(port.BytesWaiting(), 0);
  EXPECT_EQ(port.ReadAvailable(100), "");
  EXPECT_EQ(port.LastError(), 9997);
}

TEST_F(SerialPortTest, AWriteThatCannotCompleteIsAbortedAfterDeadlockTimeout) {
  TSerialPort port;
  Open(port);
  port.SetDeadlockTimeout(300);
  // The printer reads nothing: once the buffers between the ends are full,
  // nothing leaves the port's queue any more.
  const std::string big(1 << 20, 'w');
  const auto start = Clock::now();
  const int written = port.WriteBuffer(big.data(), static_cast<int>(big.size()));
  const long elapsed = ElapsedMs(start);
  EXPECT_EQ(port.LastError(), 9997);
  EXPECT_LT(written, static_cast<int>(big.size()));
  EXPECT_GE(elapsed, 250);
  EXPECT_LT(elapsed, 2000);
  // The port still works afterwards.
  pty->PeerDrain();
  EXPECT_EQ(port.WriteBuffer("after", 5), 5);
  EXPECT_NE(pty->PeerDrain().find("after"), std::string::npos);
}

// DeadlockTimeout bounds the time the line takes nothing: a long text that
// keeps moving is written to its end, however long that takes in all.
TEST_F(SerialPortTest, ASlowLineIsWrittenToTheEnd) {
  TSerialPort port;
  Open(port);
  port.SetDeadlockTimeout(300);
  std::string image;
  for (int i = 0; image.size() < 120000; ++i) image += static_cast<char>(i * 7);
  // A slow printer: at most 2 KiB every 10 ms.
  std::string received;
  std::atomic<bool> written {false};
  std::thread printer([&] {
    while (received.size() < image.size()) {
      const std::string piece = pty->PeerRead(std::min<std::size_t>(2048, image.size() - received.size()),
                                              std::chrono::milliseconds(50));
      received += piece;
      if (piece.empty() && written) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  });
  const auto start = Clock::now();
  EXPECT_EQ(port.WriteBuffer(image.data(), static_cast<int>(image.size())), static_cast<int>(image.size()));
  EXPECT_EQ(port.LastError(), 0);
  EXPECT_GT(ElapsedMs(start), 300) << "the line was not slow enough to show the difference";
  written = true;
  printer.join();
  EXPECT_TRUE(received == image);
}

// The wait for the output queue, against a driver's queue simulated on a
// clock of its own: the line sends `rate` bytes per millisecond until only
// `stuckAt` bytes are left.
TEST(SerialDrainWait, WaitsWhileTheQueueMovesAndGivesUpWhenItStops) {
  const struct {
    const char* what;
    int queued, rate, stuckAt, stall, limit;
    int left;          // what the wait reports as still queued
    int64_t minTime;   // when it may end at the earliest
    int64_t maxTime;   // and at the latest
  } cases[] = {
      {"nothing queued", 0, 1, 0, 300, -1, 0, 0, 0},
      {"a ticket on a slow line, longer than the stall time", 3078, 1, 0, 300, -1, 0, 3078, 3100},
      {"a ticket on a stalled line", 3078, 0, 0, 300, -1, 3078, 300, 300},
      {"moves, then stalls", 3078, 1, 1000, 300, -1, 1000, 2078 + 300, 2078 + 300 + 20},
      {"a total limit ends a moving queue", 3000, 1, 0, 300, 500, 2500, 500, 500},
      {"a stall time of 0 does not wait", 100, 1, 0, 0, -1, 100, 0, 0},
  };
  for (const auto& c : cases) {
    int64_t now = 0;
    int pauses = 0, longest = 0;
    auto queued = [&] {
      const int64_t sent = static_cast<int64_t>(c.rate) * now;
      return static_cast<int>(std::max<int64_t>(c.queued - sent, std::min(c.stuckAt, c.queued)));
    };
    auto pause = [&](int ms) {
      ++pauses;
      longest = std::max(longest, ms);
      now += ms;
    };
    const int left = transport_detail::WaitUntilSent(c.stall, c.limit, queued, pause, [&] { return now; });
    EXPECT_EQ(left, c.left) << c.what;
    EXPECT_GE(now, c.minTime) << c.what;
    EXPECT_LE(now, c.maxTime) << c.what;
    EXPECT_LE(longest, transport_detail::kDrainMaxPauseMs) << c.what;
    // Never spinning: about one look per kDrainMaxPauseMs once under way.
    EXPECT_LE(pauses, now / transport_detail::kDrainMaxPauseMs + 8) << c.what;
  }
}

TEST_F(SerialPortTest, ReadFromAPortWhoseOtherEndWentAwayFailsAtOnce) {
  if (const char* why = testing::SocatPty::StopUnavailable()) GTEST_SKIP() << why;
  TSerialPort port;
  Open(port);
  pty->Stop();
  const auto start = Clock::now();
  EXPECT_EQ(port.ReadAvailable(3000), "");
  EXPECT_NE(port.LastError(), 0);
  EXPECT_NE(port.LastError(), 9997) << "a hang-up is not a time-out";
  EXPECT_LT(ElapsedMs(start), 1500);
}

TEST_F(SerialPortTest, SendBandwidthSpacesTheWrites) {
  std::vector<long> waits;  // outlives the port
  TSerialPort port;
  Open(port);
  port.SetMaxBandwidth(100);
  EXPECT_EQ(port.MaxSendBandwidth(), 100);
  EXPECT_EQ(port.MaxRecvBandwidth(), 100);
  port.SetOnStatus([&](TSerialPort&, TSerialStatusReason r, const std::string& v) {
    if (r == TSerialStatusReason::HR_Wait) waits.push_back(std::stol(v));
  });
  const std::string fifty(50, 'b');
  const auto start = Clock::now();
  EXPECT_EQ(port.WriteBuffer(fifty.data(), 50), 50);
  EXPECT_LT(ElapsedMs(start), 200);
  EXPECT_EQ(port.WriteBuffer(fifty.data(), 50), 50);
  const long elapsed = ElapsedMs(start);
  EXPECT_GE(elapsed, 450);
  EXPECT_LT(elapsed, 1500);
  ASSERT_EQ(waits.size(), 1u);
  EXPECT_GT(waits[0], 400);
  EXPECT_LE(waits[0], 500);
  EXPECT_EQ(pty->PeerRead(100), fifty + fifty);
}

TEST_F(SerialPortTest, SmallerOperationsRoundTrip) {
  TSerialPort port;
  Open(port);
  port.SendInteger(0x01020304);
  EXPECT_EQ(pty->PeerRead(4), std::string("\x04\x03\x02\x01", 4));
  port.SendBlock("blk");
  EXPECT_EQ(pty->PeerRead(7), std::string("\x03\x00\x00\x00" "blk", 7));
  pty->PeerWrite(std::string("\xfe\xff\xff\xff", 4) + "Zline\r\n" + std::string("\x02\x00\x00\x00" "hi", 6));
  EXPECT_EQ(port.ReadInteger(500), -2);
  EXPECT_EQ(port.ReadOneByte(500), 'Z');
  EXPECT_EQ(port.ReadLine(500), "line");
  EXPECT_EQ(port.ReadBlock(500), "hi");
  EXPECT_EQ(port.ReadOneByte(50), 0);
  EXPECT_EQ(port.LastError(), 9997);
}

TEST_F(SerialPortTest, ModemCommandsCollectReplyLines) {
  TSerialPort port;
  Open(port);
  port.SetAtTimeout(300);
  pty->PeerWrite("ATZ\r\r\nOK\r\n");
  // The echo "ATZ" CR, then the reply CR LF "OK" CR LF: three lines.
  EXPECT_EQ(port.ATCommand("ATZ"), "ATZ\r\n\r\nOK\r\n");
  EXPECT_TRUE(port.ATResult());
  EXPECT_EQ(pty->PeerRead(4), "ATZ\r");
  EXPECT_FALSE(port.ConvertLineEnd());  // back to what it was

  pty->PeerWrite("ERROR\r");
  port.ATCommand("ATX9");
  EXPECT_FALSE(port.ATResult());

  pty->PeerWrite("\r\nCONNECT 9600\r\n");
  EXPECT_EQ(port.ATConnect("ATD123"), "\r\nCONNECT 9600\r\n");
  EXPECT_TRUE(port.ATResult());
  pty->PeerWrite("BUSY\r\n");
  port.ATConnect("ATD456");
  EXPECT_FALSE(port.ATResult());

  // No answer: the command ends with the line time-out.
  const auto start = Clock::now();
  port.ATCommand("AT");
  EXPECT_FALSE(port.ATResult());
  EXPECT_EQ(port.LastError(), 9997);
  EXPECT_LT(ElapsedMs(start), 1500);
}

}  // namespace
}  // namespace bilhetor::serial_test
