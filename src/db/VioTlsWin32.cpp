// The Windows build has no TLS library: every start of TLS fails with 2026,
// so a connection whose SslMode requires TLS fails clearly, and one that only
// prefers it goes on without (the handshake asks Disponivel).
#include "db/VioTls.h"

namespace bilhetor {

// OpenSSL's link is not built here; the type stays incomplete.
struct TVioTlsLink {};

namespace {

const char* const kSemTls = "TLS is not available in the Windows build";

}  // namespace

bool TVioTls::Disponivel() { return false; }

TVioTls::TVioTls(std::unique_ptr<TVio> inner) : inner_(std::move(inner)) {}

TVioTls::~TVioTls() = default;

void TVioTls::Fail(const std::string& reason) {
  throw EMySqlException(mysqlerr::CR_SSL_CONNECTION_ERROR, "SSL connection error: " + reason);
}

std::string TVioTls::FailureText(int) { return kSemTls; }

void TVioTls::Start(const TTlsSettings&) { Fail(kSemTls); }

std::string TVioTls::Protocol() const { return ""; }

std::string TVioTls::Cipher() const { return ""; }

size_t TVioTls::Read(uint8_t*, size_t) { Fail(kSemTls); }

size_t TVioTls::Write(const uint8_t*, size_t) { Fail(kSemTls); }

}  // namespace bilhetor
