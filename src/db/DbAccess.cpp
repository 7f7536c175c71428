#include "db/DbAccess.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace bilhetor {

namespace {

constexpr int kOneYearSeconds = 31536000;
constexpr uint16_t kUnsignedFlag = 0x20;

bool IsFatal(int code) { return code == 1053 || code == 2003 || code == 2006 || code == 2013; }

// Puts a deadline on the connection's session for as long as a statement
// runs. The session at the end is looked up again: a reconnect after an
// error may have replaced it, or left none.
class TStatementDeadline {
 public:
  TStatementDeadline(TDbConnection& connection, TVio::Clock::time_point deadline) : connection_(connection) {
    Set(deadline);
  }
  ~TStatementDeadline() { Set(TVio::kNoDeadline); }
  TStatementDeadline(const TStatementDeadline&) = delete;
  TStatementDeadline& operator=(const TStatementDeadline&) = delete;

 private:
  void Set(TVio::Clock::time_point deadline) const {
    TMySQLConnection* ic = connection_.Internal();
    if (ic && ic->Session()) ic->Session()->SetDeadline(deadline);
  }
  TDbConnection& connection_;
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads n digits at s[pos]; false when they are not all digits.
bool Digits(std::string_view s, size_t pos, size_t n, int& value) {
  if (pos + n > s.size()) return false;
  value = 0;
  for (size_t i = 0; i < n; ++i) {
    if (!IsDigit(s[pos + i])) return false;
    value = value * 10 + (s[pos + i] - '0');
  }
  return true;
}

bool ValidDate(int y, int m, int d) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (y < 1 || m < 1 || m > 12 || d < 1) return false;
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return d <= days[m - 1] + (m == 2 && leap ? 1 : 0);
}

// "HH:NN:SS[.ffffff]" with up to four hour digits, as a fraction of a day.
bool ParseTime(std::string_view s, const std::string& fieldName, double& value) {
  size_t pos = 0;
  bool negative = false;
  if (!s.empty() && s[0] == '-') {
    negative = true;
    pos = 1;
  }
  size_t hourDigits = 0;
  while (pos + hourDigits < s.size() && IsDigit(s[pos + hourDigits])) ++hourDigits;
  if (hourDigits > 4) throw EDatabaseError("Wrong time format at field " + fieldName);
  int h = 0, m = 0, sec = 0;
  if (hourDigits == 0 || !Digits(s, pos, hourDigits, h)) return false;
  pos += hourDigits;
  if (pos >= s.size() || s[pos] != ':' || !Digits(s, pos + 1, 2, m)) return false;
  pos += 3;
  if (pos >= s.size() || s[pos] != ':' || !Digits(s, pos + 1, 2, sec)) return false;
  pos += 3;
  double fraction = 0;
  if (pos < s.size() && s[pos] == '.') {
    double scale = 0.1;
    for (++pos; pos < s.size() && IsDigit(s[pos]); ++pos, scale /= 10) fraction += (s[pos] - '0') * scale;
  }
  if (pos != s.size() || m > 59 || sec > 59) return false;
  value = (h * 3600.0 + m * 60.0 + sec + fraction) / 86400.0;
  if (negative) value = -value;
  return true;
}

// Parses a decimal number with the given separator; false on any other
// character.
bool ParseNumber(std::string_view s, char separator, double& value) {
  std::string converted;
  if (separator != '.') {
    if (s.find('.') != std::string_view::npos) return false;
    converted.assign(s);
    std::replace(converted.begin(), converted.end(), separator, '.');
    s = converted;
  }
  const char* begin = s.data();
  const char* end = s.data() + s.size();
  if (begin != end && *begin == '+') ++begin;
  if (begin == end || *begin == '+') return false;
  // from_chars takes no hexadecimal, infinity or NaN forms without being told.
  for (const char* p = begin; p != end; ++p)
    if (!(IsDigit(*p) || *p == '.' || *p == '-' || *p == 'e' || *p == 'E' || *p == '+')) return false;
  const auto result = std::from_chars(begin, end, value);
  return result.ec == std::errc() && result.ptr == end;
}

bool ParseInteger(std::string_view s, int& value) {
  const std::string text = Trim(s);
  if (text.empty()) return false;
  const char* begin = text.data();
  const char* end = begin + text.size();
  if (*begin == '+') ++begin;
  const auto result = std::from_chars(begin, end, value);
  return result.ec == std::errc() && result.ptr == end;
}

}  // namespace

