#pragma once
// Helpers for 8-bit text. A std::string holds bytes (Windows-1252 text in
// the application, printer bytes in the engine); nothing here decodes UTF-8.
// "Blank" means a byte <= 0x20, as the trimming of the original system did.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The printf dialect that Format's arguments are checked against: the C99
// one (%zu, %lld). The Windows build names it gnu_printf, since there plain
// printf means the system library's older dialect.
#ifndef BILHETOR_FORMATO_PRINTF
#define BILHETOR_FORMATO_PRINTF printf
#endif

namespace bilhetor {

// printf-style formatting into a std::string ("Communication error %d: %s").
[[gnu::format(BILHETOR_FORMATO_PRINTF, 1, 2)]] std::string Format(const char* format, ...);

// Trimming of blanks and control characters (bytes <= 0x20).
std::string Trim(std::string_view s);
std::string TrimLeft(std::string_view s);
std::string TrimRight(std::string_view s);

// ASCII-only case mapping: only 'a'..'z' / 'A'..'Z' change.
std::string UpperCase(std::string_view s);
std::string LowerCase(std::string_view s);
char UpperChar(char c);
char LowerChar(char c);

// Windows-1252 case mapping: ASCII letters and the accented letters of the
// code page (à -> À, ç -> Ç, ...). ÿ/Ÿ and š/Š, ž/Ž, œ/Œ are mapped too.
std::string AnsiUpperCase(std::string_view s);
std::string AnsiLowerCase(std::string_view s);

// Case-insensitive (ASCII) comparisons.
bool SameText(std::string_view a, std::string_view b);
bool StartsText(std::string_view prefix, std::string_view s);
bool EndsText(std::string_view suffix, std::string_view s);

// The digits '0'..'9' of s, in order (may be empty).
std::string OnlyDigits(std::string_view s);

// Pads (or cuts) s to exactly width bytes.
std::string PadLeft(std::string_view s, std::size_t width, char fill = ' ');
std::string PadRight(std::string_view s, std::size_t width, char fill = ' ');
// Centres s in width bytes, the odd blank going to the right.
std::string PadCenter(std::string_view s, std::size_t width, char fill = ' ');

// Replaces every occurrence of from (non-empty) by to.
std::string ReplaceAll(std::string_view s, std::string_view from, std::string_view to);

// Splits on a separator byte; an empty input gives one empty piece.
std::vector<std::string> Split(std::string_view s, char separator);

// Integer parsing in the manner of StrToIntDef: optional blanks around, an
// optional sign, decimal digits, or "$"/"0x" hexadecimal; anything else or an
// out-of-range value gives the default.
int64_t StrToInt64Def(std::string_view s, int64_t def);
int StrToIntDef(std::string_view s, int def);
bool TryStrToInt(std::string_view s, int& value);

// The number after the first `prefix` bytes of s when the rest is a plain
// decimal number of one to six digits ("LPT3" after 3 gives 3); -1
// otherwise. No blanks, signs or hexadecimal forms: a port name is a number
// only when it is written exactly so.
int PlainNumberAfter(std::string_view s, std::size_t prefix);

}  // namespace bilhetor
