#include "common/Texto1252.h"

#include <gtest/gtest.h>

namespace bilhetor {
namespace {

TEST(Texto1252, ToUtf8) {
  const std::pair<std::string, std::string> casos[] = {
      {"A\x7F", "A\x7F"},                  // ASCII as it is
      {"Jo\xE3o", "Jo\xC3\xA3o"},          // Latin-1 letters: two bytes
      {"\x80", "\xE2\x82\xAC"},            // the euro sign of 80
      {"\x9F", "\xC5\xB8"},                // Y with diaeresis
      {"\x81\x9D", "\xC2\x81\xC2\x9D"},       // unassigned: the control character of that number
  };
  for (const auto& [cp1252, utf8] : casos) EXPECT_EQ(Cp1252ParaUtf8(cp1252), utf8);
}

}  // namespace
}  // namespace bilhetor
