// TLS on OpenSSL.
#include "db/VioTls.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <climits>

namespace bilhetor {

// The transport as OpenSSL's reads and writes see it, and whether it failed
// (then its own error text is the reason, not OpenSSL's).
struct TVioTlsLink {
  TVio* vio = nullptr;
  bool failed = false;
};

namespace {

// OpenSSL reads no further ahead than the record it needs (read-ahead is off),
// so a read of n bytes through the transport, which waits for all n, never
// waits for bytes the server has not sent.
int LinkRead(BIO* bio, char* buffer, int size) {
  auto* link = static_cast<TVioTlsLink*>(BIO_get_data(bio));
  BIO_clear_retry_flags(bio);
  if (size <= 0) return 0;
  const size_t n = link->vio->Read(reinterpret_cast<uint8_t*>(buffer), static_cast<size_t>(size));
  if (n == 0) {
    link->failed = true;
    return -1;
  }
  return static_cast<int>(n);
}

int LinkWrite(BIO* bio, const char* buffer, int size) {
  auto* link = static_cast<TVioTlsLink*>(BIO_get_data(bio));
  BIO_clear_retry_flags(bio);
  if (size <= 0) return 0;
  const size_t n = link->vio->Write(reinterpret_cast<const uint8_t*>(buffer), static_cast<size_t>(size));
  if (n < static_cast<size_t>(size)) link->failed = true;
  return n == 0 ? -1 : static_cast<int>(n);
}

long LinkControl(BIO*, int command, long, void*) { return command == BIO_CTRL_FLUSH ? 1 : 0; }

int LinkCreate(BIO* bio) {
  BIO_set_init(bio, 1);
  return 1;
}

const BIO_METHOD* LinkMethod() {
  static BIO_METHOD* method = [] {
    BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "bilhetor transport");
    BIO_meth_set_read(m, LinkRead);
    BIO_meth_set_write(m, LinkWrite);
    BIO_meth_set_ctrl(m, LinkControl);
    BIO_meth_set_create(m, LinkCreate);
    return m;
  }();
  return method;
}

std::string OpenSslErrors() {
  std::string text;
  while (const unsigned long e = ERR_get_error()) {
    char buffer[256];
    ERR_error_string_n(e, buffer, sizeof buffer);
    if (!text.empty()) text += "; ";
    text += buffer;
  }
  return text;
}

bool IsAddress(const std::string& host) {
  unsigned char buffer[sizeof(in6_addr)];
  return inet_pton(AF_INET, host.c_str(), buffer) == 1 || inet_pton(AF_INET6, host.c_str(), buffer) == 1;
}

}  // namespace

bool TVioTls::Disponivel() { return true; }

TVioTls::TVioTls(std::unique_ptr<TVio> inner) : inner_(std::move(inner)), link_(std::make_unique<TVioTlsLink>()) {
  link_->vio = inner_.get();
}

TVioTls::~TVioTls() {
  if (ssl_) SSL_free(ssl_);  // frees the BIO too
  if (ctx_) SSL_CTX_free(ctx_);
}

void TVioTls::Fail(const std::string& reason) {
  throw EMySqlException(mysqlerr::CR_SSL_CONNECTION_ERROR, "SSL connection error: " + reason);
}

std::string TVioTls::FailureText(int result) {
  if (link_->failed) {
    ERR_clear_error();
    const std::string text = inner_->LastError();
    return text.empty() ? "the server closed the connection" : text;
  }
  const int code = SSL_get_error(ssl_, result);
  std::string text = OpenSslErrors();
  if (text.empty()) text = code == SSL_ERROR_ZERO_RETURN ? "the server closed the TLS link" : "TLS failure " + std::to_string(code);
  return text;
}