// --- dates and numbers ---

double EncodeDate(int year, int month, int day) {
  // Days from 0000-03-01, then relative to 1899-12-30.
  const int y = month <= 2 ? year - 1 : year;
  const int era = (y >= 0 ? y : y - 399) / 400;
  const int yoe = y - era * 400;
  const int mp = (month + 9) % 12;
  const int doy = (153 * mp + 2) / 5 + day - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const long days = static_cast<long>(era) * 146097 + doe - 719468;  // since 1970-01-01
  return static_cast<double>(days + 25569);
}

void DecodeDate(double value, int& year, int& month, int& day) {
  long z = static_cast<long>(std::floor(value)) - 25569 + 719468;
  const long era = (z >= 0 ? z : z - 146096) / 146097;
  const long doe = z - era * 146097;
  const long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
}

std::string FloatToText(double value, char decimalSeparator) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
  if (value == 0) return "0";
  // The shortest form that reads back as the value; when it needs more than
  // 15 significant digits, the value rounded to 15.
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific);
  std::string_view text(buf, static_cast<size_t>(r.ptr - buf));
  size_t e = text.find('e');
  if (e - (text[0] == '-' ? 1 : 0) - (text.find('.') != std::string_view::npos ? 1 : 0) > 15) {
    r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, 14);
    text = std::string_view(buf, static_cast<size_t>(r.ptr - buf));
    e = text.find('e');
  }
  int exponent = 0;
  std::from_chars(text.data() + e + (text[e + 1] == '+' ? 2 : 1), text.data() + text.size(), exponent);
  const bool negative = text[0] == '-';
  char digits[32];
  size_t count = 0;
  for (size_t i = negative ? 1 : 0; i < e; ++i)
    if (IsDigit(text[i])) digits[count++] = text[i];
  while (count > 1 && digits[count - 1] == '0') --count;
  std::string out;
  out.reserve(24);
  if (negative) out.push_back('-');
  if (exponent >= 15 || exponent < -5) {
    out.push_back(digits[0]);
    if (count > 1) {
      out.push_back(decimalSeparator);
      out.append(digits + 1, count - 1);
    }
    out.push_back('E');
    out += std::to_string(exponent);
    return out;
  }
  if (exponent < 0) {
    out.push_back('0');
    out.push_back(decimalSeparator);
    out.append(static_cast<size_t>(-exponent - 1), '0');
    out.append(digits, count);
    return out;
  }
  const size_t intDigits = static_cast<size_t>(exponent) + 1;
  if (count <= intDigits) {
    out.append(digits, count);
    out.append(intDigits - count, '0');
    return out;
  }
  out.append(digits, intDigits);
  out.push_back(decimalSeparator);
  out.append(digits + intDigits, count - intDigits);
  return out;
}

// --- TDbConnection ---

TDbConnection::~TDbConnection() {
  try {
    Disconnect();
  } catch (...) {
    // Closing while the process ends: nothing to report to.
  }
  for (TDbQuery* q : queries_) q->connection_ = nullptr;
}

void TDbConnection::SetServer(const std::string& value) {
  if (value == params_.server) return;
  Disconnect();
  params_.server = value;
}

void TDbConnection::SetPort(int value) {
  if (value == params_.port) return;
  Disconnect();
  params_.port = value;
}

void TDbConnection::SetUsername(const std::string& value) {
  if (value == params_.username) return;
  Disconnect();
  params_.username = value;
}

void TDbConnection::SetPassword(const std::string& value) {
  if (value == params_.password) return;
  Disconnect();
  params_.password = value;
}

void TDbConnection::SetDatabase(const std::string& value) {
  params_.database = Trim(value);
  if (connected_ && internal_ && !params_.database.empty()) {
    ArmSession();
    try {
      internal_->SelectDb(params_.database);
    } catch (const EDbError& e) {
      RaiseError(EDbError(e.ErrorCode(), e.Message(), this));
    }
  }
}

const std::string& TDbConnection::ServerVersion() const {
  static const std::string none;
  return internal_ ? internal_->ServerVersion() : none;
}

void TDbConnection::PrepareParams() {
  params_.options = SpecificOptions;
  params_.codePage = CodePage;
  params_.vioFactory = VioFactory;
  params_.interrupt = Interromper;
}

void TDbConnection::ArmSession() {
  if (internal_ && internal_->Session()) internal_->Session()->SetInterrupt(Interromper);
}

