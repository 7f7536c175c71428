#include "db/MySqlClientInterno.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>

namespace bilhetor {

using namespace mysqlflag;
using namespace mysqlerr;

namespace {

void ParseGreeting(TMySqlSession* s) {
  TMySqlNet& net = s->net;
  net.ReadPacket();
  const size_t n = net.Size();
  size_t p;
  try {
    const uint8_t version = net.ReadByte();
    if (version != 10) throw EMySqlException::CreateFmt(CR_VERSION_ERROR, "", int(version), 10);
    s->serverVersionText = net.ReadZString();
    s->threadId = net.ReadInt4();
    const std::string first = net.ReadBytes(8);
    std::copy(first.begin(), first.end(), s->scramble.begin());
    p = net.Position();
    net.Skip(1);
  } catch (const EMySqlException& e) {
    if (e.ErrorCode() == CR_MALFORMED_PACKET) throw EMySqlException::Create(CR_HANDSHAKE_ERROR);
    throw;
  }
  s->authPluginName.clear();
  if (n > p + 2) s->serverCapabilities = net.ReadInt2();
  if (n < p + 18) return;
  int authLength = 21;
  s->serverCharset = net.ReadByte();
  s->serverStatus = net.ReadInt2();
  s->serverCapabilities |= static_cast<uint32_t>(net.ReadInt2()) << 16;
  const uint8_t lengthByte = net.ReadByte();
  if (s->serverCapabilities & CLIENT_PLUGIN_AUTH) authLength = lengthByte;
  if (p + 19 > n) return;
  net.SetPosition(p + 19);
  const size_t k = static_cast<size_t>(std::max(13, authLength - 8));
  if (net.Remaining() < k - 1) return;
  const std::string rest = net.ReadBytes(k - 1);
  std::copy(rest.begin(), rest.begin() + 12, s->scramble.begin() + 8);
  if (net.Remaining() > 0 && net.Data()[net.Position()] == 0) net.Skip(1);
  s->authPluginName = "mysql_native_password";
  if (s->serverCapabilities & CLIENT_PLUGIN_AUTH) s->authPluginName = net.ReadZString();
}

EMySqlException SslError(const std::string& reason) {
  return EMySqlException(CR_SSL_CONNECTION_ERROR, "SSL connection error: " + reason);
}

// Asks for TLS (the first part of the handshake response, with the SSL
// flag), then runs the TLS handshake over the transport; the rest of the
// handshake goes through the encrypted link.
void StartTls(TMySqlSession* s, TSslMode mode) {
  TMySqlNet& net = s->net;
  net.ResetWriteBuffer();
  net.WriteInt4(s->clientFlags);
  net.WriteInt4(0x40000000);
  net.WriteByte(SameText(s->charsetName, "utf8") ? 33 : 8);
  net.WriteFill(0, 23);
  net.Flush();
  auto tls = std::make_unique<TVioTls>(net.ReleaseVio());
  TVioTls* link = tls.get();
  net.SetVio(std::move(tls));
  TTlsSettings settings;
  settings.mode = mode;
  settings.caFile = s->sslCa;
  settings.certFile = s->sslCert;
  settings.keyFile = s->sslKey;
  settings.host = s->host;
  link->Start(settings);
  s->tlsActive = true;
  s->tlsVerified = mode >= TSslMode::VerifyCa;
}

}  // namespace

namespace mysqlinterno {

void Connect(TMySqlSession* s, uint32_t callerFlags) {
  if (s->port == 0) s->port = 3306;
  if (s->host.empty()) s->host = "localhost";
  s->serverStatus = SERVER_STATUS_AUTOCOMMIT;
  s->broken = false;
  s->closing = false;
  s->resultState = 0;
  s->passwordExposed = false;
  s->tlsActive = false;
  s->tlsVerified = false;
  // The SSL protocol and the caller's SSL flag ask for TLS over TCP.
  TSslMode sslMode = s->sslMode;
  if ((s->protocol == 5 || (callerFlags & CLIENT_SSL)) && sslMode < TSslMode::Required) sslMode = TSslMode::Required;
  // A build without TLS (Windows) connects in the clear where TLS is only
  // preferred; where it is required, the TLS layer refuses with 2026.
  if (sslMode == TSslMode::Preferred && !TVioTls::Disponivel()) sslMode = TSslMode::Disabled;
  if (s->protocol != 0 && s->protocol != 1 && s->protocol != 5) throw EMySqlException::Create(CR_WRONG_PROTOCOL);
  if (sslMode >= TSslMode::VerifyCa && s->sslCa.empty())
    throw SslError("SslCa (the CA file) is required for SslMode VERIFY_CA and VERIFY_IDENTITY");
  std::unique_ptr<TVio> vio =
      s->vioFactory ? s->vioFactory(s->host, s->port) : std::make_unique<TVioTcp>(s->host, s->port, s->ipVersion);
  s->hostInfo = s->host + " via TCP/IP";
  s->net.Close();
  s->net.SetCompressOn(false);
  s->net.SetVio(std::move(vio));
  s->net.ResetForCommand();
  TVio* v = s->net.Vio();
  v->SetTimeout(s->connectTimeoutSeconds);
  v->SetInterrupt(s->Interrupt());
  // The connect time-out bounds the whole connect (TCP, greeting and
  // authentication), not only each wait in it.
  TVio::Clock::time_point deadline = s->Deadline();
  if (s->connectTimeoutSeconds > 0)
    deadline = std::min(deadline, TVio::Clock::now() + std::chrono::seconds(s->connectTimeoutSeconds));
  v->SetDeadline(deadline);
  try {
    v->Connect();
  } catch (const Exception&) {
    throw EMySqlException::CreateFmt(CR_CONN_HOST_ERROR, v->LastError(), s->host.c_str(), 10061);
  }
  ParseGreeting(s);

  uint32_t flags = callerFlags;
  if (flags & CLIENT_MULTI_STATEMENTS) flags |= CLIENT_MULTI_RESULTS;
  flags |= s->clientFlags | kAlwaysSent | CLIENT_PLUGIN_AUTH | CLIENT_CONNECT_WITH_DB;
  const uint32_t serverOnly = CLIENT_COMPRESS | CLIENT_PROTOCOL_41;
  flags &= ~(serverOnly & ~s->serverCapabilities);
  flags &= ~CLIENT_SSL;
  if (sslMode != TSslMode::Disabled) {
    if ((s->serverCapabilities & CLIENT_SSL) && (flags & CLIENT_PROTOCOL_41))
      flags |= CLIENT_SSL;
    else if (sslMode != TSslMode::Preferred)
      throw SslError("SSL is required but the server doesn't support it");
  }
  s->clientFlags = flags;

  TMySqlNet& net = s->net;
  if (flags & CLIENT_SSL) StartTls(s, sslMode);
  ChooseInitialMethod(s);
  net.ResetWriteBuffer();
  if (flags & CLIENT_PROTOCOL_41) {
    net.WriteInt4(flags);
    net.WriteInt4(0x40000000);
    net.WriteByte(SameText(s->charsetName, "utf8") ? 33 : 8);
    net.WriteFill(0, 23);
  } else {
    net.WriteInt2(static_cast<uint16_t>(flags));
    net.WriteInt3(0);
  }
  net.WriteZString(s->user);
  const std::string auth = InitialAuthData(s);
  net.WriteRaw(auth.data(), auth.size());
  if (s->serverCapabilities & CLIENT_CONNECT_WITH_DB) net.WriteZString(s->database);
  if ((s->serverCapabilities & CLIENT_PLUGIN_AUTH) && !s->authPluginName.empty()) net.WriteZString(s->authPluginName);
  net.Flush();
  Authenticate(s);
  if (flags & CLIENT_COMPRESS) net.SetCompressOn(true);
  v->SetDeadline(s->Deadline());
}

}  // namespace mysqlinterno

}  // namespace bilhetor
