#pragma once
// What the files of the MySQL client share, and nothing outside them uses:
// MySqlClient.cpp holds the client operations, MySqlHandshake.cpp the
// connect (transport, greeting, TLS, handshake response) and
// MySqlAuthentication.cpp the authentication methods and their exchange.
#include <cstdint>
#include <string>

#include "db/MySqlClient.h"

namespace bilhetor::mysqlinterno {

// Raises the error of a packet that does not have the form expected.
[[noreturn]] inline void Malformed() { throw EMySqlException::Create(mysqlerr::CR_MALFORMED_PACKET); }

// MySqlHandshake.cpp. Opens the session's transport, reads the greeting,
// starts TLS when the mode asks for it, sends the handshake response and
// authenticates; raises EMySqlException.
void Connect(TMySqlSession* s, uint32_t callerFlags);

// MySqlAuthentication.cpp.
// Picks the method the handshake response starts with (authPluginName);
// raises 2059 when the server takes only a method that is not allowed.
void ChooseInitialMethod(TMySqlSession* s);
// The authentication data of the handshake response, length byte included.
std::string InitialAuthData(TMySqlSession* s);
// Reads the server's answers to the handshake response and answers them
// (method switches, fast and full authentication, dialog questions) until
// the server accepts or refuses.
void Authenticate(TMySqlSession* s);

}  // namespace bilhetor::mysqlinterno