void TDbConnection::Connect() {
  if (connected_) return;
  internal_ = std::make_unique<TMySQLConnection>();
  PrepareParams();
  senhaExposta_ = false;
  try {
    internal_->Connect(params_);
    senhaExposta_ = internal_->PasswordExposed();
  } catch (const EDbError& e) {
    senhaExposta_ = internal_->PasswordExposed();
    internal_.reset();
    RaiseError(EDbError(e.ErrorCode(), e.Message(), this));
  }
  connected_ = true;
  if (AfterConnect) AfterConnect(*this);
}

void TDbConnection::Disconnect() {
  if (!connected_ && !internal_) return;
  CloseQueries();
  if (internal_) internal_->Disconnect();
  internal_.reset();
  connected_ = false;
}

void TDbConnection::CallOnError(const EDbError& error, bool& fail) {
  if (OnError) OnError(*this, error, fail);
}

void TDbConnection::RaiseError(const EDbError& error) {
  bool fail = true;
  CallOnError(error, fail);
  // A link the client closed is as lost as one the server dropped.
  const bool linkLost = IsFatal(error.ErrorCode()) || (internal_ && internal_->LinkBroken());
  if (linkLost && connected_ && Interrupted()) {
    // Stopping: no new link, the broken one is closed.
    try {
      Disconnect();
    } catch (...) {
      // A silent disconnect: its errors are not reported.
    }
  } else if (linkLost && connected_) {
    // One immediate reconnect with the current parameters; the statement
    // that failed is not repeated.
    try {
      if (internal_ && internal_->Session()) internal_->Session()->readWriteTimeoutSeconds = 1;
      if (internal_) internal_->Disconnect();
      if (!internal_) internal_ = std::make_unique<TMySQLConnection>();
      PrepareParams();
      internal_->Connect(params_);
      if (AfterConnect) AfterConnect(*this);
    } catch (const EDbError& again) {
      bool ignored = true;
      CallOnError(EDbError(again.ErrorCode(), again.Message(), this), ignored);
      try {
        Disconnect();
      } catch (...) {
        // A silent disconnect: its errors are not reported.
      }
    }
  }
  if (!fail) throw EAbort("Operation aborted");
  throw error;
}

void TDbConnection::Register(TDbQuery* q) {
  if (std::find(queries_.begin(), queries_.end(), q) == queries_.end()) queries_.push_back(q);
}

void TDbConnection::Unregister(TDbQuery* q) { queries_.erase(std::remove(queries_.begin(), queries_.end(), q), queries_.end()); }

void TDbConnection::CloseQueries() {
  for (TDbQuery* q : queries_) q->Close();
}

// --- TDbStrings ---

std::string TDbStrings::Text() const {
  std::string out;
  for (const auto& line : lines_) out += line + "\r\n";
  return out;
}

void TDbStrings::SetText(const std::string& text) {
  lines_.clear();
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines_.push_back(line);
    start = end + 1;
  }
}

// --- TDbField ---

TDbField::TDbField(const TDbQuery* query, size_t index, TMySqlFieldInfo column, TDbFieldKind kind)
    : query_(query), index_(index), column_(std::move(column)), kind_(kind), name_(column_.name) {}

void TDbField::Fault(const char* type) const {
  throw EDatabaseError(Format("Cannot access field '%s' as type %s", name_.c_str(), type));
}

bool TDbField::IsNull() const { return query_->CurrentCell(index_).null; }

std::string TDbField::AsString() const {
  const TDbQuery::Cell& c = query_->CurrentCell(index_);
  if (c.null) return "";
  switch (kind_) {
    case TDbFieldKind::Boolean: return c.i != 0 ? "True" : "False";
    case TDbFieldKind::Int8:
    case TDbFieldKind::UInt8:
    case TDbFieldKind::Int16:
    case TDbFieldKind::UInt16:
    case TDbFieldKind::Int32:
    case TDbFieldKind::UInt32:
    case TDbFieldKind::Int64:
      // BIGINT UNSIGNED holds values above 2^63.
      if (column_.flags & kUnsignedFlag) return std::to_string(static_cast<uint64_t>(c.i));
      return std::to_string(c.i);
    case TDbFieldKind::Float: return FloatToText(c.d);
    case TDbFieldKind::Date:
    case TDbFieldKind::Time:
    case TDbFieldKind::DateTime: {
      char out[24];
      size_t n = 0;
      const auto two = [&](long v) {
        out[n++] = static_cast<char>('0' + v / 10 % 10);
        out[n++] = static_cast<char>('0' + v % 10);
      };
      if (kind_ != TDbFieldKind::Time) {
        int y, m, d;
        DecodeDate(c.d, y, m, d);
        two(d);
        out[n++] = '/';
        two(m);
        out[n++] = '/';
        two(y / 100);
        two(y % 100);
      }
      const double fraction = std::fabs(c.d - std::trunc(c.d));
      const long seconds = std::lround(fraction * 86400.0) % 86400;
      if (kind_ == TDbFieldKind::Time || seconds != 0) {
        if (n > 0) out[n++] = ' ';
        two(seconds / 3600);
        out[n++] = ':';
        two(seconds / 60 % 60);
        out[n++] = ':';
        two(seconds % 60);
      }
      return std::string(out, n);
    }
    default: return std::string(query_->Text(c));
  }
}

