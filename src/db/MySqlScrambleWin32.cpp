// The client's cryptography on Windows, from the system's CNG (bcrypt) and
// its certificate library (crypt32) for reading the PEM public key.
#include <windows.h>
// After windows.h:
#include <bcrypt.h>
#include <wincrypt.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "db/MySqlCripto.h"

namespace bilhetor {

namespace {

bool Sucesso(NTSTATUS status) { return status >= 0; }

struct FecharAlgoritmo {
  void operator()(BCRYPT_ALG_HANDLE h) const { BCryptCloseAlgorithmProvider(h, 0); }
};
using Algoritmo = std::unique_ptr<void, FecharAlgoritmo>;

struct DestruirHash {
  void operator()(BCRYPT_HASH_HANDLE h) const { BCryptDestroyHash(h); }
};
struct DestruirChave {
  void operator()(BCRYPT_KEY_HANDLE h) const { BCryptDestroyKey(h); }
};
struct LiberarLocal {
  void operator()(void* p) const { LocalFree(p); }
};

Algoritmo AbrirAlgoritmo(const wchar_t* nome) {
  BCRYPT_ALG_HANDLE h = nullptr;
  if (!Sucesso(BCryptOpenAlgorithmProvider(&h, nome, nullptr, 0))) return nullptr;
  return Algoritmo(h);
}

std::string Digest(const wchar_t* algoritmo, std::string_view data) {
  const Algoritmo alg = AbrirAlgoritmo(algoritmo);
  if (!alg) throw Exception("digest failed");
  DWORD tamanho = 0;
  ULONG copiados = 0;
  if (!Sucesso(BCryptGetProperty(alg.get(), BCRYPT_HASH_LENGTH, reinterpret_cast<PUCHAR>(&tamanho), sizeof tamanho,
                                 &copiados, 0)))
    throw Exception("digest failed");
  BCRYPT_HASH_HANDLE hash = nullptr;
  if (!Sucesso(BCryptCreateHash(alg.get(), &hash, nullptr, 0, nullptr, 0, 0))) throw Exception("digest failed");
  const std::unique_ptr<void, DestruirHash> guarda(hash);
  std::string out(tamanho, '\0');
  // BCryptHashData takes a ULONG count: long inputs go in pieces.
  for (size_t i = 0; i < data.size();) {
    const ULONG n = static_cast<ULONG>(std::min<size_t>(data.size() - i, 0x40000000u));
    if (!Sucesso(BCryptHashData(hash, reinterpret_cast<PUCHAR>(const_cast<char*>(data.data() + i)), n, 0)))
      throw Exception("digest failed");
    i += n;
  }
  if (!Sucesso(BCryptFinishHash(hash, reinterpret_cast<PUCHAR>(out.data()), tamanho, 0)))
    throw Exception("digest failed");
  return out;
}

// The CNG public key blob (BCRYPT_RSAPUBLIC_BLOB) of a PEM
// SubjectPublicKeyInfo; empty when it is not an RSA key.
std::vector<BYTE> BlobDaChave(const std::string& pem) {
  DWORD tamanhoDer = 0;
  if (!CryptStringToBinaryA(pem.data(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER, nullptr,
                            &tamanhoDer, nullptr, nullptr))
    return {};
  std::vector<BYTE> der(tamanhoDer);
  if (!CryptStringToBinaryA(pem.data(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER, der.data(),
                            &tamanhoDer, nullptr, nullptr))
    return {};
  CERT_PUBLIC_KEY_INFO* info = nullptr;
  DWORD tamanhoInfo = 0;
  if (!CryptDecodeObjectEx(X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO, der.data(), tamanhoDer, CRYPT_DECODE_ALLOC_FLAG,
                           nullptr, &info, &tamanhoInfo))
    return {};
  const std::unique_ptr<void, LiberarLocal> guardaInfo(info);
  if (info->Algorithm.pszObjId == nullptr || std::string(info->Algorithm.pszObjId) != szOID_RSA_RSA) return {};
  BYTE* blob = nullptr;
  DWORD tamanhoBlob = 0;
  if (!CryptDecodeObjectEx(X509_ASN_ENCODING, CNG_RSA_PUBLIC_KEY_BLOB, info->PublicKey.pbData,
                           info->PublicKey.cbData, CRYPT_DECODE_ALLOC_FLAG, nullptr, &blob, &tamanhoBlob))
    return {};
  const std::unique_ptr<void, LiberarLocal> guardaBlob(blob);
  return std::vector<BYTE>(blob, blob + tamanhoBlob);
}

}  // namespace

std::string Sha1(std::string_view data) { return Digest(BCRYPT_SHA1_ALGORITHM, data); }
std::string Sha256(std::string_view data) { return Digest(BCRYPT_SHA256_ALGORITHM, data); }

bool RsaEncrypt(std::string_view plain, const std::string& pemKey, bool oaep, std::string& out) {
  std::vector<BYTE> blob = BlobDaChave(pemKey);
  if (blob.empty()) return false;
  const Algoritmo alg = AbrirAlgoritmo(BCRYPT_RSA_ALGORITHM);
  if (!alg) return false;
  BCRYPT_KEY_HANDLE chave = nullptr;
  if (!Sucesso(BCryptImportKeyPair(alg.get(), nullptr, BCRYPT_RSAPUBLIC_BLOB, &chave, blob.data(),
                                   static_cast<ULONG>(blob.size()), 0)))
    return false;
  const std::unique_ptr<void, DestruirChave> guarda(chave);
  BCRYPT_OAEP_PADDING_INFO oaepInfo{BCRYPT_SHA1_ALGORITHM, nullptr, 0};
  void* preenchimento = oaep ? &oaepInfo : nullptr;
  const ULONG modo = oaep ? BCRYPT_PAD_OAEP : BCRYPT_PAD_PKCS1;
  auto* entrada = reinterpret_cast<PUCHAR>(const_cast<char*>(plain.data()));
  const auto tamanhoEntrada = static_cast<ULONG>(plain.size());
  ULONG tamanho = 0;
  if (!Sucesso(BCryptEncrypt(chave, entrada, tamanhoEntrada, preenchimento, nullptr, 0, nullptr, 0, &tamanho, modo)))
    return false;
  out.assign(tamanho, '\0');
  if (!Sucesso(BCryptEncrypt(chave, entrada, tamanhoEntrada, preenchimento, nullptr, 0,
                             reinterpret_cast<PUCHAR>(out.data()), tamanho, &tamanho, modo)))
    return false;
  out.resize(tamanho);
  return true;
}

}  // namespace bilhetor
