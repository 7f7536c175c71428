// The test's RSA key on CNG: made with BCryptGenerateKeyPair; the public key
// is written as DER SubjectPublicKeyInfo by hand (n and e from the key's
// BCRYPT_RSAPUBLIC_BLOB) and then as PEM.
#include <windows.h>
// After windows.h:
#include <bcrypt.h>
#include <wincrypt.h>

#include <gtest/gtest.h>

#include <vector>

#include "TestRsaKey.h"

namespace bilhetor::testing {

namespace {

// A DER element: tag, length, contents.
std::string Der(unsigned char tag, const std::string& conteudo) {
  std::string r(1, static_cast<char>(tag));
  const size_t n = conteudo.size();
  if (n < 0x80) {
    r += static_cast<char>(n);
  } else {
    std::string tamanho;
    for (size_t k = n; k > 0; k >>= 8) tamanho.insert(tamanho.begin(), static_cast<char>(k & 0xFF));
    r += static_cast<char>(0x80 | tamanho.size());
    r += tamanho;
  }
  return r + conteudo;
}

// A positive INTEGER from big-endian bytes.
std::string Inteiro(std::string bytes) {
  if (!bytes.empty() && (static_cast<unsigned char>(bytes[0]) & 0x80) != 0) bytes.insert(bytes.begin(), '\0');
  return Der(0x02, bytes);
}

}  // namespace

struct TestRsaKey::Chave {
  BCRYPT_ALG_HANDLE alg = nullptr;
  BCRYPT_KEY_HANDLE key = nullptr;
};

TestRsaKey::TestRsaKey() : chave_(std::make_unique<Chave>()) {
  EXPECT_GE(BCryptOpenAlgorithmProvider(&chave_->alg, BCRYPT_RSA_ALGORITHM, nullptr, 0), 0);
  EXPECT_GE(BCryptGenerateKeyPair(chave_->alg, &chave_->key, 2048, 0), 0);
  EXPECT_GE(BCryptFinalizeKeyPair(chave_->key, 0), 0);
}

TestRsaKey::~TestRsaKey() {
  if (chave_->key != nullptr) BCryptDestroyKey(chave_->key);
  if (chave_->alg != nullptr) BCryptCloseAlgorithmProvider(chave_->alg, 0);
}

std::string TestRsaKey::PublicPem() const {
  ULONG tamanho = 0;
  if (BCryptExportKey(chave_->key, nullptr, BCRYPT_RSAPUBLIC_BLOB, nullptr, 0, &tamanho, 0) < 0) return "";
  std::vector<UCHAR> blob(tamanho);
  if (BCryptExportKey(chave_->key, nullptr, BCRYPT_RSAPUBLIC_BLOB, blob.data(), tamanho, &tamanho, 0) < 0) return "";
  const auto* cabecalho = reinterpret_cast<const BCRYPT_RSAKEY_BLOB*>(blob.data());
  const char* p = reinterpret_cast<const char*>(blob.data()) + sizeof(BCRYPT_RSAKEY_BLOB);
  const std::string e(p, cabecalho->cbPublicExp);
  const std::string n(p + cabecalho->cbPublicExp, cabecalho->cbModulus);
  const std::string rsaEncryption("\x2A\x86\x48\x86\xF7\x0D\x01\x01\x01", 9);
  const std::string der =
      Der(0x30, Der(0x30, Der(0x06, rsaEncryption) + Der(0x05, "")) +
                    Der(0x03, std::string(1, '\0') + Der(0x30, Inteiro(n) + Inteiro(e))));
  DWORD caracteres = 0;
  const auto* bytes = reinterpret_cast<const BYTE*>(der.data());
  const DWORD flags = CRYPT_STRING_BASE64;
  if (!CryptBinaryToStringA(bytes, static_cast<DWORD>(der.size()), flags, nullptr, &caracteres)) return "";
  std::string base64(caracteres, '\0');
  if (!CryptBinaryToStringA(bytes, static_cast<DWORD>(der.size()), flags, base64.data(), &caracteres)) return "";
  base64.resize(caracteres);
  return "-----BEGIN PUBLIC KEY-----\n" + base64 + "-----END PUBLIC KEY-----\n";
}

std::string TestRsaKey::Decrypt(const std::string& cipher, bool oaep) const {
  BCRYPT_OAEP_PADDING_INFO oaepInfo{BCRYPT_SHA1_ALGORITHM, nullptr, 0};
  void* preenchimento = oaep ? &oaepInfo : nullptr;
  const ULONG modo = oaep ? BCRYPT_PAD_OAEP : BCRYPT_PAD_PKCS1;
  std::string out(cipher.size(), '\0');
  ULONG tamanho = 0;
  auto* entrada = reinterpret_cast<PUCHAR>(const_cast<char*>(cipher.data()));
  if (BCryptDecrypt(chave_->key, entrada, static_cast<ULONG>(cipher.size()), preenchimento, nullptr, 0,
                    reinterpret_cast<PUCHAR>(out.data()), static_cast<ULONG>(out.size()), &tamanho, modo) < 0)
    return "";
  out.resize(tamanho);
  return out;
}

const char* OaepIndisponivel() {
  const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  const bool wine = ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
  return wine ? "Wine's CNG does not implement RSA with OAEP padding (STATUS_NOT_IMPLEMENTED)" : nullptr;
}

}  // namespace bilhetor::testing
