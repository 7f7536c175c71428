#include "db/MySqlClient.h"

#include <cctype>
#include <fstream>

#include "db/MySqlClientInterno.h"

namespace bilhetor {

using namespace mysqlflag;
using namespace mysqlerr;
using mysqlinterno::Malformed;

namespace {

constexpr uint8_t COM_QUIT = 1;
constexpr uint8_t COM_INIT_DB = 2;
constexpr uint8_t COM_QUERY = 3;
constexpr uint8_t COM_PROCESS_KILL = 12;
constexpr uint8_t COM_PING = 14;
constexpr size_t kMaxColumns = 0xFFFF;
constexpr size_t kLocalInfileBlock = 8192;

bool IsFatal(const EMySqlException& e) {
  if (e.ServerErrorFlag()) return false;
  switch (e.ErrorCode()) {
    case CR_UNKNOWN_ERROR:
    case CR_SERVER_GONE_ERROR:
    case CR_SERVER_LOST:
    case CR_NET_PACKET_TOO_LARGE:
    case CR_MALFORMED_PACKET:
    case ER_NET_PACKETS_OUT_OF_ORDER:
    case ER_NET_UNCOMPRESS_ERROR:
      return true;
    default:
      return false;
  }
}

void ClearError(TMySqlSession* s) {
  s->errorCode = 0;
  s->errorText.clear();
  s->serverErrorFlag = false;
}

// Stores the error on the session. After an error that leaves the byte
// stream out of step the connection is closed: later commands then fail with
// "MySQL server has gone away" instead of reading stray bytes. The result is
// what the operation returns: never 0, which means success.
int StoreError(TMySqlSession* s, const EMySqlException& e) {
  s->errorCode = e.ErrorCode();
  s->errorText = e.Message();
  s->serverErrorFlag = e.ServerErrorFlag();
  if (e.ServerErrorFlag() && s->resultState == 2) s->resultState = 0;
  if (IsFatal(e)) {
    s->broken = true;
    s->resultState = 0;
    if (s->net.Vio()) s->net.Vio()->Close();
  }
  return e.ErrorCode() != 0 ? e.ErrorCode() : CR_UNKNOWN_ERROR;
}

EMySqlException OutOfSync(TMySqlSession* s, bool withState) {
  return EMySqlException::Create(CR_COMMANDS_OUT_OF_SYNC,
                                 withState ? "mysql.status = " + std::to_string(s->resultState) : std::string());
}

// A reader over one received packet (column definitions).
class TPacketReader {
 public:
  TPacketReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  std::string LenEncString() {
    const uint64_t len = TMySqlNet::DecodeLenEnc(data_, size_, pos_);
    if (len == 0) return "";
    if (len > size_ - pos_) Malformed();
    std::string s(reinterpret_cast<const char*>(data_ + pos_), static_cast<size_t>(len));
    pos_ += static_cast<size_t>(len);
    return s;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

uint32_t LE(const std::string& s, size_t at, size_t bytes) {
  if (at + bytes > s.size()) Malformed();
  uint32_t v = 0;
  for (size_t i = bytes; i-- > 0;) v = (v << 8) | static_cast<uint8_t>(s[at + i]);
  return v;
}

TMySqlFieldInfo ParseColumn(TMySqlSession* s, const TByteBuffer& packet) {
  TPacketReader r(packet.Data(), packet.Size());
  TMySqlFieldInfo f;
  if (s->Both41()) {
    r.LenEncString();  // catalog
    f.db = r.LenEncString();
    f.table = r.LenEncString();
    f.orgTable = r.LenEncString();
    f.name = r.LenEncString();
    f.orgName = r.LenEncString();
    const std::string fixed = r.LenEncString();
    f.charsetNr = static_cast<uint16_t>(LE(fixed, 0, 2));
    f.length = LE(fixed, 2, 4);
    f.type = static_cast<uint8_t>(LE(fixed, 6, 1));
    f.flags = static_cast<uint16_t>(LE(fixed, 7, 2));
    f.decimals = LE(fixed, 9, 1);
  } else {
    f.table = r.LenEncString();
    f.name = r.LenEncString();
    f.length = LE(r.LenEncString(), 0, 3);
    f.type = static_cast<uint8_t>(LE(r.LenEncString(), 0, 1));
    const std::string flags = r.LenEncString();
    if (s->serverCapabilities & CLIENT_LONG_FLAG) {
      f.flags = static_cast<uint16_t>(LE(flags, 0, 2));
      f.decimals = LE(flags, 2, 1);
    } else {
      f.flags = static_cast<uint16_t>(LE(flags, 0, 1));
      f.decimals = LE(flags, 1, 1);
    }
  }
  const bool numeric = (f.type <= 9 && (f.type != 7 || f.length == 14 || f.length == 8)) || f.type == 13;
  if (numeric) f.flags |= NUM_FLAG;
  return f;
}

bool IsEndMarker(const uint8_t* data, size_t size) { return size > 0 && size <= 8 && data[0] == 0xFE; }

void ReadEndMarker(TMySqlSession* s, const uint8_t* data, size_t size) {
  if (size >= 3) s->warningCount = static_cast<uint16_t>(data[1] | (data[2] << 8));
  if (size >= 5) s->serverStatus = static_cast<uint16_t>(data[3] | (data[4] << 8));
}

void ReadColumnDefinitions(TMySqlSession* s, size_t n) {
  TMySqlNet& net = s->net;
  net.SetRingSize(n + 1);
  for (size_t i = 0; i <= n; ++i) {
    net.ReadPacket();
    const bool end = IsEndMarker(net.Data(), net.Size());
    if (end != (i == n)) throw EMySqlException::Create(CR_UNKNOWN_ERROR);
  }
  ReadEndMarker(s, net.Data(), net.Size());
  std::vector<TMySqlFieldInfo> fields;
  fields.reserve(n);
  for (size_t i = 0; i < n; ++i) fields.push_back(ParseColumn(s, net.Received(i)));
  s->pendingFields = std::move(fields);
  net.SetRingSize(1);
}

void SendLocalFile(TMySqlSession* s, const std::string& fileName) {
  TMySqlNet& net = s->net;
  if (s->localInfileEnabled) {
    std::ifstream in(fileName, std::ios::binary);
    char block[kLocalInfileBlock];
    while (in) {
      in.read(block, sizeof block);
      const auto got = static_cast<size_t>(in.gcount());
      if (got == 0) break;
      net.ResetWriteBuffer();
      net.WriteRaw(block, got);
      net.Flush();
    }
  }
  net.ResetWriteBuffer();
  net.SendEmptyPacket();
}

void ReadAnswerHeader(TMySqlSession* s) {
  TMySqlNet& net = s->net;
  s->serverStatus = SERVER_STATUS_AUTOCOMMIT;
  net.ReadPacket();
  while (true) {
    size_t pos = 0;
    bool localFile = false;
    const uint64_t count = TMySqlNet::DecodeLenEnc(net.Data(), net.Size(), pos, &localFile);
    if (count == 0 && !localFile) {
      net.SetPosition(pos);
      s->affectedRows = net.ReadLenEnc();
      s->insertId = net.ReadLenEnc();
      if (s->Both41() || (s->serverCapabilities & CLIENT_TRANSACTIONS)) s->serverStatus = net.ReadInt2();
      if (s->Both41()) s->warningCount = net.ReadInt2();
      s->infoText = net.ReadZString();
      s->fieldCount = 0;
      s->pendingFields.clear();
      return;
    }
    if (localFile) {
      const std::string fileName(reinterpret_cast<const char*>(net.Data() + pos), net.Size() - pos);
      SendLocalFile(s, fileName);
      net.ReadPacket();
      continue;
    }
    if (count > kMaxColumns) Malformed();
    if (pos < net.Size()) {
      net.SetPosition(pos);
      s->extra = net.ReadLenEnc();
    }
    ReadColumnDefinitions(s, static_cast<size_t>(count));
    s->fieldCount = static_cast<unsigned>(count);
    s->resultState = 1;
    s->warningCount = 0;
    return;
  }
}

void SimpleCommand(TMySqlSession* s, uint8_t command, const void* data, size_t length, bool expectAnswer) {
  TMySqlNet& net = s->net;
  if (!net.Vio() || s->broken) throw EMySqlException::Create(CR_SERVER_GONE_ERROR);
  net.Vio()->SetReceiveTimeout(s->readWriteTimeoutSeconds);
  if (s->resultState != 0) throw OutOfSync(s, false);
  s->infoText.clear();
  s->affectedRows = 0;
  net.ResetForCommand();
  net.WriteByte(command);
  if (length) net.WriteRun(data, length);
  net.Flush();
  if (expectAnswer) net.ReadPacket();
}

}  // namespace

// --- server version ---

TServerVersion ParseServerVersion(const std::string& text) {
  TServerVersion v;
  std::string t = text;
  if (t.find("5.5.5-") != std::string::npos && t.size() > 6 && std::isdigit(static_cast<unsigned char>(t[6])))
    t = t.substr(6);
  v.mariaDb = text.find("MariaDB") != std::string::npos;
  const size_t dot = t.find('.');
  v.major = StrToIntDef(t.substr(0, dot), 0);
  if (dot == std::string::npos) return v;
  size_t i = dot + 1;
  size_t start = i;
  while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) ++i;
  v.minor = StrToIntDef(t.substr(start, i - start), 0);
  if (i >= t.size()) return v;
  start = ++i;
  while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) ++i;
  v.release = StrToIntDef(t.substr(start, i - start), 0);
  return v;
}

// --- result set ---

TMySqlResultSet::TMySqlResultSet(TMySqlSession* session, std::vector<TMySqlFieldInfo> fields)
    : fields_(std::move(fields)), session_(session), binds_(fields_.size()) {}

TMySqlResultSet::~TMySqlResultSet() {
  if (session_ && session_->resultSet == this) session_->resultSet = nullptr;
}

std::string_view TMySqlResultSet::Value(size_t column) const {
  const TMySqlBind& b = binds_.at(column);
  if (b.isNull || !row_) return {};
  return {reinterpret_cast<const char*>(row_ + b.offset), b.length};
}

// --- session ---

TMySqlSession::TMySqlSession() : scramble(20, '\0') {}

TMySqlSession::~TMySqlSession() {
  if (resultSet) resultSet->session_ = nullptr;
}

void TMySqlSession::SetDeadline(TVio::Clock::time_point deadline) {
  deadline_ = deadline;
  if (net.Vio()) net.Vio()->SetDeadline(deadline);
}

void TMySqlSession::SetInterrupt(std::function<bool()> interrupt) {
  interrupt_ = std::move(interrupt);
  if (net.Vio()) net.Vio()->SetInterrupt(interrupt_);
}

// --- operations ---

unsigned TMySQLAPIWire::mysql_num_fields(const TMySqlResultSet* res) {
  return res ? static_cast<unsigned>(res->FieldCount()) : 0;
}

const TMySqlFieldInfo* TMySQLAPIWire::mysql_fetch_field_direct(const TMySqlResultSet* res, unsigned i) {
  if (!res || i >= res->FieldCount()) return nullptr;
  return &res->Fields()[i];
}

unsigned TMySQLAPIWire::mysql_field_count(TMySqlSession* s) { return s->fieldCount; }
uint64_t TMySQLAPIWire::mysql_affected_rows(TMySqlSession* s) { return s->affectedRows; }
uint64_t TMySQLAPIWire::mysql_insert_id(TMySqlSession* s) { return s->insertId; }
int TMySQLAPIWire::mysql_errno(TMySqlSession* s) { return s->errorCode; }
std::string TMySQLAPIWire::mysql_error(TMySqlSession* s) { return s->errorText; }
bool TMySQLAPIWire::ServerErrorFlag(TMySqlSession* s) { return s->serverErrorFlag; }
std::string TMySQLAPIWire::mysql_info(TMySqlSession* s) { return s->infoText; }
uint32_t TMySQLAPIWire::mysql_thread_id(TMySqlSession* s) { return s->threadId; }

std::string TMySQLAPIWire::mysql_character_set_name(TMySqlSession*) { throw Exception("not supported"); }

std::unique_ptr<TMySqlSession> TMySQLAPIWire::mysql_init() { return std::make_unique<TMySqlSession>(); }

void TMySQLAPIWire::mysql_ssl_set(TMySqlSession* s) {
  if (s->sslMode < TSslMode::Required) s->sslMode = TSslMode::Required;
}

TMySqlSession* TMySQLAPIWire::mysql_real_connect(TMySqlSession* s, const std::string& host, const std::string& user,
                                                 const std::string& password, const std::string& db, int port,
                                                 const std::string& /*unixSocket*/, uint32_t clientFlags) {
  ClearError(s);
  if (!host.empty()) s->host = host;
  if (!user.empty()) s->user = user;
  if (!password.empty()) s->password = password;
  if (!db.empty()) s->database = db;
  if (port != 0) s->port = port;
  try {
    mysqlinterno::Connect(s, clientFlags);
    return s;
  } catch (const EMySqlException& e) {
    StoreError(s, e);
    s->net.Close();
    return nullptr;
  }
}

void TMySQLAPIWire::mysql_close(std::unique_ptr<TMySqlSession> s) {
  if (!s) return;
  if (!s->closing) {
    s->closing = true;
    s->resultState = 0;
    try {
      if (s->net.Vio() && !s->broken) SimpleCommand(s.get(), COM_QUIT, nullptr, 0, false);
    } catch (const Exception&) {
      // The server may be gone already; the session is closed anyway.
    }
    s->net.Close();
  }
  if (s->resultSet) {
    s->resultSet->session_ = nullptr;
    s->resultSet = nullptr;
  }
}

int TMySQLAPIWire::mysql_select_db(TMySqlSession* s, const std::string& db) {
  ClearError(s);
  try {
    SimpleCommand(s, COM_INIT_DB, db.data(), db.size(), true);
    s->database = db;
    return 0;
  } catch (const EMySqlException& e) {
    return StoreError(s, e);
  }
}

int TMySQLAPIWire::mysql_real_query(TMySqlSession* s, const char* query, size_t length) {
  ClearError(s);
  try {
    {
      std::lock_guard<std::mutex> guard(queryLock_);
      SimpleCommand(s, COM_QUERY, query, length, false);
    }
    ReadAnswerHeader(s);
    return 0;
  } catch (const EMySqlException& e) {
    return StoreError(s, e);
  }
}

int TMySQLAPIWire::mysql_kill(TMySqlSession* s, uint32_t pid) {
  ClearError(s);
  try {
    uint8_t id[4] = {static_cast<uint8_t>(pid), static_cast<uint8_t>(pid >> 8), static_cast<uint8_t>(pid >> 16),
                     static_cast<uint8_t>(pid >> 24)};
    SimpleCommand(s, COM_PROCESS_KILL, id, sizeof id, true);
    return 0;
  } catch (const EMySqlException& e) {
    return StoreError(s, e);
  }
}

int TMySQLAPIWire::mysql_ping(TMySqlSession* s) {
  ClearError(s);
  try {
    SimpleCommand(s, COM_PING, nullptr, 0, true);
    return 0;
  } catch (const EMySqlException& e) {
    return StoreError(s, e);
  }
}

std::string TMySQLAPIWire::mysql_get_server_info(TMySqlSession* s) { return s->serverVersionText; }
std::string TMySQLAPIWire::mysql_get_client_info() { return "8.0.0 Wire"; }
std::string TMySQLAPIWire::mysql_get_host_info(TMySqlSession* s) { return s->hostInfo; }

std::unique_ptr<TMySqlResultSet> TMySQLAPIWire::mysql_use_result(TMySqlSession* s) {
  ClearError(s);
  if (s->pendingFields.empty()) return nullptr;
  if (s->resultState != 1) {
    StoreError(s, OutOfSync(s, true));
    return nullptr;
  }
  auto res = std::make_unique<TMySqlResultSet>(s, std::move(s->pendingFields));
  s->pendingFields.clear();
  s->resultSet = res.get();
  s->resultState = 2;
  return res;
}

int TMySQLAPIWire::mysql_options(TMySqlSession* s, int option, int value) {
  switch (option) {
    case MYSQL_OPT_CONNECT_TIMEOUT: s->connectTimeoutSeconds = value; break;
    case MYSQL_OPT_NAMED_PIPE: s->protocol = 3; break;
    case MYSQL_OPT_LOCAL_INFILE: s->localInfileEnabled = value != 0; break;
    case MYSQL_OPT_GET_SERVER_PUBLIC_KEY: s->getServerPublicKey = value != 0; break;
    case MYSQL_OPT_SSL_MODE:
      if (value < static_cast<int>(TSslMode::Disabled) || value > static_cast<int>(TSslMode::VerifyIdentity)) return 1;
      s->sslMode = static_cast<TSslMode>(value);
      break;
    case MYSQL_OPT_PROTOCOL: s->protocol = static_cast<uint8_t>(value); break;
    case MYSQL_OPT_READ_TIMEOUT:
    case MYSQL_OPT_WRITE_TIMEOUT: s->readWriteTimeoutSeconds = value; break;
    case MYSQL_OPT_MAX_ALLOWED_PACKET:
      if (value <= 0) return 1;
      s->net.SetMaxPacketSize(static_cast<size_t>(value));
      break;
    default: break;
  }
  return 0;
}

int TMySQLAPIWire::mysql_options(TMySqlSession* s, int option, const std::string& value) {
  if (option == MYSQL_SET_CHARSET_NAME) s->charsetName = value;
  if (option == MYSQL_OPT_SERVER_PUBLIC_KEY) s->serverPublicKeyFile = value;
  if (option == MYSQL_OPT_SSL_CA) s->sslCa = value;
  if (option == MYSQL_OPT_SSL_CERT) s->sslCert = value;
  if (option == MYSQL_OPT_SSL_KEY) s->sslKey = value;
  if (option == MYSQL_OPT_ALLOWED_AUTH_METHODS) {
    std::vector<std::string> names;
    size_t start = 0;
    while (start <= value.size()) {
      size_t end = value.find(',', start);
      if (end == std::string::npos) end = value.size();
      const std::string name = Trim(value.substr(start, end - start));
      // A name the client does not know would never match: refuse the list
      // rather than connect with fewer methods than the caller meant.
      if (!name.empty() && AuthMethodFromName(name) == TAuthMethod::Unknown) return 1;
      if (!name.empty()) names.push_back(name);
      start = end + 1;
    }
    s->allowedAuthMethods = std::move(names);
  }
  return 0;
}

void TMySQLAPIWire::mysql_free_result(std::unique_ptr<TMySqlResultSet> res) {
  if (!res) return;
  TMySqlSession* s = res->session_;
  res->fields_.clear();
  if (!s) return;
  s->resultSet = nullptr;
  res->session_ = nullptr;
  if (s->resultState != 0 && !s->closing && !s->broken) {
    try {
      TMySqlNet& net = s->net;
      while (true) {
        if (net.CompressOn()) {
          net.ReadPacket();
          if (IsEndMarker(net.Data(), net.Size())) {
            ReadEndMarker(s, net.Data(), net.Size());
            break;
          }
        } else {
          // The end marker is a packet of at most 8 bytes in all; a row
          // joined from several parts is never one, whatever its last part.
          uint8_t first = 0;
          const size_t len = net.SkipPacket(first);
          if (len > 0 && len <= 8 && first == 0xFE) {
            // The status of the end marker tells whether more results follow.
            ReadEndMarker(s, net.SkipData(), len);
            break;
          }
        }
      }
      if (s->readOneMoreOnFree) net.ReadPacket();
    } catch (const EMySqlException& e) {
      if (IsFatal(e)) StoreError(s, e);
    }
  }
  s->resultState = 0;
}

const TMySqlBinds* TMySQLAPIWire::mysql_fetch_row(TMySqlResultSet* res) {
  if (!res || res->eof_) return nullptr;
  TMySqlSession* s = res->session_;
  if (!s) {
    // The session was closed under the result: the rows did not end.
    res->failed_ = true;
    return nullptr;
  }
  TMySqlNet& net = s->net;
  try {
    if (s->broken) throw EMySqlException::Create(CR_SERVER_GONE_ERROR);
    net.ReadPacket();
    const uint8_t* d = net.Data();
    const size_t size = net.Size();
    if (IsEndMarker(d, size)) {
      ReadEndMarker(s, d, size);
      s->resultState = 0;
      res->eof_ = true;
      return nullptr;
    }
    size_t pos = 0;
    for (TMySqlBind& b : res->binds_) {
      if (pos >= size) Malformed();
      const uint8_t marker = d[pos];
      uint64_t len;
      if (marker < 251) {
        len = marker;
        ++pos;
      } else if (marker == 251) {
        b.offset = pos + 1;
        b.length = 0;
        b.isNull = true;
        ++pos;
        continue;
      } else {
        len = TMySqlNet::DecodeLenEnc(d, size, pos);
      }
      if (len > size - pos) Malformed();
      b.offset = pos;
      b.length = static_cast<size_t>(len);
      b.isNull = false;
      pos += static_cast<size_t>(len);
    }
    res->row_ = d;
    return &res->binds_;
  } catch (const EMySqlException& e) {
    ClearError(s);
    StoreError(s, e);
    s->resultState = 0;
    res->eof_ = true;
    res->failed_ = true;
    res->row_ = nullptr;
    return nullptr;
  }
}

const unsigned long* TMySQLAPIWire::mysql_fetch_lengths(TMySqlResultSet*) { return nullptr; }
int TMySQLAPIWire::mysql_server_init() { return 0; }
int TMySQLAPIWire::mysql_server_end() { return 0; }

bool TMySQLAPIWire::mysql_more_results(TMySqlSession* s) {
  return (s->serverStatus & SERVER_MORE_RESULTS_EXISTS) != 0;
}

int TMySQLAPIWire::mysql_next_result(TMySqlSession* s) {
  ClearError(s);
  if (s->resultState != 0) return StoreError(s, OutOfSync(s, true));
  s->affectedRows = ~uint64_t{0};
  if (!(s->serverStatus & SERVER_MORE_RESULTS_EXISTS)) return -1;
  try {
    if (s->broken) throw EMySqlException::Create(CR_SERVER_GONE_ERROR);
    ReadAnswerHeader(s);
    return 0;
  } catch (const EMySqlException& e) {
    return StoreError(s, e);
  }
}

}  // namespace bilhetor
