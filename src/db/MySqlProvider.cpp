#include "db/MySqlProvider.h"

#include <cctype>
#include <chrono>

#include "common/Texto1252.h"

namespace bilhetor {

namespace {

void PutUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// The code page byte of a Unicode code point; '?' when it has none.
char CodePageByte(uint32_t cp, int codePage) {
  if (cp < 0x80) return static_cast<char>(cp);
  if (codePage == 28591) return cp <= 0xFF ? static_cast<char>(cp) : '?';
  if (cp >= 0xA0 && cp <= 0xFF) return static_cast<char>(cp);
  for (int i = 0; i < 32; ++i)
    if (kCp1252Alto[i] != 0 && kCp1252Alto[i] == cp) return static_cast<char>(0x80 + i);
  return '?';
}

}  // namespace

EDbError::EDbError(int errorCode, const std::string& message, TDbConnection* component)
    : EDatabaseError(message), errorCode_(errorCode), component_(component) {
  if (errorCode == 1064) {
    size_t end = message.size();
    size_t start = end;
    while (start > 0 && std::isdigit(static_cast<unsigned char>(message[start - 1]))) --start;
    if (start < end) lineNumber_ = StrToIntDef(message.substr(start, end - start), 0);
  }
}

TDbFieldKind FieldKindOf(const TMySqlFieldInfo& c, const TDbQueryOptions& options) {
  const bool isUnsigned = (c.flags & 0x20) != 0;
  const bool binary = (c.flags & 128) != 0 && c.charsetNr == 63;
  switch (c.type) {
    case 1:
      if (c.length == 1 && options.enableBoolean) return TDbFieldKind::Boolean;
      return isUnsigned ? TDbFieldKind::UInt8 : TDbFieldKind::Int8;
    case 2: return isUnsigned ? TDbFieldKind::UInt16 : TDbFieldKind::Int16;
    case 13: return TDbFieldKind::UInt16;
    case 9: return TDbFieldKind::Int32;
    case 3: return isUnsigned ? TDbFieldKind::UInt32 : TDbFieldKind::Int32;
    case 8:
      if (options.optimizedBigint && c.length < 12) return TDbFieldKind::Int32;
      return TDbFieldKind::Int64;
    case 16:
      if (options.optimizedBigint && c.length < 32) return TDbFieldKind::Int32;
      return TDbFieldKind::Int64;
    case 0:
    case 246:
    case 4:
    case 5: return TDbFieldKind::Float;
    case 10:
    case 14: return TDbFieldKind::Date;
    case 11: return TDbFieldKind::Time;
    case 7:
    case 12: return TDbFieldKind::DateTime;
    case 254:
      if (binary) return options.binaryAsString ? TDbFieldKind::String : TDbFieldKind::Bytes;
      return TDbFieldKind::FixedString;
    case 247:  // ENUM
    case 248:  // SET
      return TDbFieldKind::FixedString;
    case 6:
    case 15:
    case 253:
      if (binary && !options.binaryAsString) return TDbFieldKind::Bytes;
      return TDbFieldKind::String;
    case 249:
    case 250:
    case 251:
    case 252: return binary ? TDbFieldKind::Blob : TDbFieldKind::Memo;
    case 245:
    case 255: return TDbFieldKind::Blob;
    default: throw EDatabaseError("Unknown MySQL datatype (" + std::to_string(c.type) + ")");
  }
}

std::string CharsetForCodePage(int codePage) {
  switch (codePage) {
    case 437: case 850: case 858: return "cp850";
    case 852: return "cp852";
    case 866: return "cp866";
    case 874: case 10021: return "tis620";
    case 932: return "cp932";
    case 936: return "gbk";
    case 949: case 20949: case 51949: return "euckr";
    case 950: case 10002: case 51950: return "big5";
    case 1250: case 28592: return "latin2";
    case 1251: return "cp1251";
    case 1252: case 28591: return "latin1";
    case 1253: case 28597: return "greek";
    case 1254: case 28599: return "latin5";
    case 1255: case 28598: case 38598: return "hebrew";
    case 1256: return "cp1256";
    case 1257: return "cp1257";
    case 10000: return "macroman";
    case 10001: return "sjis";
    case 10008: case 20936: case 51936: return "gb2312";
    case 10029: return "macce";
    case 20107: return "swe7";
    case 20127: return "ascii";
    case 20866: return "koi8r";
    case 20932: case 51932: return "ujis";
    case 21866: return "koi8u";
    case 28603: return "latin7";
    case 65001: return "utf8";
    default: return "";
  }
}

int MaxBytesPerChar(const std::string& charset) {
  const std::string c = LowerCase(charset);
  if (c == "utf32" || c == "utf16le" || c == "utf16" || c == "utf8mb4") return 4;
  if (c == "eucjpms" || c == "utf8" || c == "ujis") return 3;
  if (c == "cp932" || c == "ucs2" || c == "gbk" || c == "gb2312" || c == "euckr" || c == "sjis" || c == "big5")
    return 2;
  return 1;
}

std::string TDbSpecificOptions::Value(const std::string& name, const std::string& def) const {
  const auto it = values_.find(LowerCase(name));
  return it == values_.end() ? def : it->second;
}

bool TDbSpecificOptions::BoolValue(const std::string& name, bool def) const {
  const auto it = values_.find(LowerCase(name));
  if (it == values_.end()) return def;
  return SameText(it->second, "True") || it->second == "1";
}

int TDbSpecificOptions::IntValue(const std::string& name, int def) const {
  const auto it = values_.find(LowerCase(name));
  return it == values_.end() ? def : StrToIntDef(Trim(it->second), def);
}

TMySQLAPIWire& TMySQLConnection::Api() {
  static TMySQLAPIWire api;
  return api;
}

bool CodePageConvertsToUtf8(int codePage) { return codePage == 65001 || codePage == 1252 || codePage == 28591; }

std::string CodePageToUtf8(std::string_view text, int codePage) {
  if (codePage == 65001) return std::string(text);
  std::string out;
  out.reserve(text.size() + text.size() / 4);
  for (unsigned char c : text) {
    uint32_t cp = c;
    if (codePage != 28591 && c >= 0x80 && c < 0xA0) cp = kCp1252Alto[c - 0x80] ? kCp1252Alto[c - 0x80] : '?';
    PutUtf8(out, cp);
  }
  return out;
}

std::string Utf8ToCodePage(std::string_view text, int codePage) {
  if (codePage == 65001) return std::string(text);
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    int extra = c < 0x80 ? 0 : c >= 0xC2 && c < 0xE0 ? 1 : c >= 0xE0 && c < 0xF0 ? 2 : c >= 0xF0 && c < 0xF5 ? 3 : -1;
    uint32_t cp = extra == 0 ? c : extra == 1 ? (c & 0x1Fu) : extra == 2 ? (c & 0x0Fu) : (c & 0x07u);
    bool ok = extra >= 0 && i + static_cast<size_t>(extra) < text.size() + (extra == 0 ? 1 : 0);
    for (int k = 1; ok && k <= extra; ++k) {
      const auto cc = static_cast<unsigned char>(text[i + static_cast<size_t>(k)]);
      if ((cc & 0xC0) != 0x80) ok = false;
      cp = (cp << 6) | (cc & 0x3Fu);
    }
    // Overlong forms and surrogates are malformed too.
    if (ok && ((extra == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF))))
      ok = false;
    if (!ok) {
      out.push_back('?');
      ++i;
      continue;
    }
    out.push_back(CodePageByte(cp, codePage));
    i += static_cast<size_t>(extra) + 1;
  }
  return out;
}

