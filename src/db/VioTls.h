#pragma once
// TLS for the MySQL client: TVioTls runs OpenSSL over a connected transport
// (the TCP one, or a test's), through the transport's own Read and Write, so
// its time-outs, deadline and stop request hold for the encrypted link too
// (VioTlsPosix.cpp). The Windows build has no TLS (VioTlsWin32.cpp): Start
// raises 2026 "SSL connection error: TLS is not available in the Windows
// build".
#include <memory>
#include <string>

#include "db/MySqlNet.h"

typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;

namespace bilhetor {

struct TVioTlsLink;

// How a connection uses TLS, with the names of MySQL's clients' --ssl-mode.
enum class TSslMode {
  Disabled,        // never
  Preferred,       // when the server offers it, without checking the server
  Required,        // always, without checking the server
  VerifyCa,        // always, with a server certificate signed by the CA
  VerifyIdentity,  // as VerifyCa, and the certificate names the host
};

// The mode of a name ("DISABLED", "preferred", "VERIFY_CA", ...); false for
// any other text.
bool SslModeFromName(const std::string& name, TSslMode& mode);
const char* SslModeName(TSslMode mode);

struct TTlsSettings {
  TSslMode mode = TSslMode::Required;
  std::string caFile;    // PEM certificates of the CAs trusted (VerifyCa, VerifyIdentity)
  std::string certFile;  // the client's certificate chain (PEM), when the server asks for one
  std::string keyFile;   // its private key (PEM); empty: in certFile
  std::string host;      // the name or address the certificate must carry (VerifyIdentity)
};

class TVioTls : public TVio {
 public:
  // Whether this build has TLS: the Windows build has none (its Start
  // always fails with 2026).
  static bool Disponivel();

  // Takes over a connected transport; nothing is sent until Start.
  explicit TVioTls(std::unique_ptr<TVio> inner);
  ~TVioTls() override;
  TVioTls(const TVioTls&) = delete;
  TVioTls& operator=(const TVioTls&) = delete;

  // Runs the TLS handshake (TLS 1.2 or later) and checks the server's
  // certificate as the mode asks. Raises EMySqlException 2026 ("SSL
  // connection error: " and the reason) when a file cannot be read, the
  // handshake fails or the certificate is refused.
  void Start(const TTlsSettings& settings);
  // The protocol and cipher agreed ("TLSv1.3", "TLS_AES_256_GCM_SHA384").
  std::string Protocol() const;
  std::string Cipher() const;

  // The transport is connected already.
  void Connect() override {}
  // Closes the transport under the link (no close notice: Close may come
  // from another thread while a read waits).
  void Close() override { inner_->Close(); }
  size_t Read(uint8_t* buffer, size_t count) override;
  size_t Write(const uint8_t* buffer, size_t count) override;
  void SetTimeout(int seconds) override { inner_->SetTimeout(seconds); }
  void SetReceiveTimeout(int seconds) override { inner_->SetReceiveTimeout(seconds); }
  void SetSendTimeout(int seconds) override { inner_->SetSendTimeout(seconds); }
  void SetDeadline(Clock::time_point deadline) override { inner_->SetDeadline(deadline); }
  void SetInterrupt(std::function<bool()> interrupt) override { inner_->SetInterrupt(std::move(interrupt)); }
  std::string LastError() const override { return lastError_.empty() ? inner_->LastError() : lastError_; }
  int LastErrorCode() const override { return lastError_.empty() ? inner_->LastErrorCode() : lastErrorCode_; }

 private:
  // The reason of the last OpenSSL failure: the transport's error when the
  // transport failed, else OpenSSL's own.
  std::string FailureText(int result);
  [[noreturn]] void Fail(const std::string& reason);

  std::unique_ptr<TVio> inner_;
  std::unique_ptr<TVioTlsLink> link_;  // what OpenSSL's reads and writes go through
  SSL_CTX* ctx_ = nullptr;
  SSL* ssl_ = nullptr;
  std::string lastError_;
  int lastErrorCode_ = 0;
};

}  // namespace bilhetor
