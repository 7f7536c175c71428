#pragma once
// The MySQL client: a session (TMySqlSession) and the client operations of
// TMySQLAPI, named after the MySQL C client functions and implemented by
// TMySQLAPIWire over the packet layer: handshake with optional TLS (see
// VioTls.h) and authentication (native, old, SHA-256, caching SHA-2, dialog),
// simple commands, text queries, result sets with rows decoded in place, and
// multiple results.
//
// The operations never let an EMySqlException out: they store its number,
// text and server flag on the session and return a failure value.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "db/MySqlNet.h"
#include "db/MySqlScramble.h"
#include "db/VioTcp.h"
#include "db/VioTls.h"

namespace bilhetor {

// Capability flags.
namespace mysqlflag {
constexpr uint32_t CLIENT_LONG_PASSWORD = 0x00000001;
constexpr uint32_t CLIENT_FOUND_ROWS = 0x00000002;
constexpr uint32_t CLIENT_LONG_FLAG = 0x00000004;
constexpr uint32_t CLIENT_CONNECT_WITH_DB = 0x00000008;
constexpr uint32_t CLIENT_COMPRESS = 0x00000020;
constexpr uint32_t CLIENT_LOCAL_FILES = 0x00000080;
constexpr uint32_t CLIENT_PROTOCOL_41 = 0x00000200;
constexpr uint32_t CLIENT_INTERACTIVE = 0x00000400;
constexpr uint32_t CLIENT_SSL = 0x00000800;
constexpr uint32_t CLIENT_TRANSACTIONS = 0x00002000;
constexpr uint32_t CLIENT_SECURE_CONNECTION = 0x00008000;
constexpr uint32_t CLIENT_MULTI_STATEMENTS = 0x00010000;
constexpr uint32_t CLIENT_MULTI_RESULTS = 0x00020000;
constexpr uint32_t CLIENT_PLUGIN_AUTH = 0x00080000;
constexpr uint32_t kAlwaysSent = 0x3A285;
// Server status flags.
constexpr uint16_t SERVER_STATUS_IN_TRANS = 0x0001;
constexpr uint16_t SERVER_STATUS_AUTOCOMMIT = 0x0002;
constexpr uint16_t SERVER_MORE_RESULTS_EXISTS = 0x0008;
// Column flag added for numeric types.
constexpr uint16_t NUM_FLAG = 0x8000;
}  // namespace mysqlflag

// Options of mysql_options.
enum TMySqlOption {
  MYSQL_OPT_CONNECT_TIMEOUT = 0,
  MYSQL_OPT_NAMED_PIPE = 2,
  MYSQL_SET_CHARSET_NAME = 7,
  MYSQL_OPT_LOCAL_INFILE = 8,
  MYSQL_OPT_PROTOCOL = 9,
  MYSQL_OPT_READ_TIMEOUT = 11,
  MYSQL_OPT_WRITE_TIMEOUT = 12,
  // This client's own options, numbered apart from the C client's.
  // Integer: the largest joined payload accepted from the server (bytes).
  MYSQL_OPT_MAX_ALLOWED_PACKET = 1000,
  // Text: the authentication methods the session may use, a list of method
  // names separated by commas ("mysql_native_password,caching_sha2_password");
  // empty allows every method the client knows except the two that give the
  // password away: "dialog" (clear text) and "mysql_old_password" (the weak
  // pre-4.1 scramble), which are used only when the list names them.
  MYSQL_OPT_ALLOWED_AUTH_METHODS = 1001,
  // Text: the path of a PEM file with the server's RSA public key. Without a
  // secure link, the full authentication of caching_sha2_password and
  // sha256_password encrypts the password with this key.
  MYSQL_OPT_SERVER_PUBLIC_KEY = 1002,
  // Integer (0 or 1): whether, without a secure link and without a local key,
  // the password may be encrypted with the key the server itself sends. Off
  // by default: a peer posing as the server sends its own key and decrypts.
  MYSQL_OPT_GET_SERVER_PUBLIC_KEY = 1003,
  // Integer: a TSslMode (Preferred by default).
  MYSQL_OPT_SSL_MODE = 1004,
  // Text: PEM files of the trusted CAs, of the client's certificate and of
  // its key.
  MYSQL_OPT_SSL_CA = 1005,
  MYSQL_OPT_SSL_CERT = 1006,
  MYSQL_OPT_SSL_KEY = 1007,
};

enum class TAuthMethod { Native, Old, Sha256, CachingSha2, Windows, Gssapi, Dialog, Unknown };
TAuthMethod AuthMethodFromName(const std::string& pluginName);

// Version numbers from a server version text ("8.0.23", "5.5.5-10.3.7-MariaDB").
struct TServerVersion {
  int major = 0;
  int minor = 0;
  int release = 0;
  bool mariaDb = false;
};
TServerVersion ParseServerVersion(const std::string& text);

struct TMySqlFieldInfo {
  std::string name;
  std::string orgName;
  std::string table;
  std::string orgTable;
  std::string db;
  std::string def;
  uint32_t length = 0;
  uint32_t decimals = 0;
  uint32_t maxLength = 0;
  uint16_t flags = 0;
  uint16_t charsetNr = 0;
  uint8_t type = 0;
};

struct TMySqlBind {
  size_t offset = 0;
  size_t length = 0;
  bool isNull = false;
};
using TMySqlBinds = std::vector<TMySqlBind>;

class TMySqlSession;

class TMySqlResultSet {
 public:
  TMySqlResultSet(TMySqlSession* session, std::vector<TMySqlFieldInfo> fields);
  ~TMySqlResultSet();
  TMySqlResultSet(const TMySqlResultSet&) = delete;
  TMySqlResultSet& operator=(const TMySqlResultSet&) = delete;