TMySQLConnection::~TMySQLConnection() { Disconnect(); }

std::string TMySQLConnection::ToServer(const std::string& text) const {
  return utf8_ ? CodePageToUtf8(text, codePage_) : text;
}

std::string TMySQLConnection::FromServer(std::string_view text) const {
  return utf8_ ? Utf8ToCodePage(text, codePage_) : std::string(text);
}

EDbError TMySQLConnection::LastError(TDbConnection* component) const {
  TMySqlSession* s = session_.get();
  if (!s) return EDbError(mysqlerr::CR_SERVER_GONE_ERROR, MySqlClientErrorTemplate(mysqlerr::CR_SERVER_GONE_ERROR), component);
  // The server's messages are UTF-8 in UTF-8 mode; the client's own are
  // plain ASCII either way.
  const std::string text = Api().ServerErrorFlag(s) ? FromServer(Api().mysql_error(s)) : Api().mysql_error(s);
  return EDbError(Api().mysql_errno(s), text, component);
}

void TMySQLConnection::Connect(const TMySqlConnectParams& p) {
  Disconnect();
  passwordExposed_ = false;
  TMySQLAPIWire& api = Api();
  auto session = api.mysql_init();
  const TDbSpecificOptions& o = p.options;
  const int connectTimeout = o.IntValue("ConnectionTimeout", 15);
  api.mysql_options(session.get(), MYSQL_OPT_CONNECT_TIMEOUT, connectTimeout);
  session->SetInterrupt(p.interrupt);
  // The connect's own deadline covers the handshake; this one also covers
  // "SET NAMES", which belongs to the connect as the caller sees it.
  if (connectTimeout > 0) session->SetDeadline(TVio::Clock::now() + std::chrono::seconds(connectTimeout));
  const std::string charsetOption = Trim(o.Value("Charset"));
  if (o.BoolValue("UseUnicode", false))
    charset_ = SameText(charsetOption, "utf8mb4") ? "utf8mb4" : "utf8";
  else
    charset_ = charsetOption.empty() ? CharsetForCodePage(p.codePage) : charsetOption;
  utf8_ = SameText(charset_, "utf8") || SameText(charset_, "utf8mb4");
  codePage_ = p.codePage;
  if (utf8_ && !CodePageConvertsToUtf8(codePage_))
    throw EDbError(2019, Format("Can't initialize character set %s (path: code page %d)", charset_.c_str(), codePage_));
  if (utf8_) api.mysql_options(session.get(), MYSQL_SET_CHARSET_NAME, std::string("utf8"));
  api.mysql_options(session.get(), MYSQL_OPT_MAX_ALLOWED_PACKET,
                    o.IntValue("MaxAllowedPacket", kDefaultMaxAllowedPacket) > 0
                        ? o.IntValue("MaxAllowedPacket", kDefaultMaxAllowedPacket)
                        : kDefaultMaxAllowedPacket);
  const std::string methods = o.Value("AllowedAuthMethods");
  if (api.mysql_options(session.get(), MYSQL_OPT_ALLOWED_AUTH_METHODS, methods) != 0)
    throw EDbError(mysqlerr::CR_AUTH_PLUGIN_CANNOT_LOAD,
                   "AllowedAuthMethods names an unknown authentication method: " + methods);
  api.mysql_options(session.get(), MYSQL_OPT_SERVER_PUBLIC_KEY, Trim(o.Value("ServerPublicKey")));
  api.mysql_options(session.get(), MYSQL_OPT_GET_SERVER_PUBLIC_KEY, o.BoolValue("GetServerPublicKey", false) ? 1 : 0);
  TSslMode sslMode = TSslMode::Preferred;
  const std::string sslModeName = Trim(o.Value("SslMode"));
  if (!sslModeName.empty() && !SslModeFromName(sslModeName, sslMode))
    throw EDbError(mysqlerr::CR_SSL_CONNECTION_ERROR,
                   "SSL connection error: SslMode must be DISABLED, PREFERRED, REQUIRED, VERIFY_CA or "
                   "VERIFY_IDENTITY, not '" + sslModeName + "'");
  api.mysql_options(session.get(), MYSQL_OPT_SSL_MODE, static_cast<int>(sslMode));
  api.mysql_options(session.get(), MYSQL_OPT_SSL_CA, Trim(o.Value("SslCa")));
  api.mysql_options(session.get(), MYSQL_OPT_SSL_CERT, Trim(o.Value("SslCert")));
  api.mysql_options(session.get(), MYSQL_OPT_SSL_KEY, Trim(o.Value("SslKey")));
  session->vioFactory = p.vioFactory;
  const std::string protocol = LowerCase(o.Value("Protocol", "mpDefault"));
  if (protocol == "mppipe") api.mysql_options(session.get(), MYSQL_OPT_PROTOCOL, 3);
  if (protocol == "mpmemory") api.mysql_options(session.get(), MYSQL_OPT_PROTOCOL, 4);
  if (protocol == "mpssl" || protocol == "mpsslhttp") api.mysql_ssl_set(session.get());
  const std::string ipVersion = LowerCase(o.Value("IPVersion", "ivIPv4"));
  session->ipVersion = ipVersion == "ivipv6"   ? TIPVersion::ivIPv6
                       : ipVersion == "ivipboth" ? TIPVersion::ivIPBoth
                                                 : TIPVersion::ivIPv4;

  std::string host = p.server;
  const size_t comma = host.find(',');
  if (comma != std::string::npos) host.resize(comma);
  if (host.empty()) host = "localhost";
  uint32_t flags = mysqlflag::CLIENT_FOUND_ROWS | mysqlflag::CLIENT_MULTI_STATEMENTS;
  if (o.BoolValue("Compress", false)) flags |= mysqlflag::CLIENT_COMPRESS;
  if (o.BoolValue("Interactive", false)) flags |= mysqlflag::CLIENT_INTERACTIVE;
  // In UTF-8 mode the server compares names and passwords as UTF-8.
  if (!api.mysql_real_connect(session.get(), host, ToServer(p.username), ToServer(p.password),
                              ToServer(p.database), p.port, "", flags)) {
    const std::string message = api.ServerErrorFlag(session.get()) ? FromServer(api.mysql_error(session.get()))
                                                                    : api.mysql_error(session.get());
    EDbError error(api.mysql_errno(session.get()), message);
    passwordExposed_ = session->passwordExposed;
    api.mysql_close(std::move(session));
    throw error;
  }
  passwordExposed_ = session->passwordExposed;
  session_ = std::move(session);
  serverVersion_ = api.mysql_get_server_info(session_.get());
  version_ = ParseServerVersion(serverVersion_);
  if (version_.major < 4 || (version_.major == 4 && version_.minor == 0)) {
    utf8_ = false;
    bytesPerChar_ = 1;
    session_->SetDeadline(TVio::kNoDeadline);
    return;
  }
  if (!charset_.empty()) {
    try {
      ExecuteDirect("SET NAMES '" + charset_ + "'");
    } catch (...) {
      Disconnect();
      throw;
    }
    bytesPerChar_ = MaxBytesPerChar(charset_);
  }
  session_->SetDeadline(TVio::kNoDeadline);
}

void TMySQLConnection::Disconnect() {
  if (session_) Api().mysql_close(std::move(session_));
  session_.reset();
}

void TMySQLConnection::ExecuteDirect(const std::string& sql) {
  TMySQLAPIWire& api = Api();
  if (!session_) throw EDbError(mysqlerr::CR_SERVER_GONE_ERROR, MySqlClientErrorTemplate(2006));
  if (api.mysql_real_query(session_.get(), sql.data(), sql.size()) != 0) throw LastError();
  // Drain whatever the statement returned, so the session stays in step.
  while (true) {
    if (api.mysql_field_count(session_.get()) > 0) api.mysql_free_result(api.mysql_use_result(session_.get()));
    if (!api.mysql_more_results(session_.get())) break;
    if (api.mysql_next_result(session_.get()) > 0) throw LastError();
  }
}

void TMySQLConnection::SelectDb(const std::string& db) {
  if (!session_) return;
  if (Api().mysql_select_db(session_.get(), ToServer(db)) != 0) throw LastError();
}

}  // namespace bilhetor
