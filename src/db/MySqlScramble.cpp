#include "db/MySqlScramble.h"

#include <cmath>
#include <cstdint>

#include "db/MySqlCripto.h"
#include "db/MySqlNet.h"

namespace bilhetor {

using namespace mysqlerr;

namespace {

// The legacy password hash of the old method: two 31-bit numbers.
void LegacyHash(std::string_view text, uint32_t result[2]) {
  uint32_t nr = 1345345333u, add = 7, nr2 = 0x12345671u;
  for (unsigned char c : text) {
    if (c == ' ' || c == '\t') continue;
    nr ^= (((nr & 63) + add) * c) + (nr << 8);
    nr2 += (nr2 << 8) ^ nr;
    add += c;
  }
  result[0] = nr & 0x7FFFFFFFu;
  result[1] = nr2 & 0x7FFFFFFFu;
}

}  // namespace

std::string NativeScramble(std::string_view password, std::string_view scramble) {
  const std::string stage1 = Sha1(password);
  const std::string stage2 = Sha1(stage1);
  std::string result = Sha1(std::string(scramble.substr(0, 20)) + stage2);
  for (size_t i = 0; i < result.size(); ++i) result[i] = static_cast<char>(result[i] ^ stage1[i]);
  return result;
}

std::string CachingSha2Scramble(std::string_view password, std::string_view scramble) {
  const std::string s1 = Sha256(password);
  const std::string s2 = Sha256(s1);
  std::string result = Sha256(s2 + std::string(scramble.substr(0, 20)));
  for (size_t i = 0; i < result.size(); ++i) result[i] = static_cast<char>(result[i] ^ s1[i]);
  return result;
}

std::string OldScramble(std::string_view password, std::string_view scramble) {
  uint32_t hp[2], hm[2];
  LegacyHash(password, hp);
  LegacyHash(scramble.substr(0, 8), hm);
  const uint64_t max = 0x3FFFFFFFu;
  uint64_t seed1 = (hp[0] ^ hm[0]) % max;
  uint64_t seed2 = (hp[1] ^ hm[1]) % max;
  auto draw = [&] {
    seed1 = (seed1 * 3 + seed2) % max;
    seed2 = (seed1 + seed2 + 33) % max;
    return static_cast<double>(seed1) / 1073741823.0;
  };
  std::string out(8, '\0');
  for (auto& c : out) c = static_cast<char>(std::floor(draw() * 31) + 64);
  const char extra = static_cast<char>(std::floor(draw() * 31));
  for (auto& c : out) c = static_cast<char>(c ^ extra);
  return out;
}

std::string RsaEncryptPassword(std::string_view password, std::string_view scramble, const std::string& pemKey,
                               bool oaep) {
  std::string plain(password);
  plain.push_back('\0');
  if (!scramble.empty())
    for (size_t i = 0; i < plain.size(); ++i) plain[i] = static_cast<char>(plain[i] ^ scramble[i % scramble.size()]);
  std::string out;
  if (!RsaEncrypt(plain, pemKey, oaep, out))
    throw EMySqlException(CR_UNKNOWN_ERROR, "Couldn't encrypt the password with the server's public key");
  return out;
}

}  // namespace bilhetor
