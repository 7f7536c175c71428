#pragma once
// The MySQL provider: the internal connection that the connection component
// drives (session, character set, "SET NAMES", version) and the column kinds
// a result column becomes.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "common/Exception.h"
#include "db/MySqlClient.h"

namespace bilhetor {

// Errors of the database components.
BILHETOR_DECLARE_ERROR(EDatabaseError);
BILHETOR_DECLARE_ERROR(EConvertError);
// EAbort, the silent abort an OnError handler raises, is in common/Exception.h.

class TDbConnection;

class EDbError : public EDatabaseError {
 public:
  EDbError(int errorCode, const std::string& message, TDbConnection* component = nullptr);
  int ErrorCode() const { return errorCode_; }
  // For 1064 (syntax error): the line number at the end of the message.
  int LineNumber() const { return lineNumber_; }
  TDbConnection* Component() const { return component_; }

 private:
  int errorCode_;
  int lineNumber_ = 0;
  TDbConnection* component_;
};

enum class TDbFieldKind {
  Boolean,
  Int8,
  UInt8,
  Int16,
  UInt16,
  Int32,
  UInt32,
  Int64,
  Float,
  Date,
  Time,
  DateTime,
  FixedString,
  String,
  Bytes,
  Memo,
  Blob,
};

struct TDbQueryOptions {
  bool enableBoolean = true;
  bool binaryAsString = true;
  bool optimizedBigint = false;
};

// The field kind of a result column; raises EDatabaseError for a type code
// outside the known set.
TDbFieldKind FieldKindOf(const TMySqlFieldInfo& column, const TDbQueryOptions& options = {});

// The MySQL character set name for a Windows ANSI code page (empty when
// the code page is not listed).
std::string CharsetForCodePage(int codePage);
// The most bytes one character of a character set takes.
int MaxBytesPerChar(const std::string& charset);

// Text between the system's ANSI code page and UTF-8, for UTF-8 mode. Code
// page 65001 is UTF-8 itself and passes unchanged; 1252 (Windows-1252) and
// 28591 (ISO-8859-1) are converted by table, a character they lack (and a
// malformed UTF-8 sequence) becoming "?". No other code page is converted.
bool CodePageConvertsToUtf8(int codePage);
std::string CodePageToUtf8(std::string_view text, int codePage);
std::string Utf8ToCodePage(std::string_view text, int codePage);

// Name=value options declared by the provider with their defaults; names
// compare without regard to case.
class TDbSpecificOptions {
 public:
  void SetValue(const std::string& name, const std::string& value) { values_[LowerCase(name)] = value; }
  std::string Value(const std::string& name, const std::string& def = "") const;
  bool BoolValue(const std::string& name, bool def) const;
  int IntValue(const std::string& name, int def) const;

 private:
  std::map<std::string, std::string> values_;
};

// Connection parameters handed to the internal connection.
struct TMySqlConnectParams {
  std::string server, username, password, database;
  int port = 0;
  TDbSpecificOptions options;
  int codePage = 1252;  // the system's ANSI code page
  TVioFactory vioFactory;  // the transport instead of TCP, when set
  std::function<bool()> interrupt;  // the stop request of the session, when set
};

// The packet limit of a connection when "MaxAllowedPacket" is not set.
constexpr int kDefaultMaxAllowedPacket = 64 * 1024 * 1024;

// One connected session of a connection component.
class TMySQLConnection {
 public:
  static TMySQLAPIWire& Api();

  TMySQLConnection() = default;
  ~TMySQLConnection();

  // Opens the session; raises EDbError on failure (the session is closed).
  // Specific options read here: "ConnectionTimeout" (seconds, 15 by default,
  // 0 for none: the limit of the whole connect, "SET NAMES" included),
  // "Charset", "UseUnicode", "Compress", "Interactive", "Protocol",
  // "IPVersion", "MaxAllowedPacket" (bytes, 64 MiB by default: a larger
  // answer fails with 2020), "AllowedAuthMethods" (see
  // MYSQL_OPT_ALLOWED_AUTH_METHODS; an unknown name fails the connect with
  // 2059), "ServerPublicKey" (path of the server's RSA public key in PEM) and
  // "GetServerPublicKey" (True to take the key the server sends; see
  // MYSQL_OPT_SERVER_PUBLIC_KEY and MYSQL_OPT_GET_SERVER_PUBLIC_KEY), and for
  // TLS "SslMode" (DISABLED, PREFERRED, the default, REQUIRED, VERIFY_CA or
  // VERIFY_IDENTITY; another name fails with 2026), "SslCa", "SslCert" and
  // "SslKey" (PEM files; see TSslMode and TMySqlSession::sslMode). "Protocol"
  // mpSSL asks for REQUIRED at least.
  void Connect(const TMySqlConnectParams& params);
  // Whether the last Connect, failed or not, let the password out in a form
  // that a peer posing as the server can read (TMySqlSession::passwordExposed).
  bool PasswordExposed() const { return passwordExposed_; }
  void Disconnect();
  bool Connected() const { return session_ != nullptr; }
  TMySqlSession* Session() const { return session_.get(); }
  // True when the client closed the link after an error that left the
  // stream out of step (whatever its number): the session is unusable.
  bool LinkBroken() const { return session_ && (session_->broken || !session_->net.Vio()); }

  // Runs a statement without a result set; raises EDbError.
  void ExecuteDirect(const std::string& sql);
  void SelectDb(const std::string& db);

  const std::string& ServerVersion() const { return serverVersion_; }
  const TServerVersion& Version() const { return version_; }
  const std::string& Charset() const { return charset_; }
  bool Utf8() const { return utf8_; }
  int BytesPerChar() const { return bytesPerChar_; }
  // In UTF-8 mode text goes to the server converted from the code page to
  // UTF-8 and comes back converted the other way; otherwise both are the
  // bytes as they are.
  std::string ToServer(const std::string& text) const;
  std::string FromServer(std::string_view text) const;
  // Whether FromServer changes anything (UTF-8 mode on a code page other
  // than UTF-8).
  bool ConvertsText() const { return utf8_ && codePage_ != 65001; }

  // The session's last error as an EDbError.
  EDbError LastError(TDbConnection* component = nullptr) const;

 private:
  std::unique_ptr<TMySqlSession> session_;
  std::string serverVersion_;
  TServerVersion version_;
  std::string charset_;
  bool utf8_ = false;
  int bytesPerChar_ = 1;
  int codePage_ = 1252;
  bool passwordExposed_ = false;
};

}  // namespace bilhetor
