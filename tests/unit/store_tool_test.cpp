#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "app/program.h"
#include "datatool/data_tool.h"
#include "store/schema.h"
#include "store/store.h"

namespace korvane {
namespace {

namespace fs = std::filesystem;

std::string Utf8(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

class DataFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("korvane-tool-" + std::to_string(std::random_device{}()));
    folder_ = root_ / fs::path(u8"新 数据");
    fs::create_directories(folder_);
    path_ = Utf8(folder_ / "mstsc.mdb");
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(root_, ec);
  }

  int Tool(const std::vector<std::string>& arguments) {
    out_.str("");
    err_.str("");
    return RunDataTool(arguments, out_, err_);
  }
  // Every row of a table as "field=value|field=value" lines, read through the store.
  std::string Rows(const std::string& table) {
    DBConnection db;
    RecordSet records;
    records.SetConnection(db);
    if (!db.OpenAccess(path_, kDatabasePassword) || !records.Open(table, kSourceTable)) {
      return "unreadable";
    }
    const std::vector<std::string> fields =
        table == "Login" ? std::vector<std::string>{"Key", "Pass"}
                         : std::vector<std::string>{"id", "服务器名", "端口", "用户名", "密码", "备注"};
    std::string text;
    for (int i = 0; i < records.RecordCount(); ++i, records.MoveNext()) {
      for (const auto& field : fields) text += field + "=" + records.ReadText(field) + "|";
      text += "\n";
    }
    return text;
  }

  fs::path root_, folder_;
  std::string path_;
  std::ostringstream out_, err_;
};

TEST_F(DataFileTest, CreateMakesBothTablesWithTheOneLoginRow) {
  const struct {
    std::vector<std::string> arguments;
    const char* login;
  } cases[] = {{{"create", "PATH"}, "Key=By.Oxle|Pass=admin|\n"},
               {{"create", "PATH", "口令 1"}, "Key=By.Oxle|Pass=口令 1|\n"},
               {{"create", "PATH", ""}, "Key=By.Oxle|Pass=|\n"}};
  for (auto c : cases) {
    c.arguments[1] = path_;
    EXPECT_EQ(Tool(c.arguments), 0) << err_.str();
    EXPECT_EQ(out_.str() + err_.str(), "");
    EXPECT_EQ(Rows("Login"), c.login);
    EXPECT_EQ(Rows("Server"), "");
    DBConnection db;
    EXPECT_FALSE(db.OpenAccess(path_, "admin")) << "the login password is not the file's";
    // Made under a scratch name and linked into place; nothing but the data file is left.
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 1);
    fs::remove(folder_ / "mstsc.mdb");
  }
}

TEST_F(DataFileTest, NeverOverwritesAnythingAndLeavesNothingBehindOnFailure) {
  {
    std::ofstream(folder_ / "mstsc.mdb") << "someone's file";
  }
  const struct {
    std::string path;
    const char* why;
  } cases[] = {{path_, "already exists"},
               {Utf8(folder_), "already exists"},
               {Utf8(folder_ / "missing" / "mstsc.mdb"), "cannot create"},
               {"", "no path"}};
  for (const auto& c : cases) {
    EXPECT_EQ(Tool({"create", c.path}), 1);
    EXPECT_NE(err_.str().find(c.why), std::string::npos) << err_.str();
    EXPECT_EQ(out_.str(), "");
  }
  std::ifstream in(folder_ / "mstsc.mdb");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "someone's file");
  EXPECT_FALSE(fs::exists(folder_ / "missing"));
  EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 1);
}

TEST_F(DataFileTest, AddServerStoresTheFieldsAndPrintsTheNewId) {
  ASSERT_EQ(Tool({"create", path_}), 0);
  EXPECT_EQ(Tool({"add-server", path_, "10.0.0.1", "3389", "管理员", "' or ''='", ""}), 0);
  EXPECT_EQ(out_.str(), "1\n");
  EXPECT_EQ(Tool({"add-server", path_, "主机", "", "", "", "备注"}), 0);
  EXPECT_EQ(out_.str(), "2\n");
  EXPECT_EQ(Rows("Server"),
            "id=1|服务器名=10.0.0.1|端口=3389|用户名=管理员|密码=' or ''='|备注=|\n"
            "id=2|服务器名=主机|端口=|用户名=|密码=|备注=备注|\n");

  EXPECT_EQ(Tool({"add-server", Utf8(folder_ / "none.mdb"), "h", "1", "u", "p", "r"}), 1);
  EXPECT_NE(err_.str().find("none.mdb: no such file"), std::string::npos) << err_.str();
  EXPECT_FALSE(fs::exists(folder_ / "none.mdb"));
}

TEST_F(DataFileTest, AWrongCommandLineShowsTheUsage) {
  const std::vector<std::string> cases[] = {
      {}, {"create"}, {"create", "a", "b", "c"}, {"add-server", "a"}, {"remove", "a"},
      {"list", "a", "--show-password"}, {"check", "--show-passwords", "a"}, {"export", "a"}};
  for (const auto& arguments : cases) {
    EXPECT_EQ(Tool(arguments), 2);
    EXPECT_NE(err_.str().find("usage:"), std::string::npos);
  }
  EXPECT_FALSE(fs::exists("a"));
}

}  // namespace
}  // namespace korvane
