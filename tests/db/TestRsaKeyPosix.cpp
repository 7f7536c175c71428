// The test's RSA key on OpenSSL.
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include "TestRsaKey.h"

namespace bilhetor::testing {

struct TestRsaKey::Chave {
  std::unique_ptr<EVP_PKEY, void (*)(EVP_PKEY*)> key{EVP_RSA_gen(2048), EVP_PKEY_free};
};

TestRsaKey::TestRsaKey() : chave_(std::make_unique<Chave>()) {}
TestRsaKey::~TestRsaKey() = default;

std::string TestRsaKey::PublicPem() const {
  std::unique_ptr<BIO, int (*)(BIO*)> bio(BIO_new(BIO_s_mem()), BIO_free);
  PEM_write_bio_PUBKEY(bio.get(), chave_->key.get());
  char* data = nullptr;
  const long len = BIO_get_mem_data(bio.get(), &data);
  return std::string(data, static_cast<size_t>(len));
}

std::string TestRsaKey::Decrypt(const std::string& cipher, bool oaep) const {
  std::unique_ptr<EVP_PKEY_CTX, void (*)(EVP_PKEY_CTX*)> ctx(EVP_PKEY_CTX_new(chave_->key.get(), nullptr),
                                                             EVP_PKEY_CTX_free);
  EVP_PKEY_decrypt_init(ctx.get());
  EVP_PKEY_CTX_set_rsa_padding(ctx.get(), oaep ? RSA_PKCS1_OAEP_PADDING : RSA_PKCS1_PADDING);
  size_t len = 0;
  const auto* in = reinterpret_cast<const unsigned char*>(cipher.data());
  if (EVP_PKEY_decrypt(ctx.get(), nullptr, &len, in, cipher.size()) != 1) return "";
  std::string out(len, '\0');
  if (EVP_PKEY_decrypt(ctx.get(), reinterpret_cast<unsigned char*>(out.data()), &len, in, cipher.size()) != 1)
    return "";
  out.resize(len);
  return out;
}

const char* OaepIndisponivel() { return nullptr; }

}  // namespace bilhetor::testing
