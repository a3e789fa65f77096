#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <random>

#ifndef _WIN32
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>
#endif

#include "app/program.h"
#include "datatool/messages.h"
#include "store/schema.h"
#include "store/store.h"

namespace korvane {
namespace {

namespace fs = std::filesystem;

fs::path FromUtf8(const std::string& text) {
  return fs::path(std::u8string(text.begin(), text.end()));
}
std::string Utf8(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}
std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Each test gets a fresh data file in a folder whose name has a blank and Chinese characters.
class StoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("korvane-store-" + std::to_string(std::random_device{}()));
    folder_ = root_ / FromUtf8("数据 文件");
    fs::create_directories(folder_);
    path_ = Utf8(folder_ / "mstsc.mdb");
    StoreError error;
    ASSERT_TRUE(CreateDataFile(path_, "admin", error)) << tool::Say(error);
    ASSERT_TRUE(db_.OpenAccess(path_, kDatabasePassword));
    ASSERT_TRUE(records_.SetConnection(db_));
  }
  void TearDown() override {
    records_.Close();
    db_.Close();
    std::error_code ec;
    fs::remove_all(root_, ec);
  }

  long long AddServer(const std::string& host, const std::string& port, const std::string& remark) {
    EXPECT_TRUE(db_.ExecuteSql("insert into Server (服务器名, 端口, 备注) values (?, ?, ?)",
                               {host, port, remark.empty() ? SqlValue{} : SqlValue{remark}}));
    return sqlite3_last_insert_rowid(db_.Handle());
  }
  // The stored value as SQL sees it: its type and text, read through a second connection.
  std::string Stored(const std::string& expression, long long id) {
    DBConnection other;
    RecordSet read;
    read.SetConnection(other);
    if (!other.OpenAccess(path_, kDatabasePassword) ||
        !read.OpenSql("select typeof(" + expression + ") || ':' || ifnull(" + expression +
                          ", '') as v from Server where id = ?",
                      {id})) {
      return "unreadable";
    }
    return read.RecordCount() == 1 ? read.ReadText("v") : "no row";
  }
  int CountServers() {
    RecordSet count;
    count.SetConnection(db_);
    return count.Open("select count(*) as n from Server", kSourceSql) ? count.ReadInt("n") : -1;
  }

  fs::path root_, folder_;
  std::string path_;
  DBConnection db_;
  RecordSet records_;
};

