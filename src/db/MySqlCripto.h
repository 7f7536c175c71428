#pragma once
// The cryptography the MySQL client takes from the platform: OpenSSL on
// Linux (MySqlScramblePosix.cpp), the system's CNG on Windows
// (MySqlScrambleWin32.cpp).
#include <string>
#include <string_view>

#include "common/Exception.h"

namespace bilhetor {

// The digests; Exception when the platform cannot compute one.
std::string Sha1(std::string_view data);
std::string Sha256(std::string_view data);

// Encrypts plain with the RSA public key pemKey (a PEM SubjectPublicKeyInfo,
// "-----BEGIN PUBLIC KEY-----"), OAEP with SHA-1 or PKCS#1 v1.5 padding.
// False when the key cannot be read or the platform cannot encrypt.
bool RsaEncrypt(std::string_view plain, const std::string& pemKey, bool oaep, std::string& out);

}  // namespace bilhetor
