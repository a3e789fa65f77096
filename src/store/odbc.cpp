#include "store/odbc.h"

#ifdef _WIN32
// mingw's sql.h is written to follow windows.h and names its basic types; windef.h gives
// those types and nothing of the Windows API.
#include <windef.h>
#endif
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <optional>

#include "crypto/crypto.h"

// The wide calls carry UTF-16 on both platforms: Windows' wchar_t, and unixODBC's own
// two-byte SQLWCHAR (not the four-byte wchar_t of Linux).
static_assert(sizeof(SQLWCHAR) == 2, "ODBC's wide characters are UTF-16 code units");

namespace korvane {

namespace {

using WideText = std::basic_string<SQLWCHAR>;

// Strict UTF-8 to UTF-16: nullopt for malformed, overlong or surrogate sequences, since a
// value the driver would see differently from what the caller holds must not reach it.
std::optional<WideText> ToWide(const std::string& text) {
  WideText wide;
  wide.reserve(text.size());
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* end = p + text.size();
  while (p < end) {
    unsigned lead = *p++;
    char32_t code;
    int more;
    char32_t least;
    if (lead < 0x80) { code = lead; more = 0; least = 0; }
    else if ((lead & 0xE0) == 0xC0) { code = lead & 0x1F; more = 1; least = 0x80; }
    else if ((lead & 0xF0) == 0xE0) { code = lead & 0x0F; more = 2; least = 0x800; }
    else if ((lead & 0xF8) == 0xF0) { code = lead & 0x07; more = 3; least = 0x10000; }
    else return std::nullopt;
    if (end - p < more) return std::nullopt;
    for (int i = 0; i < more; ++i) {
      if ((p[i] & 0xC0) != 0x80) return std::nullopt;
      code = (code << 6) | (p[i] & 0x3F);
    }
    p += more;
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return std::nullopt;
    if (code >= 0x10000) {
      code -= 0x10000;
      wide.push_back(static_cast<SQLWCHAR>(0xD800 + (code >> 10)));
      wide.push_back(static_cast<SQLWCHAR>(0xDC00 + (code & 0x3FF)));
    } else {
      wide.push_back(static_cast<SQLWCHAR>(code));
    }
  }
  return wide;
}

// UTF-16 from the driver to UTF-8; a lone surrogate, which no driver should send, becomes
// U+FFFD rather than ill-formed UTF-8.
std::string ToUtf8(const SQLWCHAR* text, std::size_t length) {
  std::string out;
  out.reserve(length);
  for (std::size_t i = 0; i < length; ++i) {
    char32_t code = text[i];
    if (code >= 0xD800 && code <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      code = 0x10000 + ((code - 0xD800) << 10) + (text[++i] - 0xDC00);
    } else if (code >= 0xD800 && code <= 0xDFFF) {
      code = 0xFFFD;
    }
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      out += static_cast<char>(0xE0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (code >> 18));
      out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  return out;
}

void WipeWide(WideText& text) {
  crypto::Wipe(text.data(), text.size() * sizeof(SQLWCHAR));
}

// Every diagnostic record of a handle after a failed call.
OdbcError Diagnose(SQLSMALLINT type, SQLHANDLE handle) {
  OdbcError error;
  for (SQLSMALLINT record = 1;; ++record) {
    SQLWCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    std::vector<SQLWCHAR> text(512);
    SQLRETURN rc = SQLGetDiagRecW(type, handle, record, state, &native, text.data(),
                                  static_cast<SQLSMALLINT>(text.size()), &length);
    if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(text.size())) {
      text.resize(static_cast<std::size_t>(length) + 1);
      rc = SQLGetDiagRecW(type, handle, record, state, &native, text.data(),
                          static_cast<SQLSMALLINT>(text.size()), &length);
    }
    if (!SQL_SUCCEEDED(rc)) break;
    if (error.sqlstate.empty()) error.sqlstate = ToUtf8(state, 5);
    if (!error.message.empty()) error.message += '\n';
    std::size_t size = std::min<std::size_t>(static_cast<std::size_t>(std::max<SQLSMALLINT>(length, 0)),
                                             text.size() - 1);
    // libpq ends its messages with a line break; the records are joined with one here.
    while (size > 0 && (text[size - 1] == '\n' || text[size - 1] == '\r' || text[size - 1] == ' ')) --size;
    error.message += ToUtf8(text.data(), size);
  }
  if (error.empty()) error.message = "the ODBC driver gave no reason";
  return error;
}

OdbcError LocalError(const char* message) { return OdbcError{"", message}; }

bool IsIntegerType(SQLSMALLINT type) {
  return type == SQL_INTEGER || type == SQL_SMALLINT || type == SQL_BIGINT || type == SQL_TINYINT;
}

}  // namespace

struct OdbcSession {
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  bool connected = false;
  bool autocommit = true;

