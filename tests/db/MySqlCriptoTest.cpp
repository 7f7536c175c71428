// The cryptography the client takes from the platform (OpenSSL on Linux, CNG
// on Windows): the digests against published vectors, and RSA encryption
// against the test key's decryption.
#include <gtest/gtest.h>

#include <string>

#include "TestRsaKey.h"
#include "db/MySqlCripto.h"

namespace bilhetor {
namespace {

std::string Hex(const std::string& bytes) {
  static const char* const kDigitos = "0123456789abcdef";
  std::string r;
  for (unsigned char c : bytes) {
    r += kDigitos[c >> 4];
    r += kDigitos[c & 15];
  }
  return r;
}

TEST(MySqlCripto, DigestsOfThePublishedVectors) {
  const std::string doisBlocos = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
  const struct {
    std::string texto, sha1, sha256;
  } casos[] = {
      {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709",
       "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d",
       "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {doisBlocos, "84983e441c3bd26ebaae4aa1f95129e5e54670f1",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1000000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f",
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const auto& c : casos) {
    SCOPED_TRACE(c.texto.substr(0, 10));
    EXPECT_EQ(Hex(Sha1(c.texto)), c.sha1);
    EXPECT_EQ(Hex(Sha256(c.texto)), c.sha256);
  }
}

// Each padding decrypts with its own kind only, and each encryption is new
// (both paddings are randomised).
TEST(MySqlCripto, RsaEncryptionDecryptsWithTheKeyAndItsPaddingOnly) {
  static const testing::TestRsaKey chave;
  const std::string senha = std::string("segredo!\0", 9);
  for (const bool oaep : {false, true}) {
    SCOPED_TRACE(oaep ? "OAEP" : "PKCS#1 v1.5");
    if (oaep && testing::OaepIndisponivel()) GTEST_SKIP() << testing::OaepIndisponivel();
    std::string cifrado, outro;
    ASSERT_TRUE(RsaEncrypt(senha, chave.PublicPem(), oaep, cifrado));
    ASSERT_TRUE(RsaEncrypt(senha, chave.PublicPem(), oaep, outro));
    EXPECT_EQ(cifrado.size(), 256u);
    EXPECT_NE(cifrado, outro);
    EXPECT_EQ(chave.Decrypt(cifrado, oaep), senha);
    EXPECT_EQ(chave.Decrypt(outro, oaep), senha);
    // The other padding never gives the text back (OpenSSL answers a failed
    // PKCS#1 v1.5 decryption with random bytes rather than an error).
    EXPECT_NE(chave.Decrypt(cifrado, !oaep), senha);
  }
}

TEST(MySqlCripto, KeysThatAreNotRsaPublicKeysAreRefused) {
  static const testing::TestRsaKey chave;
  const std::string pem = chave.PublicPem();
  const std::string chaveEc =
      "-----BEGIN PUBLIC KEY-----\n"
      "MFkwEwYHKoZIzj0CAQYIKoZIzj0DAQcDQgAEZu7tcGUFj5gUAEEJueuCzyGqNza0\n"
      "DkThp1P9ud78IpbokyWf1+6SMsxhut7taYMOrBEcnE7yRE9SPSsJN19v/w==\n"
      "-----END PUBLIC KEY-----\n";
  const struct {
    const char* oQue;
    std::string pem;
  } casos[] = {
      {"empty", ""},
      {"not PEM", "segredo"},
      {"cut short", pem.substr(0, pem.size() / 2)},
      {"an elliptic curve key", chaveEc},
  };
  for (const auto& c : casos) {
    SCOPED_TRACE(c.oQue);
    std::string cifrado;
    EXPECT_FALSE(RsaEncrypt("x", c.pem, false, cifrado));
  }
}

}  // namespace
}  // namespace bilhetor
