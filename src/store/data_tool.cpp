#include "store/data_tool.h"

#include <ostream>

#include <sqlite3.h>

#include "app/program.h"
#include "store/schema.h"
#include "store/store.h"

namespace korvane {
namespace {

constexpr const char* kUsage =
    "usage: korvane-data create PATH [FIRST_LOGIN_PASSWORD]\n"
    "       korvane-data add-server PATH HOST PORT USER PASSWORD REMARK\n";

int Create(const std::vector<std::string>& arguments, std::ostream& err) {
  const std::string loginPassword = arguments.size() > 2 ? arguments[2] : kFirstLoginPassword;
  std::string error;
  if (!CreateDataFile(arguments[1], loginPassword, error)) {
    err << "korvane-data: " << error << "\n";
    return 1;
  }
  return 0;
}

// Same rule as the editor: an empty text is stored as null.
SqlValue TextOrNull(const std::string& text) {
  if (text.empty()) return std::monostate{};
  return text;
}

int AddServer(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
  const std::string& path = arguments[1];
  DBConnection connection;
  if (!connection.OpenAccess(path, kDatabasePassword)) {
    err << "korvane-data: " << path << ": not a data file of this program, or unreadable\n";
    return 1;
  }
  std::vector<SqlValue> values;
  for (size_t i = 2; i < 7; ++i) values.push_back(TextOrNull(arguments[i]));
  if (!connection.ExecuteSql(
          "INSERT INTO Server (服务器名, 端口, 用户名, 密码, 备注) VALUES (?, ?, ?, ?, ?)",
          values)) {
    err << "korvane-data: " << path << ": cannot add the server: "
        << sqlite3_errmsg(connection.Handle()) << "\n";
    return 1;
  }
  out << sqlite3_last_insert_rowid(connection.Handle()) << "\n";
  return 0;
}

}  // namespace

int RunDataTool(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
  const std::string command = arguments.empty() ? std::string() : arguments[0];
  if (command == "create" && (arguments.size() == 2 || arguments.size() == 3)) {
    return Create(arguments, err);
  }
  if (command == "add-server" && arguments.size() == 7) return AddServer(arguments, out, err);
  err << kUsage;
  return 2;
}

}  // namespace korvane
