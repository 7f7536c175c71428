#pragma once
// An RSA key pair made for a test, with the decryption a server does: OpenSSL
// on Linux (TestRsaKeyPosix.cpp), the system's CNG on Windows
// (TestRsaKeyWin32.cpp).
#include <memory>
#include <string>

namespace bilhetor::testing {

class TestRsaKey {
 public:
  TestRsaKey();  // 2048 bits
  ~TestRsaKey();
  TestRsaKey(const TestRsaKey&) = delete;
  TestRsaKey& operator=(const TestRsaKey&) = delete;

  // The public key as PEM SubjectPublicKeyInfo ("-----BEGIN PUBLIC KEY-----").
  std::string PublicPem() const;
  // The plain text, with OAEP (SHA-1) or PKCS#1 v1.5 padding. A cipher text
  // of the other padding gives an empty string, or with PKCS#1 v1.5 on
  // OpenSSL random bytes (its answer to a failed decryption).
  std::string Decrypt(const std::string& cipher, bool oaep) const;

 private:
  struct Chave;
  std::unique_ptr<Chave> chave_;
};

// Why RSA with OAEP padding cannot be used here, or nullptr: Wine's CNG does
// not implement it (BCryptEncrypt answers STATUS_NOT_IMPLEMENTED), while
// PKCS#1 v1.5 works. Tests that need OAEP skip with this reason.
const char* OaepIndisponivel();

}  // namespace bilhetor::testing