void TVioTls::Start(const TTlsSettings& settings) {
  ERR_clear_error();
  ctx_ = SSL_CTX_new(TLS_client_method());
  if (!ctx_) Fail(OpenSslErrors());
  SSL_CTX_set_min_proto_version(ctx_, TLS1_2_VERSION);
  const bool verify = settings.mode == TSslMode::VerifyCa || settings.mode == TSslMode::VerifyIdentity;
  if (!settings.caFile.empty() && SSL_CTX_load_verify_locations(ctx_, settings.caFile.c_str(), nullptr) != 1)
    Fail("Couldn't read the CA file '" + settings.caFile + "': " + OpenSslErrors());
  if (!settings.certFile.empty()) {
    const std::string& keyFile = settings.keyFile.empty() ? settings.certFile : settings.keyFile;
    if (SSL_CTX_use_certificate_chain_file(ctx_, settings.certFile.c_str()) != 1)
      Fail("Couldn't read the certificate file '" + settings.certFile + "': " + OpenSslErrors());
    if (SSL_CTX_use_PrivateKey_file(ctx_, keyFile.c_str(), SSL_FILETYPE_PEM) != 1)
      Fail("Couldn't read the key file '" + keyFile + "': " + OpenSslErrors());
    if (SSL_CTX_check_private_key(ctx_) != 1)
      Fail("The key in '" + keyFile + "' does not match the certificate: " + OpenSslErrors());
  }
  ssl_ = SSL_new(ctx_);
  BIO* bio = ssl_ ? BIO_new(LinkMethod()) : nullptr;
  if (!bio) Fail(OpenSslErrors());
  BIO_set_data(bio, link_.get());
  SSL_set_bio(ssl_, bio, bio);
  SSL_set_verify(ssl_, verify ? SSL_VERIFY_PEER : SSL_VERIFY_NONE, nullptr);
  const bool address = IsAddress(settings.host);
  if (!address && !settings.host.empty()) SSL_set_tlsext_host_name(ssl_, settings.host.c_str());
  if (settings.mode == TSslMode::VerifyIdentity) {
    X509_VERIFY_PARAM* param = SSL_get0_param(ssl_);
    const int set = address ? X509_VERIFY_PARAM_set1_ip_asc(param, settings.host.c_str())
                            : X509_VERIFY_PARAM_set1_host(param, settings.host.c_str(), 0);
    if (set != 1) Fail("Couldn't check the server's certificate against '" + settings.host + "'");
  }
  const int result = SSL_connect(ssl_);
  if (result != 1) {
    const long verifyResult = SSL_get_verify_result(ssl_);
    if (verify && verifyResult != X509_V_OK) {
      ERR_clear_error();
      Fail(std::string("the server's certificate was refused: ") + X509_verify_cert_error_string(verifyResult));
    }
    Fail(FailureText(result));
  }
}

std::string TVioTls::Protocol() const { return ssl_ ? SSL_get_version(ssl_) : ""; }

std::string TVioTls::Cipher() const {
  const char* name = ssl_ ? SSL_get_cipher_name(ssl_) : nullptr;
  return name ? name : "";
}

size_t TVioTls::Read(uint8_t* buffer, size_t count) {
  size_t done = 0;
  while (done < count) {
    ERR_clear_error();
    const int want = static_cast<int>(std::min<size_t>(count - done, INT_MAX));
    const int n = SSL_read(ssl_, buffer + done, want);
    if (n <= 0) {
      const std::string text = FailureText(n);
      if (!link_->failed) {
        lastError_ = "TLS read failed: " + text;
        lastErrorCode_ = mysqlerr::CR_SSL_CONNECTION_ERROR;
      }
      return done;
    }
    done += static_cast<size_t>(n);
  }
  return done;
}

size_t TVioTls::Write(const uint8_t* buffer, size_t count) {
  size_t done = 0;
  while (done < count) {
    ERR_clear_error();
    const int want = static_cast<int>(std::min<size_t>(count - done, INT_MAX));
    const int n = SSL_write(ssl_, buffer + done, want);
    if (n <= 0) {
      const std::string text = FailureText(n);
      if (!link_->failed) {
        lastError_ = "TLS write failed: " + text;
        lastErrorCode_ = mysqlerr::CR_SSL_CONNECTION_ERROR;
      }
      return done;
    }
    done += static_cast<size_t>(n);
  }
  return done;
}

}  // namespace bilhetor
