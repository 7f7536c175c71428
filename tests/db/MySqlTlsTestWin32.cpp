// TLS in the Windows build, which has none: against a peer that offers TLS,
// REQUIRED fails with 2026 and PREFERRED goes on in the clear. The TLS tests
// proper (MySqlTlsTest.cpp) run on Linux only.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "db/MySqlClient.h"
#include "support/FakeMySqlServer.h"

namespace bilhetor {
namespace {

using testing::FakeGreeting;
using testing::FakeMySqlConnection;
using testing::FakeMySqlServer;
using testing::OkPacket;

using mysqlflag::CLIENT_SSL;

TEST(MySqlSemTls, RequiredFailsAndPreferredConnectsInTheClear) {
  const struct {
    TSslMode modo;
    int codigo;  // 0: connected
    std::string mensagem;
  } casos[] = {
      {TSslMode::Required, 2026, "SSL connection error: TLS is not available in the Windows build"},
      {TSslMode::Preferred, 0, ""},
  };
  for (const auto& caso : casos) {
    SCOPED_TRACE(SslModeName(caso.modo));
    uint32_t pedido = 0;
    FakeMySqlServer server([&](FakeMySqlConnection& c) {
      FakeGreeting g;
      g.capabilities |= CLIENT_SSL;
      c.SendPacket(0, g.Build());
      const std::string resposta = c.ReadPacket().payload;
      for (int i = 0; i < 4 && i < static_cast<int>(resposta.size()); ++i)
        pedido |= static_cast<uint32_t>(static_cast<uint8_t>(resposta[static_cast<size_t>(i)])) << (8 * i);
      if (caso.codigo == 0) c.SendPacket(2, OkPacket());
      c.ReadUntilClosed();
    });
    TMySQLAPIWire api;
    auto session = api.mysql_init();
    api.mysql_options(session.get(), MYSQL_OPT_CONNECT_TIMEOUT, 5);
    api.mysql_options(session.get(), MYSQL_OPT_SSL_MODE, static_cast<int>(caso.modo));
    const bool conectou =
        api.mysql_real_connect(session.get(), "127.0.0.1", "root", "segredo", "loja", server.Port(), "", 0) != nullptr;
    EXPECT_EQ(conectou, caso.codigo == 0);
    EXPECT_EQ(api.mysql_errno(session.get()), caso.codigo);
    EXPECT_EQ(std::string(api.mysql_error(session.get())), caso.mensagem);
    EXPECT_FALSE(session->tlsActive);
    api.mysql_close(std::move(session));
    ASSERT_EQ(server.Finish(), "");
    // In the clear, the handshake response does not ask for TLS.
    if (caso.codigo == 0) {
      EXPECT_EQ(pedido & CLIENT_SSL, 0u) << "asked for TLS";
    }
  }
}

}  // namespace
}  // namespace bilhetor
