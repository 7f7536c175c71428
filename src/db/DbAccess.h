#pragma once
// The connection and query components the application uses: TDbConnection
// (parameters, specific options, Connect / Disconnect, errors, the single
// immediate reconnect after a fatal error) and TDbQuery (SQL as lines, Open
// fetching every row into memory, Execute, the cursor and the fields with
// their AsString / AsInteger / AsFloat accessors).
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "db/MySqlProvider.h"

namespace bilhetor {

class TDbQuery;

struct TDbConnectionOptions {
  bool allowImplicitConnect = true;
  bool localFailover = false;
  bool disconnectedMode = false;
};

class TDbConnection {
 public:
  TDbConnection() = default;
  ~TDbConnection();
  TDbConnection(const TDbConnection&) = delete;
  TDbConnection& operator=(const TDbConnection&) = delete;

  std::string ProviderName;
  bool LoginPrompt = true;
  bool AutoCommit = true;
  bool Pooling = false;
  TDbConnectionOptions Options;
  TDbSpecificOptions SpecificOptions;
  // The system's ANSI code page, which picks the character set. It is also
  // the code page of the application's text: in UTF-8 mode (65001, or the
  // "UseUnicode" option) user name, password, database name and statement
  // text are converted from it to UTF-8, and result text and the server's
  // messages back to it.
  int CodePage = 1252;
  // Makes the transport instead of TCP (tests and tools); empty for TCP.
  TVioFactory VioFactory;
  // The application's stop request (empty: none). While it is set, every
  // wait of the session (connecting, sending a statement, reading its
  // answer) asks it first and then at least every 200 ms; once it returns
  // true the wait ends as a lost link does: the client closes the link and
  // the statement or Connect raises EDbError 2013 (2003 while the TCP
  // connect itself waits) with the socket's "Interrupted system call" text
  // (10004), and the automatic reconnect is skipped, leaving the connection
  // disconnected. It is handed to the session at each Connect, reconnect
  // and statement, so it may be set or changed at any time between them.
  // The library installs no signal handler: the application decides what a
  // stop is (a pending SIGTERM, for one). It is called on the thread that
  // runs the statement and must be cheap.
  std::function<bool()> Interromper;

  const std::string& Server() const { return params_.server; }
  int Port() const { return params_.port; }
  const std::string& Username() const { return params_.username; }
  const std::string& Password() const { return params_.password; }
  const std::string& Database() const { return params_.database; }
  // Changing one of these disconnects first.
  void SetServer(const std::string& value);
  void SetPort(int value);
  void SetUsername(const std::string& value);
  void SetPassword(const std::string& value);
  // Stored trimmed; an open session switches to a non-empty name at once.
  void SetDatabase(const std::string& value);

  void Connect();
  void Disconnect();
  bool Connected() const { return connected_; }
  // Whether the last Connect, failed or not, let the password out in a form
  // that whoever answered as the server can read or easily reverse: in clear
  // text (the dialog method, or a full authentication inside a TLS link
  // whose server certificate nobody verified, allowed by
  // "GetServerPublicKey"), encrypted with a key the server itself sent
  // ("GetServerPublicKey"), or as the old pre-4.1 scramble. It stays false
  // when the password went out only as the hashed scramble of the native or
  // caching SHA-2 method, encrypted with the configured "ServerPublicKey", in
  // clear text inside a TLS link to a verified server (SslMode VERIFY_CA or
  // VERIFY_IDENTITY), or not at all (the connect failed before that). A caller that tries
  // another password after a refusal should stop when this is true: that
  // password would go the same way.
  bool SenhaExposta() const { return senhaExposta_; }

  // Called with the error before it is raised; setting fail to false turns
  // the raise into a silent abort (EAbort).
  std::function<void(TDbConnection& sender, const EDbError& error, bool& fail)> OnError;
  std::function<void(TDbConnection& sender)> AfterConnect;

  TMySQLConnection* Internal() { return internal_.get(); }
  const std::string& ServerVersion() const;

  // Raises the session's error through the error handling, including the
  // reconnect after a fatal error: 1053, 2003, 2006, 2013, or any error
  // after which the client closed the link (2000, 2020, 2027, 1156, 1157
  // when the stream fell out of step). When Interromper already returns
  // true the link is not reconnected but closed.
  [[noreturn]] void RaiseError(const EDbError& error);

