#pragma once
// String literals for statements built as text. A value that comes from the
// database or from a file is put into a statement only as a quoted literal
// escaped by the server's rules for the connection: backslash escapes unless
// the server runs with NO_BACKSLASH_ESCAPES (then only the quote is doubled),
// and whole multi-byte characters of the connection's character set are
// copied untouched, so that a trail byte equal to a quote or a backslash is
// never split from its lead byte.
#include <string>
#include <string_view>

namespace bilhetor {

class TDbConnection;

// Server status flag: the session's sql_mode contains NO_BACKSLASH_ESCAPES.
constexpr unsigned kServerStatusNoBackslashEscapes = 0x0200;

// The escaped body of a literal (no quotes around it), for the character set
// named as MySQL names it ("latin1", "utf8", "sjis", ...).
std::string EscaparTextoSql(std::string_view texto, std::string_view charset, bool semBarraInvertida);

// 'texto' quoted and escaped for the open session of the connection (its
// character set and its server's status); for a closed connection, for latin1
// with backslash escapes.
std::string LiteralSql(TDbConnection& conexao, std::string_view texto);

}  // namespace bilhetor