int TDbField::AsInteger() const {
  const TDbQuery::Cell& c = query_->CurrentCell(index_);
  switch (kind_) {
    case TDbFieldKind::Int8:
    case TDbFieldKind::UInt8:
    case TDbFieldKind::Int16:
    case TDbFieldKind::UInt16:
    case TDbFieldKind::Int32:
    case TDbFieldKind::UInt32:
    case TDbFieldKind::Int64: return c.null ? 0 : static_cast<int>(static_cast<uint32_t>(c.i));
    case TDbFieldKind::Float: return c.null ? 0 : static_cast<int>(std::nearbyint(c.d));
    case TDbFieldKind::FixedString:
    case TDbFieldKind::String:
    case TDbFieldKind::Bytes: {
      const std::string text = c.null ? std::string() : std::string(query_->Text(c));
      int value = 0;
      if (!ParseInteger(text, value)) throw EConvertError(Format("'%s' is not a valid integer value", text.c_str()));
      return value;
    }
    default: Fault("Integer");
  }
}

double TDbField::AsFloat() const {
  const TDbQuery::Cell& c = query_->CurrentCell(index_);
  switch (kind_) {
    case TDbFieldKind::Int8:
    case TDbFieldKind::UInt8:
    case TDbFieldKind::Int16:
    case TDbFieldKind::UInt16:
    case TDbFieldKind::Int32:
    case TDbFieldKind::UInt32:
    case TDbFieldKind::Int64:
      if (c.null) return 0.0;
      if (column_.flags & kUnsignedFlag) return static_cast<double>(static_cast<uint64_t>(c.i));
      return static_cast<double>(c.i);
    case TDbFieldKind::Float:
    case TDbFieldKind::Date:
    case TDbFieldKind::Time:
    case TDbFieldKind::DateTime: return c.null ? 0.0 : c.d;
    case TDbFieldKind::FixedString:
    case TDbFieldKind::String:
    case TDbFieldKind::Bytes: {
      const std::string text = c.null ? std::string() : std::string(query_->Text(c));
      double value = 0;
      if (!ParseNumber(Trim(text), ',', value))
        throw EConvertError(Format("'%s' is not a valid floating point value", text.c_str()));
      return value;
    }
    default: Fault("Float");
  }
}

// --- TDbQuery ---

TDbQuery::TDbQuery(TDbConnection* connection) { SetConnection(connection); }

TDbQuery::~TDbQuery() {
  if (connection_) connection_->Unregister(this);
}

void TDbQuery::SetConnection(TDbConnection* connection) {
  if (connection_ == connection) return;
  Close();
  if (connection_) connection_->Unregister(this);
  connection_ = connection;
  if (connection_) connection_->Register(this);
}

void TDbQuery::Close() {
  active_ = false;
  fields_.clear();
  cells_.clear();
  heap_.clear();
  current_ = 0;
  recordCount_ = 0;
}

void TDbQuery::First() { current_ = 0; }

void TDbQuery::Next() {
  if (active_ && current_ < RecordCount()) ++current_;
}

TDbField* TDbQuery::FindField(const std::string& name) {
  for (auto& f : fields_)
    if (SameText(f->FieldName(), name)) return f.get();
  return nullptr;
}

TDbField& TDbQuery::FieldByName(const std::string& name) {
  TDbField* f = FindField(name);
  if (!f) throw EDatabaseError(Format("Field '%s' not found", name.c_str()));
  return *f;
}

const TDbQuery::Cell& TDbQuery::CurrentCell(size_t column) const {
  if (!active_ || current_ >= recordCount_) throw EDatabaseError("No current record");
  return cells_[static_cast<size_t>(current_) * fields_.size() + column];
}