 private:
  friend class TDbQuery;
  bool Interrupted() const { return Interromper && Interromper(); }
  // The connect parameters from the properties and options as they are now.
  void PrepareParams();
  // Hands the current Interromper to the open session.
  void ArmSession();
  void Register(TDbQuery* q);
  void Unregister(TDbQuery* q);
  void CloseQueries();
  void CallOnError(const EDbError& error, bool& fail);

  TMySqlConnectParams params_;
  std::unique_ptr<TMySQLConnection> internal_;
  bool connected_ = false;
  bool senhaExposta_ = false;
  std::vector<TDbQuery*> queries_;
};

// A list of text lines (the SQL of a query).
class TDbStrings {
 public:
  void Clear() { lines_.clear(); }
  void Add(const std::string& line) { lines_.push_back(line); }
  size_t Count() const { return lines_.size(); }
  const std::string& operator[](size_t i) const { return lines_.at(i); }
  // The lines joined with line breaks.
  std::string Text() const;
  void SetText(const std::string& text);

 private:
  std::vector<std::string> lines_;
};

class TDbField {
 public:
  TDbField(const TDbQuery* query, size_t index, TMySqlFieldInfo column, TDbFieldKind kind);
  const std::string& FieldName() const { return name_; }
  TDbFieldKind Kind() const { return kind_; }
  const TMySqlFieldInfo& Column() const { return column_; }
  bool IsNull() const;
  std::string AsString() const;
  int AsInteger() const;
  double AsFloat() const;

 private:
  [[noreturn]] void Fault(const char* type) const;
  const TDbQuery* query_;
  size_t index_;
  TMySqlFieldInfo column_;
  TDbFieldKind kind_;
  std::string name_;
};

class TDbQuery {
 public:
  explicit TDbQuery(TDbConnection* connection = nullptr);
  ~TDbQuery();
  TDbQuery(const TDbQuery&) = delete;
  TDbQuery& operator=(const TDbQuery&) = delete;

  TDbConnection* Connection() const { return connection_; }
  void SetConnection(TDbConnection* connection);

  TDbStrings SQL;
  // "CommandTimeout" (seconds; 0, the default, for none): the limit of a
  // whole statement, from sending it to its last packet. When it passes the
  // client closes the link and the statement raises EDbError 2013 with the
  // socket's time-out text (10060), as any lost link does (the connection
  // then reconnects once). "EnableBoolean", "BinaryAsString" and
  // "FieldsAsString" pick the field kinds.
  TDbSpecificOptions SpecificOptions;
  int FetchRows = 25;
  bool TrimFixedChar = true;

  void Open();
  void Close();
  void Execute();
  void First();
  void Next();
  bool Eof() const { return !active_ || current_ >= RecordCount(); }
  bool Active() const { return active_; }
  int RecordCount() const { return recordCount_; }
  size_t FieldCount() const { return fields_.size(); }
  TDbField& Fields(size_t i) { return *fields_.at(i); }
  TDbField& FieldByName(const std::string& name);
  TDbField* FindField(const std::string& name);
  uint64_t RowsAffected() const { return rowsAffected_; }

  // One stored value: a number (integers, floats, dates as day counts) or
  // a run of the string heap.
  struct Cell {
    union {
      int64_t i;
      double d;
      struct {
        uint32_t offset;
        uint32_t length;
      } s;
    };
    bool null;
  };

 private:
  friend class TDbField;
  friend class TDbConnection;
  void RunStatement(bool wantRows);
  void StoreValue(size_t column, const char* p, size_t n, bool isNull);
  const Cell& CurrentCell(size_t column) const;
  std::string_view Text(const Cell& c) const { return {heap_.data() + c.s.offset, c.s.length}; }

  TDbConnection* connection_ = nullptr;
  bool active_ = false;
  std::vector<std::unique_ptr<TDbField>> fields_;
  std::vector<Cell> cells_;
  std::string heap_;
  int current_ = 0;
  int recordCount_ = 0;
  uint64_t rowsAffected_ = 0;
};

// TDateTime conversions (days since 1899-12-30, time as the fraction).
double EncodeDate(int year, int month, int day);
void DecodeDate(double value, int& year, int& month, int& day);
// General number format with up to 15 significant digits and the given
// decimal separator (2.5 -> "2,5", 2.0 -> "2", 1e20 -> "1E20").
std::string FloatToText(double value, char decimalSeparator = ',');

}  // namespace bilhetor
