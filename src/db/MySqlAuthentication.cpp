#include "db/MySqlClientInterno.h"

#include <fstream>
#include <iterator>
#include <string>

#include "db/MySqlScramble.h"

namespace bilhetor {

using namespace mysqlflag;
using namespace mysqlerr;

namespace {

[[noreturn]] void MethodNotAllowed(const std::string& name) {
  throw EMySqlException(CR_AUTH_PLUGIN_CANNOT_LOAD,
                        Format("Authentication method '%s' is not allowed on this connection", name.c_str()));
}

// Without a list every method is allowed except the two that give the
// password away to whoever answers as the server: the dialog method sends
// it in clear text and the old scramble is reversed in moments.
bool AuthMethodAllowed(const TMySqlSession* s, TAuthMethod method) {
  if (s->allowedAuthMethods.empty()) return method != TAuthMethod::Old && method != TAuthMethod::Dialog;
  for (const std::string& name : s->allowedAuthMethods)
    if (method != TAuthMethod::Unknown && AuthMethodFromName(name) == method) return true;
  return false;
}

// The name a method goes by in a handshake response.
const char* CanonicalMethodName(TAuthMethod m) {
  switch (m) {
    case TAuthMethod::Native: return "mysql_native_password";
    case TAuthMethod::Old: return "mysql_old_password";
    case TAuthMethod::Sha256: return "sha256_password";
    case TAuthMethod::CachingSha2: return "caching_sha2_password";
    case TAuthMethod::Windows: return "authentication_windows_client";
    case TAuthMethod::Gssapi: return "auth_gssapi_client";
    case TAuthMethod::Dialog: return "dialog";
    default: return "";
  }
}

void SendAuthAnswer(TMySqlSession* s, const std::string& bytes) {
  TMySqlNet& net = s->net;
  net.ResetWriteBuffer();
  if (bytes.empty()) {
    net.SendEmptyPacket();
    return;
  }
  net.WriteRaw(bytes.data(), bytes.size());
  net.Flush();
}

std::string PacketRest(const TMySqlNet& net, size_t from) {
  if (from >= net.Size()) return "";
  return std::string(reinterpret_cast<const char*>(net.Data() + from), net.Size() - from);
}

bool UseOaep(const TMySqlSession* s) {
  const TServerVersion v = ParseServerVersion(s->serverVersionText);
  return v.major > 8 || (v.major == 8 && (v.minor > 0 || v.release >= 5));
}

[[noreturn]] void FullAuthError(const TMySqlSession* s, const std::string& what) {
  throw EMySqlException(CR_AUTH_PLUGIN_ERR, Format("Authentication plugin '%s' reported error: %s",
                                                   CanonicalMethodName(AuthMethodFromName(s->authPluginName)),
                                                   what.c_str()));
}

// How the full authentication (caching_sha2_password after the server asked
// for it, sha256_password) may send the password.
enum class TFullAuthRoute { Clear, LocalKey, ServerKey };

// Decided before anything is sent for the password. Over TLS the server
// takes the password in clear text inside the link, as MySQL's own client
// sends it (so a MySQL 8 server, which has TLS on by default, works with the
// default PREFERRED); it counts as exposed unless the server proved who it
// is with its certificate (VERIFY_CA, VERIFY_IDENTITY), so the second
// built-in password is not tried after it. Without TLS the only safe way is a
// key the shop configured; the key the server sends proves nothing (a peer
// posing as the server sends its own and decrypts), so it is taken only when
// the shop asked for that.
TFullAuthRoute FullAuthRoute(const TMySqlSession* s) {
  if (s->tlsActive) return TFullAuthRoute::Clear;
  if (!s->serverPublicKeyFile.empty()) return TFullAuthRoute::LocalKey;
  if (s->getServerPublicKey) return TFullAuthRoute::ServerKey;
  FullAuthError(s, "Authentication requires secure connection.");
}

std::string LocalPublicKey(const TMySqlSession* s) {
  std::ifstream in(s->serverPublicKeyFile, std::ios::binary);
  std::string pem((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in.good() && !in.eof()) pem.clear();
  if (pem.empty())
    FullAuthError(s, "Couldn't read the server public key file '" + s->serverPublicKeyFile + "'.");
  return pem;
}

// The password in clear text for the encrypted link; exposed when nobody
// checked the server's certificate.
std::string ClearPassword(TMySqlSession* s) {
  if (!s->tlsVerified) s->passwordExposed = true;
  return s->password + '\0';
}

// Sends the password encrypted with the configured key and reads the answer.
void SendPasswordForLocalKey(TMySqlSession* s, bool oaep) {
  SendAuthAnswer(s, RsaEncryptPassword(s->password, s->scramble, LocalPublicKey(s), oaep));
  s->net.ReadPacket();
}

// Sends the password encrypted with the key in the server's packet (after
// its first byte, up to a zero byte) and reads the answer.
void SendPasswordForServerKey(TMySqlSession* s, bool oaep) {
  std::string key = PacketRest(s->net, 1);
  const size_t zero = key.find('\0');
  if (zero != std::string::npos) key.resize(zero);
  const std::string cipher = RsaEncryptPassword(s->password, s->scramble, key, oaep);
  s->passwordExposed = true;
  SendAuthAnswer(s, cipher);
  s->net.ReadPacket();
}

[[noreturn]] void UnsupportedMethod(TMySqlSession* s) {
  throw EMySqlException(0, Format("Unsupported auth method: %s", s->authPluginName.c_str()));
}

void DialogExchange(TMySqlSession* s, std::string question) {
  TMySqlNet& net = s->net;
  while (true) {
    const int type = question.empty() ? -1 : static_cast<uint8_t>(question[0]);
    std::string text = question.empty() ? std::string() : question.substr(1);
    const size_t zero = text.find('\0');
    if (zero != std::string::npos) text.resize(zero);
    const bool passwordQuestion = type == 4 || type == 5;
    const bool ordinaryQuestion = type == 2 || type == 3;
    // An ordinary question needs a handler: the password is only ever given
    // in answer to a password question.
    if (!passwordQuestion && !(ordinaryQuestion && s->dialogHandler)) {
      throw EMySqlException(0, Format("Authentication plugin %s reported error: %s", s->authPluginName.c_str(),
                                      ("Unsupported dialog plugin question: " + std::to_string(type)).c_str()));
    }
    std::string answer = s->dialogHandler ? s->dialogHandler(type, text) : s->password;
    // The answers go in clear text: an answer to a password question, or
    // one that is the password, gives it away.
    if (passwordQuestion || (!s->password.empty() && answer == s->password)) s->passwordExposed = true;
    answer.push_back('\0');
    SendAuthAnswer(s, answer);
    net.ReadPacket();
    if (net.Size() > 0 && net.Data()[0] == 0) return;
    question = PacketRest(net, 0);
  }
}

// After a method switch: answers for the new method and reads the next
// answer into the packet layer.
void HandleMethodSwitch(TMySqlSession* s, const std::string& data) {
  TMySqlNet& net = s->net;
  const bool havePassword = !s->password.empty();
  auto takeScramble = [&] {
    std::string fresh = data;
    if (!fresh.empty() && fresh.back() == '\0') fresh.pop_back();
    // The scramble is 20 bytes; a shorter one is padded, a longer one cut.
    s->scramble = fresh;
    s->scramble.resize(20, '\0');
  };
  const TAuthMethod method = AuthMethodFromName(s->authPluginName);
  if (method == TAuthMethod::Unknown) UnsupportedMethod(s);
  // Checked before anything is answered: a switch is how a rogue peer would
  // ask for the password in clear text or for the weak old scramble.
  if (!AuthMethodAllowed(s, method)) MethodNotAllowed(s->authPluginName);
  switch (method) {
    case TAuthMethod::Native:
      takeScramble();
      SendAuthAnswer(s, havePassword ? NativeScramble(s->password, s->scramble) : std::string());
      net.ReadPacket();
      return;
    case TAuthMethod::Old:
      takeScramble();
      s->passwordExposed = s->passwordExposed || havePassword;
      SendAuthAnswer(s, havePassword ? OldScramble(s->password, s->scramble) + '\0' : std::string(1, '\0'));
      net.ReadPacket();
      return;
    case TAuthMethod::Sha256:
      if (havePassword && s->tlsActive) {
        // Over TLS the answer is the password itself, when that is safe.
        FullAuthRoute(s);
        SendAuthAnswer(s, ClearPassword(s));
      } else if (havePassword) {
        // Without TLS: a request for the server's key.
        takeScramble();
        SendAuthAnswer(s, std::string(1, '\x01'));
      } else {
        SendAuthAnswer(s, std::string(1, '\0'));
      }
      net.ReadPacket();
      return;
    case TAuthMethod::CachingSha2:
      takeScramble();
      SendAuthAnswer(s, havePassword ? CachingSha2Scramble(s->password, s->scramble) : std::string());
      net.ReadPacket();
      return;
    case TAuthMethod::Dialog:
      DialogExchange(s, data);
      return;
    default:
      UnsupportedMethod(s);
  }
}

}  // namespace

namespace mysqlinterno {

void Authenticate(TMySqlSession* s) {
  TMySqlNet& net = s->net;
  net.ReadPacket();
  while (true) {
    if (net.Size() == 0) Malformed();
    const uint8_t type = net.Data()[0];
    s->lastAnswerType = type;
    if (!(s->serverCapabilities & CLIENT_SECURE_CONNECTION) || type == 0x00) return;
    if (type == 0xFE && net.Size() == 1) {
      // Old-password switch: the 8-byte scramble of the current Scramble.
      if (!AuthMethodAllowed(s, TAuthMethod::Old)) MethodNotAllowed(CanonicalMethodName(TAuthMethod::Old));
      s->passwordExposed = s->passwordExposed || !s->password.empty();
      SendAuthAnswer(s, s->password.empty() ? std::string(1, '\0') : OldScramble(s->password, s->scramble) + '\0');
      net.ReadPacket();
      continue;
    }
    if (type == 0xFE && net.Size() > 8) {
      net.SetPosition(1);
      s->authPluginName = net.ReadZString();
      HandleMethodSwitch(s, PacketRest(net, net.Position()));
      continue;
    }
    if (type == 0x01) {
      const TAuthMethod method = AuthMethodFromName(s->authPluginName);
      if (method == TAuthMethod::CachingSha2) {
        if (net.Size() != 2) throw EMySqlException(0, Format("Unknown paket type: %d", type));
        if (net.Data()[1] == 0x03) {
          net.ReadPacket();  // fast authentication succeeded: the OK follows
          continue;
        }
        if (net.Data()[1] != 0x04) throw EMySqlException(0, Format("Unknown paket type: %d", type));
        // Full authentication.
        const TFullAuthRoute route = FullAuthRoute(s);
        if (route == TFullAuthRoute::Clear) {
          SendAuthAnswer(s, ClearPassword(s));
          net.ReadPacket();
          continue;
        }
        if (route == TFullAuthRoute::LocalKey) {
          SendPasswordForLocalKey(s, UseOaep(s));
          continue;
        }
        // Ask for the server's key.
        SendAuthAnswer(s, std::string(1, '\x02'));
        net.ReadPacket();
        if (net.Size() > 0 && net.Data()[0] == 0x01) SendPasswordForServerKey(s, UseOaep(s));
        continue;
      }
      if (method == TAuthMethod::Sha256) {
        // The server sent its key, as asked; the configured one, when there
        // is one, is used instead.
        const TFullAuthRoute route = FullAuthRoute(s);
        if (route == TFullAuthRoute::Clear) {
          SendAuthAnswer(s, ClearPassword(s));
          net.ReadPacket();
        } else if (route == TFullAuthRoute::LocalKey) {
          SendPasswordForLocalKey(s, true);
        } else {
          SendPasswordForServerKey(s, true);
        }
        continue;
      }
      return;
    }
    throw EMySqlException(0, Format("Unknown paket type: %d", type));
  }
}

// The method the handshake response starts with. When the greeting names a
// method the connection does not allow, the response starts with the first
// allowed one instead (the server switches when the account uses another);
// nothing is derived from the password for a method that is not allowed.
void ChooseInitialMethod(TMySqlSession* s) {
  if (!(s->serverCapabilities & CLIENT_SECURE_CONNECTION)) {
    // Servers without the 4.1 authentication take only the old scramble.
    if (!AuthMethodAllowed(s, TAuthMethod::Old)) MethodNotAllowed(CanonicalMethodName(TAuthMethod::Old));
    return;
  }
  const TAuthMethod offered = AuthMethodFromName(s->authPluginName);
  if (AuthMethodAllowed(s, offered)) return;
  const TAuthMethod first =
      s->allowedAuthMethods.empty() ? TAuthMethod::Native : AuthMethodFromName(s->allowedAuthMethods.front());
  s->authPluginName = CanonicalMethodName(first);
}

std::string InitialAuthData(TMySqlSession* s) {
  const std::string& pw = s->password;
  if (!(s->serverCapabilities & CLIENT_SECURE_CONNECTION)) {
    s->passwordExposed = s->passwordExposed || !pw.empty();
    return pw.empty() ? std::string(1, '\0') : OldScramble(pw, s->scramble) + '\0';
  }
  if (pw.empty()) return std::string(1, '\0');
  switch (AuthMethodFromName(s->authPluginName)) {
    case TAuthMethod::Native: return std::string(1, '\x14') + NativeScramble(pw, s->scramble);
    case TAuthMethod::CachingSha2: return std::string(1, '\x20') + CachingSha2Scramble(pw, s->scramble);
    case TAuthMethod::Old:
      s->passwordExposed = true;
      return std::string(1, '\x08') + OldScramble(pw, s->scramble);
    case TAuthMethod::Sha256: {
      if (!s->tlsActive) return std::string("\x01\x01", 2);  // a request for the server's key
      FullAuthRoute(s);
      const std::string clear = ClearPassword(s);
      if (clear.size() > 255) FullAuthError(s, "The password is too long.");
      return std::string(1, static_cast<char>(clear.size())) + clear;
    }
    default:
      // Methods whose exchange follows a switch: no data here, and never
      // the password.
      return std::string(1, '\0');
  }
}

}  // namespace mysqlinterno

TAuthMethod AuthMethodFromName(const std::string& pluginName) {
  const std::string name = LowerCase(pluginName);
  if (name.find("native") != std::string::npos) return TAuthMethod::Native;
  if (name.find("old") != std::string::npos) return TAuthMethod::Old;
  if (name.find("sha256") != std::string::npos) return TAuthMethod::Sha256;
  if (name.find("caching_sha2") != std::string::npos) return TAuthMethod::CachingSha2;
  if (name.find("windows") != std::string::npos) return TAuthMethod::Windows;
  if (name.find("gssapi") != std::string::npos) return TAuthMethod::Gssapi;
  if (name.find("dialog") != std::string::npos) return TAuthMethod::Dialog;
  return TAuthMethod::Unknown;
}

}  // namespace bilhetor
