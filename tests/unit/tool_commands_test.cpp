// The data-file tool's list, check, set-login-password, export and import, run on real files.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <unistd.h>
#endif
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "app/program.h"
#include "datatool/data_tool.h"
#include "store/store.h"
#include "support/data_files.h"
#include "import/csv_text.h"

namespace korvane {
namespace {

namespace fs = std::filesystem;
using testing::AddServer;
using testing::MakeDataFile;
using testing::RunSql;
using testing::TempDir;

std::string ReadBytes(const std::string& path) {
  std::ifstream in(fs::u8path(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Servers in id order, each field through SQLite's quote(): null and an empty text differ.
std::string Dump(const std::string& path, const std::string& where = "1") {
  DBConnection db;
  RecordSet rows;
  rows.SetConnection(db);
  if (!db.OpenAccess(path, kDatabasePassword) ||
      !rows.Open("select quote(服务器名)||' '||quote(端口)||' '||quote(用户名)||' '||quote(密码)||' '||"
                 "quote(备注) as row from Server where " + where + " order by id", kSourceSql)) {
    return "unreadable";
  }
  std::string text;
  for (int i = 0; i < rows.RecordCount(); ++i, rows.MoveNext()) text += rows.ReadText("row") + "\n";
  return text;
}

class DataFileCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override { MakeDataFile(path_); }

  int Tool(const std::vector<std::string>& arguments, ToolInput input = {}) {
    out_.str("");
    err_.str("");
    return RunDataTool(arguments, input, out_, err_);
  }
  int Entries() { return static_cast<int>(std::distance(fs::directory_iterator(dir_.path()), {})); }

  TempDir dir_{"korvane tool 数据"};
  std::string path_ = dir_.File("mstsc.mdb");
  std::ostringstream out_, err_;
};

TEST_F(DataFileCommandsTest, ListShowsEveryServerOnItsLineAndPasswordsOnlyWhenAsked) {
  AddServer(path_, "10.0.0.1", "3389", "管理员", "p,w\"d", "机房 A");
  AddServer(path_, "主机", std::nullopt, std::nullopt, std::nullopt, "a\tb\nc\\d");
  // Marks that turn the direction of the text after them (U+202E, U+2066 and U+2069, U+061C,
  // U+200F) are shown as escapes; a joiner (U+200D) is none of them.
  AddServer(path_, "h\xE2\x80\xAE", "1", "u", "", "\xE2\x81\xA6x\xE2\x81\xA9\xD8\x9C\xE2\x80\x8F\xE2\x80\x8D");
  const std::string marks = "3\t\\u2066x\\u2069\\u061C\\u200F\xE2\x80\x8D\th\\u202E\t1\tu";
  EXPECT_EQ(Tool({"list", path_}), 0) << err_.str();
  EXPECT_EQ(out_.str(),
            "id\tremark\thost\tport\tuser\n"
            "1\t机房 A\t10.0.0.1\t3389\t管理员\n"
            "2\ta\\tb\\nc\\\\d\t主机\t\t\n" + marks + "\n");
  EXPECT_EQ(Tool({"list", "--show-passwords", path_}), 0) << err_.str();
  EXPECT_EQ(out_.str(),
            "id\tremark\thost\tport\tuser\tpassword\n"
            "1\t机房 A\t10.0.0.1\t3389\t管理员\tp,w\"d\n"
            "2\ta\\tb\\nc\\\\d\t主机\t\t\t\n" + marks + "\t\n");
  EXPECT_EQ(Tool({"list", dir_.File("none.mdb")}), 1);
  EXPECT_NE(err_.str().find("no such file"), std::string::npos) << err_.str();
}

TEST_F(DataFileCommandsTest, CheckNamesEachProblemAndNeverChangesTheFile) {
  // Table Server's root page overwritten: the marker, the password and Login still read.
  std::string damaged;
  {
    DBConnection db;
    RecordSet layout;
    layout.SetConnection(db);
    ASSERT_TRUE(db.OpenAccess(path_, kDatabasePassword));
    ASSERT_TRUE(layout.Open("select rootpage, (select page_size from pragma_page_size) as size "
                            "from sqlite_master where name = 'Server'", kSourceSql));
    const size_t size = static_cast<size_t>(layout.ReadInt("size"));
    const size_t page = static_cast<size_t>(layout.ReadInt("rootpage"));
    damaged = ReadBytes(path_);
    for (size_t i = (page - 1) * size; i < page * size; ++i) damaged[i] = static_cast<char>(i * 31);
  }
  const struct {
    const char* name;
    std::optional<std::string> sql;  // run on a fresh data file; none for the cases that write bytes
    std::string bytes;
    int exit;
    const char* says;
  } cases[] = {
      {"sound", "", "", 0, ": OK, a data file of this program with 0 servers"},
      {"missing table", "drop table Server", "", 1, ": no table Server\n"},
      {"missing field", "alter table Login rename column Pass to Password", "", 1,
       ": table Login has no field Pass\n"},
      {"wrong database password", "update Korvane set value = 'x' where name = 'database password'",
       "", 1, ": wrong database password"},
      {"no login row", "update Login set \"Key\" = 'by.oxle'", "", 1, ": table Login has no row with Key By.Oxle"},
      {"empty login password", "update Login set Pass = null", "", 1, ": the login password is empty"},
      {"damaged page", std::nullopt, damaged, 1, ": damaged: "},
      {"not a database", std::nullopt, std::string(4096, 'x'), 1, ": cannot read the file: file is not a database"},
      {"cut short", std::nullopt, ReadBytes(path_).substr(0, ReadBytes(path_).size() - 3), 1, ": damaged: the file is not as long as the pages it holds"},
      // A protected file that lost its table: the program would take the sealed text for the password.
      {"sealed in a plain file", "insert into Server (服务器名, 密码) values ('h', 'aes-256-gcm:1:" + std::string(24, '0') + ":" +
       std::string(32, '0') + "')", "", 1, ": the password of server 1 (host h) looks sealed, but the file is not protected"},
      {"protection as a view", "create view Protection as select 1 as version", "", 1, ": Protection is a view"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir_.File(std::string(c.name) + ".mdb");
    if (c.sql) {
      MakeDataFile(path);
      RunSql(path, *c.sql);
    } else {
      testing::WriteBytes(path, c.bytes);
    }
    const std::string before = ReadBytes(path);
    const int entries = Entries();
    EXPECT_EQ(Tool({"check", path}), c.exit);
    // The OK line on standard output; the reasons on standard error, and nothing else there.
    EXPECT_NE((c.exit == 0 ? out_ : err_).str().find(path + c.says), std::string::npos) << err_.str();
    EXPECT_EQ((c.exit == 0 ? err_ : out_).str(), "");
    EXPECT_EQ(ReadBytes(path), before);
    EXPECT_EQ(Entries(), entries) << "no journal or other file left beside it";
  }
}

// The program killed in the middle of a big save leaves pages of the file half written, their
// old contents in the journal beside it and no lock: a copy of both taken mid-save is that state.
TEST_F(DataFileCommandsTest, AWriteCutShortIsRolledBackAndOneUnderWayWaitedFor) {
  AddServer(path_, "10.0.0.1", "3389", "u", "p", "r");
  const std::string cut = dir_.File("cut.mdb");
  sqlite3* raw = nullptr;
  ASSERT_EQ(sqlite3_open_v2(path_.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
  const std::unique_ptr<sqlite3, int (*)(sqlite3*)> writer(raw, sqlite3_close);
  // A small cache writes changed pages into the file long before the commit.
  ASSERT_EQ(sqlite3_exec(raw, "PRAGMA cache_size = 10; BEGIN; WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 "
                              "FROM n LIMIT 2000) INSERT INTO Server (备注) SELECT hex(randomblob(300)) FROM n",
                         nullptr, nullptr, nullptr), SQLITE_OK);
  for (const char* suffix : {"", "-journal"}) fs::copy_file(fs::u8path(path_ + suffix), fs::u8path(cut + suffix));
#ifndef _WIN32
  // A journal that is a link, or another user's (planted in a folder others may write), is
  // never rolled into the file: it would put their pages into the owner's data file.
  const std::string planted = dir_.File("planted.mdb");
  fs::copy_file(fs::u8path(cut), fs::u8path(planted));
  fs::create_symlink(fs::u8path(cut + "-journal"), fs::u8path(planted + "-journal"));
  EXPECT_EQ(Tool({"list", planted}), 1);
  EXPECT_NE(err_.str().find("is not a plain file of the data file's owner"), std::string::npos) << err_.str();
  if (geteuid() == 0) {
    fs::remove(fs::u8path(planted + "-journal"));
    fs::copy_file(fs::u8path(cut + "-journal"), fs::u8path(planted + "-journal"));
    ASSERT_EQ(chown((planted + "-journal").c_str(), 65534, 65534), 0);
    EXPECT_EQ(Tool({"check", planted}), 1);
    EXPECT_NE(err_.str().find("is not a plain file of the data file's owner"), std::string::npos) << err_.str();
    EXPECT_TRUE(fs::exists(fs::u8path(planted + "-journal")));
  }
#endif
  // While the writer runs, its file is in use, not damaged.
  EXPECT_EQ(Tool({"list", path_}), 1);
  EXPECT_NE(err_.str().find(path_ + ": another program is writing it"), std::string::npos) << err_.str();
  EXPECT_EQ(Tool({"list", cut}), 0) << err_.str();
  EXPECT_EQ(out_.str(), "id\tremark\thost\tport\tuser\n1\tr\t10.0.0.1\t3389\tu\n");
  EXPECT_EQ(err_.str(), "korvane-data: " + cut + ": the last write to it was cut short; SQLite rolled it back, as the "
                        "program does at its next login\n");
  EXPECT_FALSE(fs::exists(fs::u8path(cut + "-journal")));
  EXPECT_EQ(Tool({"check", cut}), 0) << err_.str();
  EXPECT_EQ(err_.str(), "");
}

TEST_F(DataFileCommandsTest, SetLoginPasswordStoresWhatTheLoginThenMatches) {
  const auto matches = [&](const std::string& password) {
    DBConnection db;
    RecordSet login;
    login.SetConnection(db);
    if (!db.OpenAccess(path_, kDatabasePassword)) return -1;
    login.OpenSql("select * from Login where \"Key\"=? and Pass=?", {std::string("By.Oxle"), password});
    return login.RecordCount();
  };
  const struct {
    const char* name;
    const char* piped;                  // standard input, or null for a terminal
    std::vector<std::string> typed;     // what the terminal gives, in order
    int exit;
    const char* says;
    const char* nowValid;
  } cases[] = {
      {"piped, CR LF", "新口令 'x\r\nsecond line\n", {}, 0, "", "新口令 'x"},
      {"piped, empty line", "\nnext\n", {}, 1, "empty", "新口令 'x"},
      {"piped, nothing", "", {}, 1, "no password on standard input", "新口令 'x"},
      {"piped, not UTF-8", "\xFF\xFE\n", {}, 1, "not UTF-8", "新口令 'x"},
      {"typed twice alike", nullptr, {"s3 cret", "s3 cret"}, 0, "", "s3 cret"},
      {"typed twice unlike", nullptr, {"s3 cret", "s3 cres"}, 1, "differ", "s3 cret"},
      {"typing ended", nullptr, {}, 1, "no password typed", "s3 cret"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::istringstream piped(c.piped ? c.piped : "");
    ToolInput input;
    size_t asked = 0;
    if (c.piped) {
      input.lines = &piped;
    } else {
      input.askSecret = [&](const std::string&) -> std::optional<std::string> {
        if (asked == c.typed.size()) return std::nullopt;
        return c.typed[asked++];
      };
    }
    EXPECT_EQ(Tool({"set-login-password", path_}, input), c.exit) << err_.str();
    EXPECT_NE(err_.str().find(c.says), std::string::npos) << err_.str();
    EXPECT_EQ(matches(c.nowValid), 1);
    EXPECT_EQ(matches("admin"), 0);
  }

  // No row to change: said before anything is read, so nobody types a password for nothing.
  RunSql(path_, "delete from Login");
  std::istringstream piped("never read\n");
  ToolInput input;
  input.lines = &piped;
  EXPECT_EQ(Tool({"set-login-password", path_}, input), 1);
  EXPECT_NE(err_.str().find("no row with Key By.Oxle"), std::string::npos) << err_.str();
  EXPECT_EQ(piped.tellg(), 0);
}

TEST_F(DataFileCommandsTest, AnImportWithABadLineNamesItAndAddsNothing) {
  AddServer(path_, "kept", "1", "u", "p", "r");
  const std::string before = Dump(path_);
  const std::string header = "host,port,user,password,remark\r\n";
  const struct {
    const char* name;
    std::string csv;
    const char* says;
  } cases[] = {
      {"too few fields", header + "a,1,u,p,r\r\nb,2,u,p\r\n", "line 3: 4 fields where a server has 5"},
      {"too many fields", header + "\"a\nb\",1,u,p,r\nc,2,u,p,r,x\n", "line 4: 6 fields"},
      {"stray quote", header + "a,1,u,p,r\na,b\"c,u,p,r\n", "line 3: a quote in the wrong place"},
      {"text after a closing quote", header + "\"a\" b,1,u,p,r\n", "line 2: a quote in the wrong place"},
      {"quote never closed", header + "a,1,u,p,r\n\"b,2,u,p,r\nc,3,u,p,r\n", "line 3: a quoted field is never closed"},
      {"not UTF-8", header + "\"line\nbreak\",1,u,p,r\n\xC3\x28,1,u,p,r\n", "line 4: not UTF-8"},
      {"no header", "a,1,u,p,r\n", "line 1: the first line must name the fields: host,port,user,password,remark"},
      {"empty", "", "line 1: no header line"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string csv = dir_.File(std::string(c.name) + ".csv");
    testing::WriteBytes(csv, c.csv);
    EXPECT_EQ(Tool({"import", path_, csv}), 1);
    EXPECT_NE(err_.str().find(csv + ", " + c.says), std::string::npos) << err_.str();
    EXPECT_NE(err_.str().find("nothing imported"), std::string::npos) << err_.str();
    EXPECT_EQ(Dump(path_), before);
  }
}

TEST_F(DataFileCommandsTest, ExportThenImportGivesTheSameServers) {
  AddServer(path_, "10.0.0.1", "3389", "Administrator", "a,b\"c\"", "机房, 二楼");
  AddServer(path_, "主机-2", std::nullopt, std::nullopt, std::nullopt, std::nullopt);
  AddServer(path_, " spaced ", "22", "root", " pass word ", "line one\nline two\r\nthree");
  AddServer(path_, "\"quoted\"", std::nullopt, "用户", "密码\t\"\"", ",");
  // Formulas to a spreadsheet, and values that really begin with an apostrophe.
  AddServer(path_, "=1+2", "+3389", "-u", "@SUM(A1)", "'note");
  AddServer(path_, "'=x", "'", "\tu", "\rp", "''");
  const std::string csv = dir_.File("导出 servers.csv");
  ASSERT_EQ(Tool({"export", path_, csv}), 0) << err_.str();
  EXPECT_EQ(ReadBytes(csv).substr(0, 35), "\xEF\xBB\xBFhost,port,user,password,remark\r\n");
  for (const auto& record : import::ParseCsv(ReadBytes(csv)).records) {
    for (const auto& field : record.fields) EXPECT_NE(field.find_first_of("=+-@\t\r"), 0u) << field;
  }

  // The passwords are in clear: only this user may read the file, and no scratch copy is left.
#ifndef _WIN32
  EXPECT_EQ(fs::status(fs::u8path(csv)).permissions(), fs::perms::owner_read | fs::perms::owner_write);
#endif
  EXPECT_EQ(Entries(), 2);
  const std::string exported = ReadBytes(csv);
  EXPECT_EQ(Tool({"export", path_, csv}), 1);
  EXPECT_NE(err_.str().find("already exists"), std::string::npos) << err_.str();
  EXPECT_EQ(ReadBytes(csv), exported);

  const std::string copy = dir_.File("copy.mdb");
  MakeDataFile(copy);
  ASSERT_EQ(Tool({"import", copy, csv}), 0) << err_.str();
  EXPECT_EQ(out_.str(), "imported 6 servers from " + csv + "\n");
  EXPECT_EQ(Dump(copy), Dump(path_));
  // A second import finds every server there already and adds nothing.
  ASSERT_EQ(Tool({"import", copy, csv}), 0) << err_.str();
  EXPECT_EQ(out_.str(), "imported 0 servers from " + csv + " (6 already there)\n");
  EXPECT_EQ(Dump(copy), Dump(path_));

  // As a spreadsheet saves it, quoting only where it must, or as export wrote it before it
  // added apostrophes: every value as it stands, blanks around it included.
  const std::string saved = dir_.File("saved.csv");
  testing::WriteBytes(saved, "host,port,user,password,remark\r\n h ,-1,\t-u,secret ,'note\r\n");
  ASSERT_EQ(Tool({"import", copy, saved}), 0) << err_.str();
  EXPECT_EQ(Dump(copy, "id = 7"), "' h ' '-1' '\t-u' 'secret ' '''note'\n");
}

// The writer's rules, whatever the source: every row of it arrives, a row is already there only
// with host, port, user and password all alike, and nothing is written unless all of it is.
TEST_F(DataFileCommandsTest, AnImportKeepsEveryServerOfItsSourceAndWritesAllOrNothing) {
  const std::string header = "host,port,user,password,remark\r\n";
  const auto import = [&](const std::string& name, const std::string& rows, std::vector<std::string> extra = {}) {
    const std::string csv = dir_.File(name);
    testing::WriteBytes(csv, header + rows);
    std::vector<std::string> arguments = {"import", path_, csv};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    ToolInput input;
    std::istringstream login("admin\n");
    input.lines = &login;
    return Tool(arguments, input);
  };
  // Two servers alike but for the password, two alike in every field: all four are added.
  ASSERT_EQ(import("a.csv", "h1,3389,ops,pw1,A\r\nh1,3389,ops,pw2,B\r\nh2,1,u,p,X\r\nh2,1,u,p,X\r\n"), 0) << err_.str();
  EXPECT_EQ(Dump(path_), "'h1' '3389' 'ops' 'pw1' 'A'\n'h1' '3389' 'ops' 'pw2' 'B'\n'h2' '1' 'u' 'p' 'X'\n"
                         "'h2' '1' 'u' 'p' 'X'\n");
  // Known by all four values, whatever the remark; another user or another password is another
  // server, and one beside a known host, port and user is named.
  ASSERT_EQ(import("b.csv", "h1,3389,ops,pw2,renamed\r\nh1,3389,ops2,pw1,C\r\nh1,3389,ops,pw3,D\r\n"), 0);
  EXPECT_EQ(out_.str(), "imported 2 servers from " + dir_.File("b.csv") +
                            " (1 already there, 1 beside a server with another password)\n");
  EXPECT_EQ(err_.str(), "korvane-data: " + dir_.File("b.csv") +
                            ": added beside a server with another password: D (host h1, port 3389, user ops)\n");

  // Neither a dry run nor an import that fails part-way changes a byte of the file. A name
  // holding a terminal's escape is shown escaped, not sent to the terminal.
  const std::string before = ReadBytes(path_);
  // U+009B is the one-character form of ESC [; a letter or a no-break space beside it stays.
  ASSERT_EQ(import("c.csv", "n1,1,\x1B]0;owned\x07\xC2\x9B\xC3\xA9\xC2\xA0,p,r\r\n", {"--dry-run"}), 0) << err_.str();
  EXPECT_EQ(out_.str(), "would add\tr\tn1\t1\t\\x1B]0;owned\\x07\\x9B\xC3\xA9\xC2\xA0\nwould import 1 server from " + dir_.File("c.csv") +
                            "; nothing written\n");
  EXPECT_EQ(ReadBytes(path_), before);
  RunSql(path_, "create trigger third before insert on Server when (select count(*) from Server) >= 8 "
                "begin select raise(abort, 'refused'); end");
  const std::string withTrigger = ReadBytes(path_);
  EXPECT_EQ(import("d.csv", "n1,1,u,p,1\r\nn2,1,u,p,2\r\nn3,1,u,p,3\r\n"), 1);
  EXPECT_NE(err_.str().find("refused; nothing imported"), std::string::npos) << err_.str();
  EXPECT_EQ(ReadBytes(path_), withTrigger);
  RunSql(path_, "drop trigger third");

  // A protected file's passwords are compared opened: the same password is already there.
  ToolInput input;
  std::istringstream login("admin\n");
  input.lines = &login;
  ASSERT_EQ(Tool({"protect", path_}, input), 0) << err_.str();
  ASSERT_EQ(import("e.csv", "h1,3389,ops,pw1,again\r\nh1,3389,ops,pw9,E\r\n"), 0) << err_.str();
  EXPECT_EQ(out_.str(), "imported 1 server from " + dir_.File("e.csv") +
                            " (1 already there, 1 beside a server with another password)\n");
}

TEST_F(DataFileCommandsTest, EveryCommandHasItsHelp) {
  ASSERT_EQ(Tool({"--help"}), 0);
  const std::string overview = out_.str();
  for (const char* command : {"create", "add-server", "list", "check", "set-login-password", "export", "import",
                              "team init", "team join", "team push", "team leave", "team rekey"}) {
    SCOPED_TRACE(command);
    EXPECT_NE(overview.find(std::string("\n  ") + command + " "), std::string::npos) << overview;
    // "team init" is two arguments.
    std::vector<std::string> arguments;
    std::istringstream words(command);
    for (std::string word; words >> word;) arguments.push_back(word);
    arguments.push_back("--help");
    EXPECT_EQ(Tool(arguments), 0);
    EXPECT_EQ(out_.str().rfind(std::string("usage: korvane-data ") + command + " ", 0), 0u);
    EXPECT_EQ(err_.str(), "");
  }
}

}  // namespace
}  // namespace korvane