  size_t FieldCount() const { return fields_.size(); }
  const std::vector<TMySqlFieldInfo>& Fields() const { return fields_; }
  bool Eof() const { return eof_; }
  // True when the rows ended by an error instead of the end marker: a fetch
  // that returns nothing is then a failure, whatever the error number.
  bool Failed() const { return failed_; }
  TMySqlSession* Session() const { return session_; }

  // The current row (valid until the next fetch).
  const TMySqlBinds& Binds() const { return binds_; }
  bool IsNull(size_t column) const { return binds_.at(column).isNull; }
  std::string_view Value(size_t column) const;

 private:
  friend class TMySQLAPIWire;
  friend class TMySqlSession;

  std::vector<TMySqlFieldInfo> fields_;
  const uint8_t* row_ = nullptr;
  TMySqlSession* session_;
  bool eof_ = false;
  bool failed_ = false;
  TMySqlBinds binds_;
};

// Answers a question of the "dialog" authentication method: the question
// type (2 or 3 ordinary, 4 or 5 password) and text.
using TDialogHandler = std::function<std::string(int type, const std::string& question)>;

// Makes the transport of a session instead of TCP (tests and tools).
using TVioFactory = std::function<std::unique_ptr<TVio>(const std::string& host, int port)>;

class TMySqlSession {
 public:
  TMySqlSession();
  ~TMySqlSession();
  TMySqlSession(const TMySqlSession&) = delete;
  TMySqlSession& operator=(const TMySqlSession&) = delete;