TEST_F(StoreTest, OpenAccessRefusesEverythingButItsOwnDataFileAndLeavesItClosed) {
  sqlite3* raw = nullptr;
  const fs::path other = folder_ / "other.db";
  sqlite3_open(Utf8(other).c_str(), &raw);
  sqlite3_exec(raw, "create table Login (Key text, Pass text)", nullptr, nullptr, nullptr);
  sqlite3_close(raw);
  const std::string good = ReadFile(FromUtf8(path_));
  WriteFile(folder_ / "half.mdb", good.substr(0, good.size() / 2));
  WriteFile(folder_ / "cut.mdb", good.substr(0, good.size() - 1));
  WriteFile(folder_ / "empty.mdb", "");
  // Table Server's page overwritten: the marker and the password still read fine.
  RecordSet layout;
  layout.SetConnection(db_);
  ASSERT_TRUE(layout.Open("select rootpage, (select page_size from pragma_page_size) as size "
                          "from sqlite_master where name = 'Server'", kSourceSql));
  const size_t size = static_cast<size_t>(layout.ReadInt("size"));
  const size_t page = static_cast<size_t>(layout.ReadInt("rootpage"));
  ASSERT_GT(page, 1u);
  std::string damaged = good;
  for (size_t i = (page - 1) * size; i < page * size; ++i) damaged[i] = static_cast<char>(i * 31);
  WriteFile(folder_ / "damaged.mdb", damaged);
  std::string noise(4096, '\0');
  std::mt19937 bytes(7);
  for (char& c : noise) c = static_cast<char>(bytes());
  WriteFile(folder_ / "noise.mdb", noise);

  const struct {
    const char* name;
    fs::path path;
    std::string password;
  } cases[] = {
      {"missing file", folder_ / "missing.mdb", kDatabasePassword},
      {"directory", folder_, kDatabasePassword},
      {"random bytes", folder_ / "noise.mdb", kDatabasePassword},
      {"truncated data file", folder_ / "half.mdb", kDatabasePassword},
      {"last byte cut off", folder_ / "cut.mdb", kDatabasePassword},
      {"empty file", folder_ / "empty.mdb", kDatabasePassword},
      {"damaged data file", folder_ / "damaged.mdb", kDatabasePassword},
      {"other SQLite database", other, kDatabasePassword},
      {"wrong password", FromUtf8(path_), "qomr.nel "},
      {"no password", FromUtf8(path_), ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(db_.OpenAccess(path_, kDatabasePassword));
    std::error_code ec;
    const auto sizeBefore = fs::is_regular_file(c.path) ? fs::file_size(c.path) : 0;
    EXPECT_FALSE(db_.OpenAccess(Utf8(c.path), c.password));
    EXPECT_FALSE(db_.IsOpen());
    EXPECT_EQ(db_.Handle(), nullptr);
    EXPECT_FALSE(db_.ExecuteSql("delete from Server"));
    EXPECT_EQ(fs::is_regular_file(c.path) ? fs::file_size(c.path) : 0, sizeBefore);
  }
  EXPECT_FALSE(fs::exists(folder_ / "missing.mdb"));
}

TEST_F(StoreTest, ExecuteSqlRunsExactlyOneStatement) {
  AddServer("a", "1", "");
  const struct {
    const char* sql;
    bool accepted;
  } cases[] = {
      {"delete from Server where id=99", true},  // no row: still accepted
      {"delete from Server where id=1;  ", true},
      {"delete from Nowhere", false},
      {"delete form Server", false},
      {"", false},
      {"delete from Server; delete from Login", false},
      {"select * from Login; -- a comment", true},
  };
  for (const auto& c : cases) EXPECT_EQ(db_.ExecuteSql(c.sql), c.accepted) << c.sql;
  EXPECT_EQ(CountServers(), 0);
  ASSERT_TRUE(records_.Open("Login", kSourceTable));
  EXPECT_EQ(records_.RecordCount(), 1) << "the second statement must not have run";
  EXPECT_FALSE(db_.ExecuteSql("delete from Server where id=?", {}));  // parameter missing
}

TEST_F(StoreTest, BoundParametersStayPlainValues) {
  const std::string trick = "' or ''='";
  const long long id = AddServer(trick, "3389", "");
  EXPECT_EQ(Stored("服务器名", id), "text:" + trick);
  const struct {
    std::string pass;
    int rows;
  } cases[] = {{trick, 0}, {"admin", 1}, {"Admin", 0}, {"admin ", 0}};
  for (const auto& c : cases) {
    ASSERT_TRUE(records_.OpenSql("select * from Login where Key=? and Pass=?",
                                 {std::string(kLoginKey), c.pass}));
    EXPECT_EQ(records_.RecordCount(), c.rows) << c.pass;
  }
}

TEST_F(StoreTest, ReadsATableAsTextAndIntegersInIdOrder) {
  AddServer("主机一", "3389", "机房 A");
  AddServer("host2", "", "");
  ASSERT_TRUE(records_.Open("Server", kSourceTable));
  ASSERT_EQ(records_.RecordCount(), 2);
  EXPECT_EQ(records_.ReadText("id"), "1");
  EXPECT_EQ(records_.ReadInt("id"), 1);
  EXPECT_EQ(records_.ReadText("服务器名"), "主机一");
  EXPECT_EQ(records_.ReadText("备注"), "机房 A");
  EXPECT_EQ(records_.ReadInt("端口"), 0) << "text is not an integer";
  EXPECT_EQ(records_.ReadText("ID"), "") << "field names are exact";
  EXPECT_EQ(records_.ReadText("rowid"), "") << "the rowid is not a field";
  EXPECT_TRUE(records_.MoveNext());
  EXPECT_EQ(records_.ReadText("id"), "2");
  EXPECT_EQ(records_.ReadText("端口"), "") << "null reads as empty text";
  EXPECT_TRUE(records_.MoveNext());
  EXPECT_EQ(records_.ReadText("id"), "");
  EXPECT_EQ(records_.ReadInt("id"), 0);
  EXPECT_FALSE(records_.MoveNext());

  ASSERT_TRUE(records_.Open("select -42 as n, 'x' as t", kSourceSql));
  EXPECT_EQ(records_.ReadText("n"), "-42");
  EXPECT_EQ(records_.ReadInt("n"), -42);
  ASSERT_TRUE(records_.OpenWhere("Server", "id=2"));
  EXPECT_EQ(records_.RecordCount(), 1);
  EXPECT_EQ(records_.ReadText("服务器名"), "host2");
}

TEST_F(StoreTest, AFailedOpenLeavesTheRecordSetClosed) {
  AddServer("a", "1", "");
  const struct {
    const char* source;
    int kind;
  } cases[] = {{"", kSourceTable},          {"Nowhere", kSourceTable},
               {"Server", 3},               {"select * from Nowhere", kSourceSql},
               {"delete from Server returning id", kSourceSql},
               {"select 1; delete from Server", kSourceSql}};
  for (const auto& c : cases) {
    ASSERT_TRUE(records_.Open("Server", kSourceTable));
    EXPECT_FALSE(records_.Open(c.source, c.kind)) << c.source;
    EXPECT_EQ(records_.RecordCount(), -1) << c.source;
    EXPECT_FALSE(records_.MoveNext());
    EXPECT_EQ(records_.ReadText("id"), "");
  }
  EXPECT_EQ(CountServers(), 1) << "a query text must never write";
  RecordSet unbound;
  EXPECT_FALSE(unbound.Open("Server", kSourceTable));
  EXPECT_EQ(unbound.RecordCount(), -1);
}

TEST_F(StoreTest, FindSearchesForwardFromTheCurrentRecord) {
  AddServer("a", "3389", "it's");
  AddServer("b", "22", "");
  AddServer("c", "3389", "");
  ASSERT_TRUE(records_.Open("Server", kSourceTable));
  EXPECT_TRUE(records_.Find("端口=3389", kSearchForward));
  EXPECT_EQ(records_.ReadText("id"), "1");
  EXPECT_TRUE(records_.Find("端口='3389'", kSearchForward)) << "the current record counts";
  EXPECT_EQ(records_.ReadText("id"), "1");
  records_.MoveNext();
  EXPECT_TRUE(records_.Find("端口 = 3389", kSearchForward));
  EXPECT_EQ(records_.ReadText("id"), "3");
  EXPECT_FALSE(records_.Find("id=2", kSearchForward)) << "never searches backwards";
  EXPECT_EQ(records_.ReadText("id"), "") << "a failed search ends after the last record";

  ASSERT_TRUE(records_.Open("Server", kSourceTable));
  EXPECT_TRUE(records_.Find("备注='it''s'", kSearchForward));
  EXPECT_EQ(records_.ReadText("id"), "1");
  EXPECT_TRUE(records_.Find("id=3", kSearchForward));
  EXPECT_FALSE(records_.Find("nothing=3", kSearchForward));
  EXPECT_FALSE(records_.Find("id=3", -1));
  EXPECT_FALSE(records_.Find("服务器名=C", kSearchForward)) << "text compares exactly";
}

TEST_F(StoreTest, WriteTextChangesTheRowAndEmptyTextStoresNull) {
  AddServer("a", "1", "old");
  const long long id = AddServer("b", "2", "old");
  ASSERT_TRUE(records_.Open("Server", kSourceTable));
  ASSERT_TRUE(records_.Find("id=" + std::to_string(id), kSearchForward));
  EXPECT_TRUE(records_.WriteText("备注", ""));
  EXPECT_TRUE(records_.WriteText("密码", "密 码'\""));
  EXPECT_FALSE(records_.WriteText("nothing", "x"));
  EXPECT_TRUE(records_.Update());
  EXPECT_EQ(records_.ReadText("备注"), "");
  EXPECT_EQ(Stored("备注", id), "null:");
  EXPECT_EQ(Stored("密码", id), "text:密 码'\"");
  EXPECT_EQ(Stored("备注", 1), "text:old") << "other rows stay as they were";

  records_.MoveNext();
  EXPECT_FALSE(records_.WriteText("备注", "x")) << "no current record";
  ASSERT_TRUE(records_.Open("select * from Server", kSourceSql));
  EXPECT_FALSE(records_.WriteText("备注", "x")) << "a query has no table to write to";
  EXPECT_FALSE(records_.AddNew());
  records_.Close();
  EXPECT_FALSE(records_.WriteText("备注", "x"));
  EXPECT_FALSE(records_.AddNew());
  EXPECT_FALSE(records_.Update());
}

TEST_F(StoreTest, ANewRecordGetsItsIdFromTheFileAndIsSavedByUpdateOpenOrClose) {
  ASSERT_TRUE(records_.Open("Server", kSourceTable));
  ASSERT_TRUE(records_.AddNew());
  EXPECT_EQ(records_.RecordCount(), 1);
  EXPECT_EQ(records_.ReadText("id"), "") << "no id before it is stored";
  records_.WriteText("服务器名", "新主机");
  EXPECT_TRUE(records_.Update());
  EXPECT_EQ(records_.ReadInt("id"), 1);
  EXPECT_EQ(Stored("服务器名", 1), "text:新主机");

  records_.WriteText("备注", "saved by AddNew");
  records_.AddNew();
  records_.WriteText("服务器名", "saved by open");
  ASSERT_TRUE(records_.Open("Server", kSourceTable));
  EXPECT_EQ(records_.RecordCount(), 2);
  records_.AddNew();
  records_.WriteText("服务器名", "saved by close");
  records_.Close();
  {
    RecordSet scoped;
    scoped.SetConnection(db_);
    scoped.Open("Server", kSourceTable);
    scoped.AddNew();
    scoped.WriteText("服务器名", "saved when the record set goes");
  }
  EXPECT_EQ(Stored("备注", 1), "text:saved by AddNew");
  EXPECT_EQ(Stored("服务器名", 2), "text:saved by open");
  EXPECT_EQ(Stored("服务器名", 3), "text:saved by close");
  EXPECT_EQ(Stored("服务器名", 4), "text:saved when the record set goes");
}

TEST_F(StoreTest, IdsAreNeverReused) {
  AddServer("a", "", "");
  const long long last = AddServer("b", "", "");
  ASSERT_TRUE(db_.ExecuteSql("delete from Server where id=" + std::to_string(last)));
  ASSERT_TRUE(records_.Open("Server", kSourceTable));
  records_.AddNew();
  records_.WriteText("服务器名", "c");
  ASSERT_TRUE(records_.Update());
  EXPECT_EQ(records_.ReadInt("id"), last + 1);
}

TEST_F(StoreTest, AFailedUpdateCancelsThePendingChange) {
  AddServer("a", "1", "kept");
  AddServer("b", "2", "gone soon");
  ASSERT_TRUE(records_.Open("Server", kSourceTable));
  // An id that is not a number breaks the table's integer key.
  records_.WriteText("备注", "changed");
  records_.WriteText("id", "abc");
  EXPECT_FALSE(records_.Update());
  EXPECT_EQ(records_.ReadText("id"), "1");
  EXPECT_EQ(records_.ReadText("备注"), "kept");
  EXPECT_EQ(Stored("备注", 1), "text:kept");

  records_.AddNew();
  records_.WriteText("id", "abc");
  EXPECT_FALSE(records_.Update());
  EXPECT_EQ(records_.RecordCount(), 2);
  EXPECT_EQ(records_.ReadText("id"), "1") << "back on the record current before AddNew";

  // Another copy of the program deleted the row meanwhile.
  records_.MoveNext();
  ASSERT_TRUE(db_.ExecuteSql("delete from Server where id=2"));
  records_.WriteText("备注", "changed");
  EXPECT_FALSE(records_.Update());
  EXPECT_EQ(records_.ReadText("备注"), "gone soon");
  EXPECT_EQ(CountServers(), 1);
}

TEST_F(StoreTest, SnapshotsHoldNoLockAndAWriteGivesUpOnALockedFile) {
  AddServer("a", "1", "");
  DBConnection other;
  ASSERT_TRUE(other.OpenAccess(path_, kDatabasePassword));
  ASSERT_TRUE(records_.Open("Server", kSourceTable));
  EXPECT_TRUE(other.ExecuteSql("delete from Server"));
  EXPECT_EQ(records_.RecordCount(), 1) << "a static snapshot";

  records_.AddNew();
  records_.WriteText("服务器名", "x");
  ASSERT_EQ(sqlite3_exec(other.Handle(), "begin immediate", nullptr, nullptr, nullptr), SQLITE_OK);
  EXPECT_FALSE(records_.Update());
  EXPECT_EQ(records_.RecordCount(), 1);
  sqlite3_exec(other.Handle(), "rollback", nullptr, nullptr, nullptr);
  EXPECT_EQ(CountServers(), 0);
}

TEST_F(StoreTest, ARecordSetFollowsItsConnection) {
  db_.Close();
  EXPECT_FALSE(records_.Open("Server", kSourceTable));
  ASSERT_TRUE(db_.OpenAccess(path_, kDatabasePassword));
  EXPECT_TRUE(records_.Open("Server", kSourceTable));

  RecordSet outliving;
  {
    DBConnection shortLived;
    ASSERT_TRUE(shortLived.OpenAccess(path_, kDatabasePassword));
    outliving.SetConnection(shortLived);
    ASSERT_TRUE(outliving.Open("Server", kSourceTable));
    outliving.AddNew();
    outliving.WriteText("服务器名", "lost");
  }
  EXPECT_FALSE(outliving.Update());
  EXPECT_FALSE(outliving.Open("Server", kSourceTable));
  EXPECT_EQ(CountServers(), 0);
}

#ifndef _WIN32
// Marks a folder immutable for one scope: nobody, root included, may then make a file in it,
// while the files already there stay writable. Tests run as root, which file modes do not stop.
class ImmutableFolder {
 public:
  explicit ImmutableFolder(const fs::path& folder) : fd_(open(folder.c_str(), O_RDONLY | O_DIRECTORY)) {
    int flags = 0;
    if (fd_ >= 0 && ioctl(fd_, FS_IOC_GETFLAGS, &flags) == 0) {
      flags |= FS_IMMUTABLE_FL;
      set_ = ioctl(fd_, FS_IOC_SETFLAGS, &flags) == 0;
    }
  }
  ~ImmutableFolder() {
    int flags = 0;
    if (set_ && ioctl(fd_, FS_IOC_GETFLAGS, &flags) == 0) {
      flags &= ~FS_IMMUTABLE_FL;
      ioctl(fd_, FS_IOC_SETFLAGS, &flags);
    }
    if (fd_ >= 0) close(fd_);
  }
  ImmutableFolder(const ImmutableFolder&) = delete;
  ImmutableFolder& operator=(const ImmutableFolder&) = delete;
  bool set() const { return set_; }

 private:
  int fd_;
  bool set_ = false;
};

TEST_F(StoreTest, AFileInAFolderThatCannotBeWrittenIsRefusedAndLeftAsItWas) {
  db_.Close();
  const std::string before = ReadFile(FromUtf8(path_));
  {
    ImmutableFolder locked(folder_);
    if (!locked.set()) GTEST_SKIP() << "this file system or user cannot mark a folder immutable";
    DBConnection db;
    EXPECT_FALSE(db.OpenAccess(path_, kDatabasePassword));
    EXPECT_FALSE(db.IsOpen());
  }
  EXPECT_EQ(ReadFile(FromUtf8(path_)), before);
  EXPECT_TRUE(db_.OpenAccess(path_, kDatabasePassword));
}
#endif

}  // namespace
}  // namespace korvane
