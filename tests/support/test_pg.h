// The private PostgreSQL that scripts/test starts for the run, as the team store's tests reach
// it: natively, and under Wine (whose odbc32 hands every call to the host's driver).
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>

#include "store/odbc.h"

namespace korvane::testing {

struct TestServer {
  std::string connection;  // without the password
  std::string password;
  std::string ca;
};

// scripts/test exports these; a test program run alone, without that server, skips.
inline bool FindServer(TestServer& server) {
  const char* connection = std::getenv("KORVANE_TEST_PG");
  const char* password = std::getenv("KORVANE_TEST_PG_PASSWORD");
  const char* ca = std::getenv("KORVANE_TEST_PG_CA");
  if (!connection || !password || !ca) return false;
  server = {connection, password, ca};
  return true;
}

#define REQUIRE_SERVER(server)                                                              \
  ::korvane::testing::TestServer server;                                                    \
  if (!::korvane::testing::FindServer(server))                                              \
  GTEST_SKIP() << "no test server: KORVANE_TEST_PG, KORVANE_TEST_PG_PASSWORD and "          \
                  "KORVANE_TEST_PG_CA are set by scripts/test, which starts a private PostgreSQL"

inline std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  auto at = text.find(from);
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

// An empty database of its own for one test, dropped afterwards. `connection` reaches it
// (without the password).
class FreshDatabase {
 public:
  explicit FreshDatabase(const TestServer& server) : server_(server) {
    static std::atomic<int> count{0};
    name_ = "korvane_t" + std::to_string(reinterpret_cast<std::uintptr_t>(this) % 100000) + "_" +
            std::to_string(++count) + "_" + std::to_string(std::rand() % 1000000);
    Admin("DROP DATABASE IF EXISTS " + name_);
    Admin("CREATE DATABASE " + name_);
    connection = Replaced(server.connection, "Database=postgres;", "Database=" + name_ + ";");
  }
  ~FreshDatabase() { Admin("DROP DATABASE IF EXISTS " + name_ + " WITH (FORCE)"); }
  FreshDatabase(const FreshDatabase&) = delete;
  FreshDatabase& operator=(const FreshDatabase&) = delete;

  const std::string& name() const { return name_; }
  std::string connection;

 private:
  void Admin(const std::string& sql) {
    OdbcConnection admin;
    ASSERT_TRUE(admin.Connect(server_.connection + "Pwd=" + server_.password + ";")) << admin.Error().message;
    ASSERT_TRUE(admin.Execute(sql)) << sql << ": " << admin.Error().message;
  }
  TestServer server_;
  std::string name_;
};

}  // namespace korvane::testing