  bool readOneMoreOnFree = false;
  int errorCode = 0;
  std::string errorText;
  bool serverErrorFlag = false;
  uint32_t clientFlags = 0;
  uint8_t serverCharset = 0;
  std::string scramble;  // 20 bytes
  std::string authPluginName;
  uint8_t lastAnswerType = 0;
  TIPVersion ipVersion = TIPVersion::ivIPv4;
  TMySqlResultSet* resultSet = nullptr;  // the open result set, not owned
  TVioFactory vioFactory;
  TDialogHandler dialogHandler;
  TMySqlNet net;
  std::string host, user, password, database;
  std::string serverVersionText, hostInfo, infoText, charsetName;
  int port = 0;
  int connectTimeoutSeconds = 0;
  int readWriteTimeoutSeconds = 0;
  uint32_t threadId = 0;
  uint16_t serverStatus = 0;
  uint16_t warningCount = 0;
  uint8_t resultState = 0;  // 0 ready, 1 result set pending, 2 being read
  uint8_t protocol = 0;     // 0 default, 1 TCP, 3 named pipe, 4 memory, 5 SSL
  uint32_t serverCapabilities = 0;
  std::vector<TMySqlFieldInfo> pendingFields;
  uint64_t affectedRows = 0;
  uint64_t insertId = 0;
  uint64_t extra = 0;
  unsigned fieldCount = 0;
  // Files are sent for LOAD DATA LOCAL only when this is set (off by
  // default); otherwise the server's request is answered with an empty
  // packet and no file is opened.
  bool localInfileEnabled = false;
  // The authentication methods allowed (names as given to the option);
  // empty allows all. A greeting that names another method gets a response
  // for the first allowed one; a switch to another method, or a server that
  // only knows the old scramble, ends the connect with 2059 before anything
  // is sent for that method.
  std::vector<std::string> allowedAuthMethods;
  // The full authentication of caching_sha2_password and sha256_password
  // without a secure link: the password goes out only RSA-encrypted, with
  // the key in this PEM file when it is set, else with the key the server
  // sends when getServerPublicKey is set; otherwise the connect fails with
  // 2061 before the password is sent in any form.
  // Over TLS the full authentication sends the password in clear text inside
  // the encrypted link, when the server's certificate was verified
  // (VerifyCa, VerifyIdentity) or when getServerPublicKey is set (the shop
  // takes the server's word, and the password counts as exposed); over a
  // link whose server nobody checked it fails with 2061 as well.
  std::string serverPublicKeyFile;
  bool getServerPublicKey = false;
  // TLS: the mode, and the PEM files of the CAs, of the client's certificate
  // and of its key. Preferred encrypts when the server offers TLS; Required
  // and the verifying modes fail the connect with 2026 when it does not, or
  // when the handshake or the check of the server's certificate fails.
  TSslMode sslMode = TSslMode::Preferred;
  std::string sslCa, sslCert, sslKey;
  // Set by the connect: whether the link is encrypted, and whether the
  // server's certificate was checked against the CAs.
  bool tlsActive = false;
  bool tlsVerified = false;
  // Set by a connect when the password left the client in a form that a
  // peer posing as the server can read or easily reverse: in clear text (the
  // dialog method), encrypted with a key the server sent, or as the old
  // pre-4.1 scramble; also in clear text inside a TLS link whose server
  // nobody verified. The hashed scrambles of the native and caching SHA-2
  // methods, encryption with the local key and clear text inside a verified
  // TLS link do not set it. Cleared at the start of each connect.
  bool passwordExposed = false;
  bool closing = false;
  bool broken = false;  // a fatal error left the stream out of step

  bool Both41() const {
    return (clientFlags & mysqlflag::CLIENT_PROTOCOL_41) && (serverCapabilities & mysqlflag::CLIENT_PROTOCOL_41);
  }

  // The moment the current operation must be over by (TVio::kNoDeadline
  // when none) and the caller's stop request (empty when none). Both go to
  // the transport at once and to the transport of every later connect of
  // the session (see TVio::SetDeadline and TVio::SetInterrupt); a connect
  // ends by the earlier of this deadline and its own time-out.
  TVio::Clock::time_point Deadline() const { return deadline_; }
  void SetDeadline(TVio::Clock::time_point deadline);
  const std::function<bool()>& Interrupt() const { return interrupt_; }
  void SetInterrupt(std::function<bool()> interrupt);

