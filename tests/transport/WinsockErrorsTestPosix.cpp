// Linux system error numbers and resolver results become the Windows
// sockets numbers the socket reports (Windows reports those itself).
#include "transport/WinsockErrors.h"

#include <gtest/gtest.h>
#include <netdb.h>

#include <cerrno>

namespace bilhetor {
namespace {

TEST(SocketErrors, SystemNumbersBecomeWinsockNumbers) {
  EXPECT_EQ(ErrnoToWinsock(0), 0);
  EXPECT_EQ(ErrnoToWinsock(ECONNRESET), 10054);
  EXPECT_EQ(ErrnoToWinsock(EPIPE), 10054);
  EXPECT_EQ(ErrnoToWinsock(ETIMEDOUT), 10060);
  EXPECT_EQ(ErrnoToWinsock(ECONNREFUSED), 10061);
  EXPECT_EQ(ErrnoToWinsock(EAGAIN), 10035);
  EXPECT_EQ(ErrnoToWinsock(EINPROGRESS), 10036);
  EXPECT_EQ(ErrnoToWinsock(EHOSTUNREACH), 10065);
  EXPECT_EQ(ErrnoToWinsock(ENETUNREACH), 10051);
  EXPECT_EQ(ErrnoToWinsock(ENOTCONN), 10057);
  EXPECT_EQ(ErrnoToWinsock(EADDRINUSE), 10048);
  EXPECT_EQ(AddrInfoErrorToWinsock(EAI_NONAME, 0), 11001);
  EXPECT_EQ(AddrInfoErrorToWinsock(EAI_AGAIN, 0), 11002);
  EXPECT_EQ(AddrInfoErrorToWinsock(EAI_FAIL, 0), 11003);
  EXPECT_EQ(AddrInfoErrorToWinsock(EAI_SYSTEM, ECONNREFUSED), 10061);
}

}  // namespace
}  // namespace bilhetor