  OdbcSession() = default;
  OdbcSession(const OdbcSession&) = delete;
  OdbcSession& operator=(const OdbcSession&) = delete;
  ~OdbcSession() {
    if (connected) {
      // A transaction left open is undone, never committed by the disconnect; a driver
      // refuses to disconnect inside one anyway.
      if (!autocommit) SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_ROLLBACK);
      SQLDisconnect(dbc);
    }
    if (dbc != SQL_NULL_HDBC) SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    if (env != SQL_NULL_HENV) SQLFreeHandle(SQL_HANDLE_ENV, env);
  }
};

OdbcConnection::OdbcConnection() = default;
OdbcConnection::~OdbcConnection() = default;

bool OdbcConnection::Connect(const std::string& connection_string, unsigned long loginTimeoutSeconds) {
  Disconnect();
  error_ = {};
  auto wide = ToWide(connection_string);
  if (!wide) {
    error_ = LocalError("the connection string is not UTF-8 text");
    return false;
  }
  auto session = std::make_shared<OdbcSession>();
  bool connected = false;
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &session->env))) {
    session->env = SQL_NULL_HENV;
    error_ = LocalError("the ODBC driver manager could not make an environment");
  } else if (!SQL_SUCCEEDED(SQLSetEnvAttr(session->env, SQL_ATTR_ODBC_VERSION,
                                          reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0))) {
    error_ = Diagnose(SQL_HANDLE_ENV, session->env);
  } else if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, session->env, &session->dbc))) {
    session->dbc = SQL_NULL_HDBC;
    error_ = Diagnose(SQL_HANDLE_ENV, session->env);
  } else if (loginTimeoutSeconds != 0 &&
             !SQL_SUCCEEDED(SQLSetConnectAttrW(session->dbc, SQL_ATTR_LOGIN_TIMEOUT,
                                               reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(loginTimeoutSeconds)),
                                               SQL_IS_UINTEGER))) {
    error_ = Diagnose(SQL_HANDLE_DBC, session->dbc);
  } else {
    SQLSMALLINT length = 0;
    SQLRETURN rc = SQLDriverConnectW(session->dbc, nullptr, wide->data(), SQL_NTS, nullptr, 0,
                                     &length, SQL_DRIVER_NOPROMPT);
    if (SQL_SUCCEEDED(rc)) {
      connected = true;
    } else {
      error_ = Diagnose(SQL_HANDLE_DBC, session->dbc);
    }
  }
  WipeWide(*wide);
  if (!connected) return false;
  session->connected = true;
  session_ = std::move(session);
  return true;
}

void OdbcConnection::Disconnect() { session_.reset(); }

bool OdbcConnection::IsConnected() const { return session_ != nullptr; }

bool OdbcConnection::SetAutoCommit(bool on) {
  error_ = {};
  if (!session_) {
    error_ = LocalError("not connected");
    return false;
  }
  auto value = on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF;
  if (!SQL_SUCCEEDED(SQLSetConnectAttrW(session_->dbc, SQL_ATTR_AUTOCOMMIT,
                                        reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(value)),
                                        SQL_IS_UINTEGER))) {
    error_ = Diagnose(SQL_HANDLE_DBC, session_->dbc);
    return false;
  }
  session_->autocommit = on;
  return true;
}

bool OdbcConnection::Commit() { return EndTransaction(true); }
bool OdbcConnection::Rollback() { return EndTransaction(false); }

