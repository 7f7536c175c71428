// The client's cryptography on OpenSSL.
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include <memory>

#include "db/MySqlCripto.h"

namespace bilhetor {

namespace {

std::string Digest(const EVP_MD* md, std::string_view data) {
  unsigned char out[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  if (EVP_Digest(data.data(), data.size(), out, &len, md, nullptr) != 1) throw Exception("digest failed");
  return std::string(reinterpret_cast<char*>(out), len);
}

}  // namespace

std::string Sha1(std::string_view data) { return Digest(EVP_sha1(), data); }
std::string Sha256(std::string_view data) { return Digest(EVP_sha256(), data); }

bool RsaEncrypt(std::string_view plain, const std::string& pemKey, bool oaep, std::string& out) {
  std::unique_ptr<BIO, int (*)(BIO*)> bio(BIO_new_mem_buf(pemKey.data(), static_cast<int>(pemKey.size())), BIO_free);
  if (!bio) return false;
  std::unique_ptr<EVP_PKEY, void (*)(EVP_PKEY*)> key(PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr),
                                                     EVP_PKEY_free);
  if (!key) return false;
  std::unique_ptr<EVP_PKEY_CTX, void (*)(EVP_PKEY_CTX*)> ctx(EVP_PKEY_CTX_new(key.get(), nullptr),
                                                             EVP_PKEY_CTX_free);
  if (!ctx || EVP_PKEY_encrypt_init(ctx.get()) != 1 ||
      EVP_PKEY_CTX_set_rsa_padding(ctx.get(), oaep ? RSA_PKCS1_OAEP_PADDING : RSA_PKCS1_PADDING) != 1)
    return false;
  size_t outLen = 0;
  const auto* in = reinterpret_cast<const unsigned char*>(plain.data());
  if (EVP_PKEY_encrypt(ctx.get(), nullptr, &outLen, in, plain.size()) != 1) return false;
  out.assign(outLen, '\0');
  if (EVP_PKEY_encrypt(ctx.get(), reinterpret_cast<unsigned char*>(out.data()), &outLen, in, plain.size()) != 1)
    return false;
  out.resize(outLen);
  return true;
}

}  // namespace bilhetor