void TDbQuery::Open() {
  if (!connection_) throw EDatabaseError("Connection is not defined");
  Close();
  RunStatement(true);
}

void TDbQuery::Execute() {
  if (!connection_) throw EDatabaseError("Connection is not defined");
  Close();
  RunStatement(false);
}

void TDbQuery::StoreValue(size_t column, const char* p, size_t n, bool isNull) {
  Cell& c = cells_.emplace_back();
  c.i = 0;
  c.null = isNull;
  if (isNull) return;
  const TDbField& f = *fields_[column];
  const std::string_view text(p, n);
  switch (f.Kind()) {
    case TDbFieldKind::Boolean:
    case TDbFieldKind::Int8:
    case TDbFieldKind::UInt8:
    case TDbFieldKind::Int16:
    case TDbFieldKind::UInt16:
    case TDbFieldKind::Int32:
    case TDbFieldKind::UInt32:
    case TDbFieldKind::Int64: {
      if (f.Column().type == 16) {
        // BIT values arrive as big-endian bytes.
        uint64_t v = 0;
        for (size_t i = 0; i < n && i < 8; ++i) v = (v << 8) | static_cast<uint8_t>(p[i]);
        c.i = static_cast<int64_t>(v);
        break;
      }
      size_t i = 0;
      const bool negative = n > 0 && p[0] == '-';
      if (negative) i = 1;
      uint64_t v = 0;
      for (; i < n && IsDigit(p[i]); ++i) v = v * 10 + static_cast<uint64_t>(p[i] - '0');
      c.i = negative ? -static_cast<int64_t>(v) : static_cast<int64_t>(v);
      if (f.Kind() == TDbFieldKind::Boolean) c.i = c.i != 0;
      break;
    }
    case TDbFieldKind::Float:
      if (!ParseNumber(text, '.', c.d))
        throw EConvertError(Format("'%s' is not a valid floating point value", std::string(text).c_str()));
      break;
    case TDbFieldKind::Date:
    case TDbFieldKind::DateTime: {
      int y = 0, m = 0, d = 0;
      double time = 0;
      bool ok;
      if (f.Column().type == 7 && f.Column().length >= 2 && f.Column().length <= 14) {
        // The compact TIMESTAMP forms of old servers, read by their width.
        const uint32_t w = f.Column().length;
        if (w % 2 != 0) throw EDatabaseError(Format("Invalid FIELD_TYPE_TIMESTAMP Field.Length (%d)", int(w)));
        const bool longYear = w == 8 || w == 14;
        const size_t yl = longYear ? 4 : 2;
        int hh = 0, nn = 0, ss = 0;
        m = d = 1;
        ok = Digits(text, 0, yl, y);
        if (!longYear) y += y < 70 ? 2000 : 1900;
        size_t pos = yl;
        for (int* part : {&m, &d, &hh, &nn, &ss}) {
          if (pos >= text.size() || pos >= w) break;
          ok = ok && Digits(text, pos, 2, *part);
          pos += 2;
        }
        time = (hh * 3600.0 + nn * 60.0 + ss) / 86400.0;
      } else {
        ok = text.size() >= 10 && Digits(text, 0, 4, y) && text[4] == '-' && Digits(text, 5, 2, m) &&
             text[7] == '-' && Digits(text, 8, 2, d);
        if (ok && f.Kind() == TDbFieldKind::DateTime && text.size() > 10)
          ok = text[10] == ' ' && ParseTime(text.substr(11), f.FieldName(), time) && time >= 0 && time < 1;
        else if (ok && text.size() != 10)
          ok = false;
      }
      // A zero or invalid date reads as NULL.
      if (!ok || !ValidDate(y, m, d)) {
        c.null = true;
        break;
      }
      c.d = EncodeDate(y, m, d) + time;
      break;
    }
    case TDbFieldKind::Time:
      if (!ParseTime(text, f.FieldName(), c.d)) c.null = true;
      break;
    default: {
      // Text of a character set other than binary (63) comes back in the
      // application's code page.
      const TMySQLConnection* ic = connection_->Internal();
      const bool convert = ic && ic->ConvertsText() && f.Column().charsetNr != 63 &&
                           (f.Kind() == TDbFieldKind::String || f.Kind() == TDbFieldKind::FixedString ||
                            f.Kind() == TDbFieldKind::Memo);
      std::string converted;
      if (convert) {
        converted = ic->FromServer(text);
        p = converted.data();
        n = converted.size();
      }
      if (heap_.size() + n > UINT32_MAX) throw EDatabaseError("Result too large to hold in memory");
      c.s.offset = static_cast<uint32_t>(heap_.size());
      heap_.append(p, n);
      if (f.Kind() == TDbFieldKind::FixedString && !TrimFixedChar) {
        const int perChar = connection_->Internal() ? connection_->Internal()->BytesPerChar() : 1;
        const size_t width = f.Column().length / static_cast<uint32_t>(std::max(1, perChar));
        if (n < width) heap_.append(width - n, ' ');
      }
      c.s.length = static_cast<uint32_t>(heap_.size() - c.s.offset);
      break;
    }
  }
}