bool OdbcConnection::EndTransaction(bool commit) {
  error_ = {};
  if (!session_) {
    error_ = LocalError("not connected");
    return false;
  }
  if (!SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, session_->dbc, commit ? SQL_COMMIT : SQL_ROLLBACK))) {
    error_ = Diagnose(SQL_HANDLE_DBC, session_->dbc);
    return false;
  }
  return true;
}

std::optional<long long> OdbcConnection::Execute(const std::string& sql,
                                                 const std::vector<SqlValue>& parameters) {
  error_ = {};
  OdbcStatement statement(*this);
  if (!statement.Prepare(sql) || !statement.Execute(parameters)) {
    error_ = statement.Error();
    return std::nullopt;
  }
  return statement.RowCount();
}

struct OdbcStatement::Impl {
  std::shared_ptr<OdbcSession> session;
  SQLHSTMT handle = SQL_NULL_HSTMT;
  // A bound value is read by the driver when the statement runs, so each one stays here,
  // at one address, until the next Execute.
  struct Bound {
    WideText text;
    SQLBIGINT integer = 0;
    SQLLEN indicator = 0;
  };
  std::vector<Bound> bound;
  std::vector<SQLSMALLINT> column_types;

  ~Impl() { Free(); }
  void Free() {
    if (handle != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, handle);
    handle = SQL_NULL_HSTMT;
    for (auto& value : bound) WipeWide(value.text);
    bound.clear();
    column_types.clear();
  }
};

OdbcStatement::OdbcStatement(OdbcConnection& connection) : impl_(std::make_unique<Impl>()) {
  impl_->session = connection.session_;
}

OdbcStatement::~OdbcStatement() = default;

bool OdbcStatement::Prepare(const std::string& sql) {
  error_ = {};
  impl_->Free();
  if (!impl_->session) {
    error_ = LocalError("not connected");
    return false;
  }
  auto wide = ToWide(sql);
  if (!wide) {
    error_ = LocalError("the statement is not UTF-8 text");
    return false;
  }
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, impl_->session->dbc, &impl_->handle))) {
    impl_->handle = SQL_NULL_HSTMT;
    error_ = Diagnose(SQL_HANDLE_DBC, impl_->session->dbc);
    return false;
  }
  if (!SQL_SUCCEEDED(SQLPrepareW(impl_->handle, wide->data(), SQL_NTS))) {
    error_ = Diagnose(SQL_HANDLE_STMT, impl_->handle);
    return false;
  }
  return true;
}

bool OdbcStatement::Execute(const std::vector<SqlValue>& parameters) {
  error_ = {};
  SQLHSTMT handle = impl_->handle;
  if (handle == SQL_NULL_HSTMT) {
    error_ = LocalError("no statement is prepared");
    return false;
  }
  SQLFreeStmt(handle, SQL_CLOSE);
  SQLFreeStmt(handle, SQL_RESET_PARAMS);
  for (auto& value : impl_->bound) WipeWide(value.text);
  impl_->bound.assign(parameters.size(), {});
  impl_->column_types.clear();
  for (std::size_t i = 0; i < parameters.size(); ++i) {
    auto& slot = impl_->bound[i];
    auto number = static_cast<SQLUSMALLINT>(i + 1);
    SQLRETURN rc;
    if (const auto* integer = std::get_if<long long>(&parameters[i])) {
      slot.integer = *integer;
      rc = SQLBindParameter(handle, number, SQL_PARAM_INPUT, SQL_C_SBIGINT, SQL_BIGINT, 0, 0,
                            &slot.integer, 0, &slot.indicator);
    } else if (const auto* text = std::get_if<std::string>(&parameters[i])) {
      auto wide = ToWide(*text);
      if (!wide) {
        error_ = LocalError("a bound value is not UTF-8 text");
        return false;
      }
      slot.text = std::move(*wide);
      slot.indicator = static_cast<SQLLEN>(slot.text.size() * sizeof(SQLWCHAR));
      rc = SQLBindParameter(handle, number, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR,
                            std::max<SQLULEN>(slot.text.size(), 1), 0, slot.text.data(),
                            slot.indicator, &slot.indicator);
    } else {
      slot.indicator = SQL_NULL_DATA;
      rc = SQLBindParameter(handle, number, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR, 1, 0,
                            nullptr, 0, &slot.indicator);
    }
    if (!SQL_SUCCEEDED(rc)) {
      error_ = Diagnose(SQL_HANDLE_STMT, handle);
      return false;
    }
  }
  SQLRETURN rc = SQLExecute(handle);
  // An UPDATE or DELETE that matched no row answers "no data": it still ran.
  if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) {
    error_ = Diagnose(SQL_HANDLE_STMT, handle);
    return false;
  }
  SQLSMALLINT columns = 0;
  if (!SQL_SUCCEEDED(SQLNumResultCols(handle, &columns))) {
    error_ = Diagnose(SQL_HANDLE_STMT, handle);
    return false;
  }
  for (SQLUSMALLINT column = 1; column <= columns; ++column) {
    // The name is not needed, but psqlODBC refuses a call without room for it.
    SQLWCHAR name[128];
    SQLSMALLINT name_length = 0, type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    if (!SQL_SUCCEEDED(SQLDescribeColW(handle, column, name, 128, &name_length, &type, &size,
                                       &digits, &nullable))) {
      error_ = Diagnose(SQL_HANDLE_STMT, handle);
      return false;
    }
    impl_->column_types.push_back(type);
  }
  return true;
}

