#include "db/MySqlEscape.h"

#include "common/Strings.h"
#include "db/DbAccess.h"

namespace bilhetor {

namespace {

// Length of the multi-byte character that starts at s[i] in an East Asian
// character set whose trail bytes may equal '\\' or '\'' (1 when s[i] is not
// the lead byte of a complete character).
std::size_t ComprimentoMultibyte(std::string_view s, std::size_t i, std::string_view charset) {
  const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char c = b(i);
  const bool temSegundo = i + 1 < s.size();
  if (SameText(charset, "sjis") || SameText(charset, "cp932")) {
    const bool lead = (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
    if (lead && temSegundo && b(i + 1) >= 0x40 && b(i + 1) <= 0xFC && b(i + 1) != 0x7F) return 2;
  } else if (SameText(charset, "gbk") || SameText(charset, "gb18030")) {
    if (c >= 0x81 && c <= 0xFE && temSegundo) {
      const unsigned char t = b(i + 1);
      if (SameText(charset, "gb18030") && t >= 0x30 && t <= 0x39 && i + 3 < s.size()) return 4;
      if (t >= 0x40 && t <= 0xFE && t != 0x7F) return 2;
    }
  } else if (SameText(charset, "big5")) {
    if (c >= 0xA1 && c <= 0xF9 && temSegundo) {
      const unsigned char t = b(i + 1);
      if ((t >= 0x40 && t <= 0x7E) || (t >= 0xA1 && t <= 0xFE)) return 2;
    }
  }
  return 1;
}

}  // namespace

std::string EscaparTextoSql(std::string_view texto, std::string_view charset, bool semBarraInvertida) {
  std::string out;
  out.reserve(texto.size() + 8);
  for (std::size_t i = 0; i < texto.size();) {
    const std::size_t n = ComprimentoMultibyte(texto, i, charset);
    if (n > 1) {
      out.append(texto.substr(i, n));
      i += n;
      continue;
    }
    const char c = texto[i++];
    if (semBarraInvertida) {
      // Only the quote has a meaning inside the literal; it is doubled.
      if (c == '\'') out += "''";
      else out += c;
      continue;
    }
    switch (c) {
      case '\0': out += "\\0"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\\': out += "\\\\"; break;
      case '\'': out += "\\'"; break;
      case '"': out += "\\\""; break;
      case '\x1A': out += "\\Z"; break;
      default: out += c;
    }
  }
  return out;
}

std::string LiteralSql(TDbConnection& conexao, std::string_view texto) {
  std::string charset = "latin1";
  bool semBarra = false;
  const TMySQLConnection* interna = conexao.Internal();
  if (interna && interna->Session()) {
    if (!interna->Charset().empty()) charset = interna->Charset();
    semBarra = (interna->Session()->serverStatus & kServerStatusNoBackslashEscapes) != 0;
  }
  return "'" + EscaparTextoSql(texto, charset, semBarra) + "'";
}

}  // namespace bilhetor
