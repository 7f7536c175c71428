#pragma once
// The password scrambles of the MySQL authentication methods: what the
// client sends instead of the password, derived from it and from the random
// scramble of the server's greeting (or of a method switch).
#include <string>
#include <string_view>

namespace bilhetor {

// mysql_native_password: SHA1(password) XOR SHA1(scramble + SHA1(SHA1(password))).
std::string NativeScramble(std::string_view password, std::string_view scramble);
// caching_sha2_password (fast path): SHA256(password) XOR
// SHA256(SHA256(SHA256(password)) + scramble).
std::string CachingSha2Scramble(std::string_view password, std::string_view scramble);
// mysql_old_password: the 8 bytes of the pre-4.1 scramble (weak: easily
// reversed to a password that works).
std::string OldScramble(std::string_view password, std::string_view scramble);
// RSA encryption of (password + zero byte) XOR scramble with a PEM public
// key; OAEP (SHA-1) or PKCS#1 v1.5 padding.
std::string RsaEncryptPassword(std::string_view password, std::string_view scramble, const std::string& pemKey,
                               bool oaep);

}  // namespace bilhetor