long long OdbcStatement::RowCount() {
  SQLLEN rows = -1;
  if (impl_->handle == SQL_NULL_HSTMT || !SQL_SUCCEEDED(SQLRowCount(impl_->handle, &rows))) return -1;
  return rows;
}

OdbcStatement::Fetched OdbcStatement::Fetch(std::vector<SqlValue>& row) {
  error_ = {};
  row.clear();
  SQLHSTMT handle = impl_->handle;
  if (handle == SQL_NULL_HSTMT) {
    error_ = LocalError("no statement is prepared");
    return Fetched::kError;
  }
  SQLRETURN rc = SQLFetch(handle);
  if (rc == SQL_NO_DATA) return Fetched::kEnd;
  if (!SQL_SUCCEEDED(rc)) {
    error_ = Diagnose(SQL_HANDLE_STMT, handle);
    return Fetched::kError;
  }
  for (std::size_t i = 0; i < impl_->column_types.size(); ++i) {
    auto column = static_cast<SQLUSMALLINT>(i + 1);
    SQLLEN indicator = 0;
    if (IsIntegerType(impl_->column_types[i])) {
      SQLBIGINT value = 0;
      if (!SQL_SUCCEEDED(SQLGetData(handle, column, SQL_C_SBIGINT, &value, 0, &indicator))) {
        error_ = Diagnose(SQL_HANDLE_STMT, handle);
        return Fetched::kError;
      }
      if (indicator == SQL_NULL_DATA) {
        row.emplace_back();
      } else {
        row.emplace_back(static_cast<long long>(value));
      }
      continue;
    }
    // Text of any length arrives a piece at a time: each call fills the buffer (and its
    // terminator) and says "truncated" until the last piece.
    WideText text;
    SQLWCHAR piece[1024];
    constexpr SQLLEN kPieceChars = static_cast<SQLLEN>(sizeof(piece) / sizeof(SQLWCHAR)) - 1;
    bool is_null = false;
    for (;;) {
      rc = SQLGetData(handle, column, SQL_C_WCHAR, piece, sizeof(piece), &indicator);
      if (rc == SQL_NO_DATA) break;  // the calls before took all of it
      if (!SQL_SUCCEEDED(rc)) {
        error_ = Diagnose(SQL_HANDLE_STMT, handle);
        return Fetched::kError;
      }
      if (indicator == SQL_NULL_DATA) {
        is_null = true;
        break;
      }
      SQLLEN chars = indicator == SQL_NO_TOTAL ? kPieceChars
                                               : std::min(indicator / static_cast<SQLLEN>(sizeof(SQLWCHAR)), kPieceChars);
      text.append(piece, static_cast<std::size_t>(chars));
      if (rc == SQL_SUCCESS) break;
    }
    if (is_null) {
      row.emplace_back();
    } else {
      row.emplace_back(ToUtf8(text.data(), text.size()));
    }
  }
  return Fetched::kRow;
}

}  // namespace korvane