 private:
  TVio::Clock::time_point deadline_ = TVio::kNoDeadline;
  std::function<bool()> interrupt_;
};

class TMySQLAPI {
 public:
  virtual ~TMySQLAPI() = default;
  virtual unsigned mysql_num_fields(const TMySqlResultSet* res) = 0;
  virtual const TMySqlFieldInfo* mysql_fetch_field_direct(const TMySqlResultSet* res, unsigned i) = 0;
  virtual unsigned mysql_field_count(TMySqlSession* s) = 0;
  virtual uint64_t mysql_affected_rows(TMySqlSession* s) = 0;
  virtual uint64_t mysql_insert_id(TMySqlSession* s) = 0;
  virtual int mysql_errno(TMySqlSession* s) = 0;
  virtual std::string mysql_error(TMySqlSession* s) = 0;
  virtual bool ServerErrorFlag(TMySqlSession* s) = 0;
  virtual std::string mysql_info(TMySqlSession* s) = 0;
  virtual uint32_t mysql_thread_id(TMySqlSession* s) = 0;
  virtual std::string mysql_character_set_name(TMySqlSession* s) = 0;
  virtual std::unique_ptr<TMySqlSession> mysql_init() = 0;
  virtual void mysql_ssl_set(TMySqlSession* s) = 0;
  virtual TMySqlSession* mysql_real_connect(TMySqlSession* s, const std::string& host, const std::string& user,
                                            const std::string& password, const std::string& db, int port,
                                            const std::string& unixSocket, uint32_t clientFlags) = 0;
  virtual void mysql_close(std::unique_ptr<TMySqlSession> s) = 0;
  virtual int mysql_select_db(TMySqlSession* s, const std::string& db) = 0;
  virtual int mysql_real_query(TMySqlSession* s, const char* query, size_t length) = 0;
  virtual int mysql_kill(TMySqlSession* s, uint32_t pid) = 0;
  virtual int mysql_ping(TMySqlSession* s) = 0;
  virtual std::string mysql_get_server_info(TMySqlSession* s) = 0;
  virtual std::string mysql_get_client_info() = 0;
  virtual std::string mysql_get_host_info(TMySqlSession* s) = 0;
  virtual std::unique_ptr<TMySqlResultSet> mysql_use_result(TMySqlSession* s) = 0;
  virtual int mysql_options(TMySqlSession* s, int option, int value) = 0;
  virtual int mysql_options(TMySqlSession* s, int option, const std::string& value) = 0;
  virtual void mysql_free_result(std::unique_ptr<TMySqlResultSet> res) = 0;
  virtual const TMySqlBinds* mysql_fetch_row(TMySqlResultSet* res) = 0;
  virtual const unsigned long* mysql_fetch_lengths(TMySqlResultSet* res) = 0;
  virtual int mysql_server_init() = 0;
  virtual int mysql_server_end() = 0;
  virtual bool mysql_more_results(TMySqlSession* s) = 0;
  virtual int mysql_next_result(TMySqlSession* s) = 0;
};

class TMySQLAPIWire : public TMySQLAPI {
 public:
  unsigned mysql_num_fields(const TMySqlResultSet* res) override;
  const TMySqlFieldInfo* mysql_fetch_field_direct(const TMySqlResultSet* res, unsigned i) override;
  unsigned mysql_field_count(TMySqlSession* s) override;
  uint64_t mysql_affected_rows(TMySqlSession* s) override;
  uint64_t mysql_insert_id(TMySqlSession* s) override;
  int mysql_errno(TMySqlSession* s) override;
  std::string mysql_error(TMySqlSession* s) override;
  bool ServerErrorFlag(TMySqlSession* s) override;
  std::string mysql_info(TMySqlSession* s) override;
  uint32_t mysql_thread_id(TMySqlSession* s) override;
  std::string mysql_character_set_name(TMySqlSession* s) override;
  std::unique_ptr<TMySqlSession> mysql_init() override;
  void mysql_ssl_set(TMySqlSession* s) override;
  TMySqlSession* mysql_real_connect(TMySqlSession* s, const std::string& host, const std::string& user,
                                    const std::string& password, const std::string& db, int port,
                                    const std::string& unixSocket, uint32_t clientFlags) override;
  void mysql_close(std::unique_ptr<TMySqlSession> s) override;
  int mysql_select_db(TMySqlSession* s, const std::string& db) override;
  int mysql_real_query(TMySqlSession* s, const char* query, size_t length) override;
  int mysql_query(TMySqlSession* s, const std::string& query) {
    return mysql_real_query(s, query.data(), query.size());
  }
  int mysql_kill(TMySqlSession* s, uint32_t pid) override;
  int mysql_ping(TMySqlSession* s) override;
  std::string mysql_get_server_info(TMySqlSession* s) override;
  std::string mysql_get_client_info() override;
  std::string mysql_get_host_info(TMySqlSession* s) override;
  std::unique_ptr<TMySqlResultSet> mysql_use_result(TMySqlSession* s) override;
  int mysql_options(TMySqlSession* s, int option, int value) override;
  int mysql_options(TMySqlSession* s, int option, const std::string& value) override;
  void mysql_free_result(std::unique_ptr<TMySqlResultSet> res) override;
  const TMySqlBinds* mysql_fetch_row(TMySqlResultSet* res) override;
  const unsigned long* mysql_fetch_lengths(TMySqlResultSet* res) override;
  int mysql_server_init() override;
  int mysql_server_end() override;
  bool mysql_more_results(TMySqlSession* s) override;
  int mysql_next_result(TMySqlSession* s) override;

 private:
  std::mutex queryLock_;
};

}  // namespace bilhetor
