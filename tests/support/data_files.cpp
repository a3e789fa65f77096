#include "support/data_files.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <fstream>
#include <random>

#include "datatool/messages.h"
#include "store/schema.h"

namespace korvane::testing {

std::string Utf8(const std::filesystem::path& path) {
  const auto text = path.u8string();
  return std::string(text.begin(), text.end());
}

TempDir::TempDir(const std::string& name) {
  // Tests run in parallel processes: the name must differ between processes too.
  static std::atomic<int> counter{0};
  static const unsigned processUnique = std::random_device{}();
  const std::string unique = name + " " + std::to_string(processUnique) + "-" + std::to_string(counter++);
  path_ = std::filesystem::temp_directory_path() / std::filesystem::u8path(unique);
  std::filesystem::remove_all(path_);
  std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::File(const std::string& name) const { return Utf8(path_ / std::filesystem::u8path(name)); }

void MakeDataFile(const std::string& path, const std::string& loginPassword) {
  StoreError error;
  ASSERT_TRUE(CreateDataFile(path, loginPassword, error)) << path << ": " << tool::Say(error);
}

void RunSql(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK) << path;
  char* error = nullptr;
  const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
  EXPECT_EQ(rc, SQLITE_OK) << sql << ": " << (error ? error : "");
  sqlite3_free(error);
  sqlite3_close(db);
}

long long AddServer(const std::string& path, std::optional<std::string> host, std::optional<std::string> port,
                    std::optional<std::string> user, std::optional<std::string> password,
                    std::optional<std::string> remark) {
  sqlite3* db = nullptr;
  EXPECT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK) << path;
  sqlite3_stmt* statement = nullptr;
  EXPECT_EQ(sqlite3_prepare_v2(db, "insert into Server (服务器名, 端口, 用户名, 密码, 备注) values (?, ?, ?, ?, ?)", -1,
                               &statement, nullptr),
            SQLITE_OK);
  const std::optional<std::string>* values[] = {&host, &port, &user, &password, &remark};
  for (int i = 0; i < 5; ++i) {
    if (*values[i]) {
      sqlite3_bind_text(statement, i + 1, (*values[i])->c_str(), -1, SQLITE_TRANSIENT);
    } else {
      sqlite3_bind_null(statement, i + 1);
    }
  }
  EXPECT_EQ(sqlite3_step(statement), SQLITE_DONE);
  sqlite3_finalize(statement);
  const long long id = sqlite3_last_insert_rowid(db);
  sqlite3_close(db);
  return id;
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(std::filesystem::u8path(path), std::ios::binary | std::ios::trunc);
  out << bytes;
}

}  // namespace korvane::testing