void TDbQuery::RunStatement(bool wantRows) {
  if (!connection_->Connected()) {
    if (!connection_->Options.allowImplicitConnect) throw EDatabaseError("Connection is not connected");
    connection_->Connect();
  }
  TMySQLConnection* ic = connection_->Internal();
  TMySqlSession* s = ic->Session();
  TMySQLAPIWire& api = TMySQLConnection::Api();
  const auto fail = [&] { connection_->RaiseError(ic->LastError(connection_)); };

  int timeout = SpecificOptions.IntValue("CommandTimeout", 0);
  const bool limited = timeout > 0;
  if (!limited) timeout = kOneYearSeconds;
  api.mysql_options(s, MYSQL_OPT_READ_TIMEOUT, timeout);
  api.mysql_options(s, MYSQL_OPT_WRITE_TIMEOUT, timeout);
  connection_->ArmSession();
  // The time-out above bounds each wait; the deadline bounds the statement
  // as a whole, so that a server trickling its answer cannot hold it.
  const TStatementDeadline deadline(
      *connection_, limited ? TVio::Clock::now() + std::chrono::seconds(timeout) : TVio::kNoDeadline);
  const std::string text = ic->ToServer(SQL.Text());
  if (api.mysql_real_query(s, text.data(), text.size()) != 0) fail();

  if (api.mysql_field_count(s) == 0) {
    rowsAffected_ = api.mysql_affected_rows(s);
    while (api.mysql_more_results(s)) {
      if (api.mysql_next_result(s) > 0) fail();
      if (api.mysql_field_count(s) > 0) api.mysql_free_result(api.mysql_use_result(s));
    }
    if (wantRows) throw EDatabaseError("SQL statement doesn't return rows");
    return;
  }

  auto res = api.mysql_use_result(s);
  if (!res) fail();
  TDbQueryOptions options;
  options.enableBoolean = SpecificOptions.BoolValue("EnableBoolean", true);
  options.binaryAsString = SpecificOptions.BoolValue("BinaryAsString", true);
  options.optimizedBigint = connection_->SpecificOptions.BoolValue("OptimizedBigint", false);
  const bool fieldsAsString = SpecificOptions.BoolValue("FieldsAsString", false);
  try {
    for (size_t i = 0; i < res->FieldCount(); ++i) {
      TMySqlFieldInfo column = res->Fields()[i];
      const TDbFieldKind kind = fieldsAsString ? TDbFieldKind::String : FieldKindOf(column, options);
      if (ic->ConvertsText()) column.name = ic->FromServer(column.name);
      fields_.push_back(std::make_unique<TDbField>(this, i, column, kind));
    }
    const size_t n = fields_.size();
    while (const TMySqlBinds* row = api.mysql_fetch_row(res.get())) {
      for (size_t i = 0; i < n; ++i) {
        const std::string_view v = res->Value(i);
        StoreValue(i, v.data(), v.size(), (*row)[i].isNull);
      }
    }
  } catch (...) {
    api.mysql_free_result(std::move(res));
    Close();
    throw;
  }
  // The rows ended by an error, not by the end marker: a failure whatever
  // the error's number.
  if (res->Failed()) {
    api.mysql_free_result(std::move(res));
    Close();
    fail();
  }
  api.mysql_free_result(std::move(res));
  while (api.mysql_more_results(s)) {
    if (api.mysql_next_result(s) > 0) {
      Close();
      fail();
    }
    if (api.mysql_field_count(s) > 0) api.mysql_free_result(api.mysql_use_result(s));
  }
  recordCount_ = fields_.empty() ? 0 : static_cast<int>(cells_.size() / fields_.size());
  active_ = true;
  current_ = 0;
}

}  // namespace bilhetor
