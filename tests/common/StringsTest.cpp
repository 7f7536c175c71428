#include "common/Exception.h"
#include "common/Strings.h"

#include <gtest/gtest.h>

#include <climits>

namespace bilhetor {
namespace {

BILHETOR_DECLARE_ERROR(ETestError);

TEST(Exception, NamedErrorCarriesMessageAndIsCatchableAsBase) {
  try {
    throw ETestError(Format("Communication error %d: %s", 2, "No such file"));
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Communication error 2: No such file");
    EXPECT_STREQ(e.what(), "Communication error 2: No such file");
  }
}

TEST(Format, HandlesEmptyAndLongResults) {
  EXPECT_EQ(Format("%s", ""), "");
  const std::string big(5000, 'x');
  EXPECT_EQ(Format("[%s]", big.c_str()).size(), 5002u);
}

TEST(Strings, TrimRemovesBlanksAndControlBytesOnly) {
  EXPECT_EQ(Trim(" \t\r\n abc \x01"), "abc");
  EXPECT_EQ(Trim("   "), "");
  EXPECT_EQ(Trim(""), "");
  // Bytes above 0x7F are text in Windows-1252 and must survive.
  EXPECT_EQ(Trim("\xA0x\xE7"), "\xA0x\xE7");
  EXPECT_EQ(TrimLeft("  a "), "a ");
  EXPECT_EQ(TrimRight("  a "), "  a");
}

TEST(Strings, AsciiCaseLeavesHighBytesAlone) {
  EXPECT_EQ(UpperCase("aZ\xE7<n>"), "AZ\xE7<N>");
  EXPECT_EQ(LowerCase("AZ\xC7<N>"), "az\xC7<n>");
}

TEST(Strings, AnsiCaseMapsWindows1252Letters) {
  // ação -> AÇÃO; the division and multiplication signs never change.
  EXPECT_EQ(AnsiUpperCase("a\xE7\xE3o \xF7\xFF\x9A"), "A\xC7\xC3O \xF7\x9F\x8A");
  EXPECT_EQ(AnsiLowerCase("A\xC7\xC3O \xD7\x9F\x8A\xDF"), "a\xE7\xE3o \xD7\xFF\x9A\xDF");
  for (int c = 0; c < 256; ++c) {
    const std::string s(1, static_cast<char>(c));
    const std::string up = AnsiUpperCase(s);
    if (up != s) {
      EXPECT_EQ(AnsiLowerCase(up), s) << "byte " << c;
    }
  }
}

TEST(Strings, TextComparisons) {
  EXPECT_TRUE(SameText("raw:Epson", "RAW:EPSON"));
  EXPECT_FALSE(SameText("COM1", "COM10"));
  EXPECT_TRUE(StartsText("raw:", "RAW:*"));
  EXPECT_FALSE(StartsText("RAW:", "RA"));
  EXPECT_TRUE(EndsText(".INI", "bilhetor.ini"));
}

TEST(Strings, DigitsAndPadding) {
  EXPECT_EQ(OnlyDigits("Ped 0-57/a9"), "0579");
  EXPECT_EQ(OnlyDigits("abc"), "");
  EXPECT_EQ(PadLeft("57", 5, '0'), "00057");
  EXPECT_EQ(PadLeft("123456", 3, '0'), "123");
  EXPECT_EQ(PadRight("ab", 4), "ab  ");
  EXPECT_EQ(PadCenter("ab", 5, '-'), "-ab--");
  EXPECT_EQ(PadCenter("abcdef", 3), "abc");
}

TEST(Strings, ReplaceAndSplit) {
  EXPECT_EQ(ReplaceAll("a\r\nb\r\n", "\r\n", "\n"), "a\nb\n");
  EXPECT_EQ(ReplaceAll("aaa", "a", "aa"), "aaaaaa");
  EXPECT_EQ(ReplaceAll("abc", "", "x"), "abc");
  EXPECT_EQ(Split("a|b||c", '|'), (std::vector<std::string>{"a", "b", "", "c"}));
  EXPECT_EQ(Split("", '|'), (std::vector<std::string>{""}));
}

TEST(Strings, IntegerParsingRejectsJunkAndOverflow) {
  EXPECT_EQ(StrToIntDef(" 19200 ", -1), 19200);
  EXPECT_EQ(StrToIntDef("-7", 0), -7);
  EXPECT_EQ(StrToIntDef("$1F", 0), 31);
  EXPECT_EQ(StrToIntDef("0x1f", 0), 31);
  EXPECT_EQ(StrToIntDef("12a", -1), -1);
  EXPECT_EQ(StrToIntDef("", -1), -1);
  EXPECT_EQ(StrToIntDef("-", -1), -1);
  EXPECT_EQ(StrToIntDef("2147483647", 0), INT_MAX);
  EXPECT_EQ(StrToIntDef("2147483648", -1), -1);
  EXPECT_EQ(StrToIntDef("-2147483648", 0), INT_MIN);
  EXPECT_EQ(StrToInt64Def("-9223372036854775808", 0), INT64_MIN);
  EXPECT_EQ(StrToInt64Def("9223372036854775808", 5), 5);
  EXPECT_EQ(StrToInt64Def("99999999999999999999999", 5), 5);
}

TEST(Strings, PlainNumberAfterAPrefix) {
  const std::pair<const char*, int> casos[] = {{"LPT3", 3},     {"COM123456", 123456}, {"COM1234567", -1},
                                               {"COM", -1},     {"COM 1", -1},         {"COM+1", -1},
                                               {"COM0x1", -1},  {"COM007", 7}};
  for (const auto& [nome, numero] : casos) EXPECT_EQ(PlainNumberAfter(nome, 3), numero) << nome;
}

}  // namespace
}  // namespace bilhetor
