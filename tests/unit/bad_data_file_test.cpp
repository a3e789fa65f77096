// A data file that cannot be used, whatever is wrong with it, ends the login with the
// program's report, never with a crash, a hang or a login into a file whose saves would be
// lost, and the file keeps its bytes.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <random>

#ifndef _WIN32
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>
#endif

#include "app/data_file_failure.h"
#include "app/program.h"
#include "login/login_layout.h"
#include "login/login_window.h"
#include "support/data_files.h"
#include "support/fake_form.h"
#include "support/fake_platform.h"

namespace korvane {
namespace {

namespace fs = std::filesystem;

// What a case leaves in force while the login runs and undoes afterwards. Null when the case
// cannot be made on this system.
struct Undo {
  Undo() = default;
  Undo(const Undo&) = delete;
  Undo& operator=(const Undo&) = delete;
  ~Undo() {
    if (action) action();
  }
  std::function<void()> action;
};
using Guard = std::shared_ptr<Undo>;

struct CountingLoader : WindowLoader {
  bool LoadMainWindow() override {
    ++loads;
    return true;
  }
  int loads = 0;
};

// One login with the right password, as a fresh start of the program makes it.
struct Login {
  Login() {
    form.SetText(Id(LoginControl::编辑框_Pass), "admin");
    window.CheckLogin();
  }
  testing::FakeForm form{LoginLayout()};
  testing::FakePlatform platform;
  CountingLoader loader;
  LoginWindow window{form, platform, loader};
};

std::string Bytes(const fs::path& path) {
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) return "(not a file)";
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

Guard Write(const std::string& path, const std::string& bytes) {
  testing::WriteBytes(path, bytes);
  return std::make_shared<Undo>();
}

#ifndef _WIN32
// File modes do not stop root, which the tests run as; the immutable flag stops everyone.
bool SetImmutable(const fs::path& path, bool on) {
  const int fd = open(path.c_str(), O_RDONLY);
  int flags = 0;
  bool done = fd >= 0 && ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
  if (done) {
    flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
    done = ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
  }
  if (fd >= 0) close(fd);
  return done;
}
#endif

// Read-only by its mode (and, where the file system has it, by the immutable flag); null when
// this user can still open it for writing, so the case cannot be made here.
Guard ReadOnly(const std::string& path, const std::string& good) {
  Write(path, good);
  const fs::path file = fs::u8path(path);
  fs::permissions(file, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  auto restore = std::make_shared<Undo>();
  restore->action = [file] {
#ifndef _WIN32
    SetImmutable(file, false);
#endif
    fs::permissions(file, fs::perms::owner_write, fs::perm_options::add);
  };
#ifndef _WIN32
  SetImmutable(file, true);
#endif
  if (std::fstream(file, std::ios::in | std::ios::out | std::ios::binary).is_open()) return nullptr;
  return restore;
}

// Another copy of the program in the middle of a save: a write transaction left open.
Guard Locked(const std::string& path, const std::string& good) {
  Write(path, good);
  sqlite3* raw = nullptr;
  sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
  auto holder = std::make_shared<Undo>();
  holder->action = [raw] {
    sqlite3_exec(raw, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(raw);
  };
  EXPECT_EQ(sqlite3_exec(raw, "BEGIN IMMEDIATE; INSERT INTO Server (备注) VALUES ('half saved')", nullptr, nullptr,
                         nullptr),
            SQLITE_OK);
  return holder;
}

Guard Flipped(const std::string& path, std::string bytes, size_t offset) {
  bytes[offset] = static_cast<char>(bytes[offset] ^ 0xFF);
  return Write(path, bytes);
}

TEST(BadDataFile, EveryKindIsReportedAtTheLoginAndLeftAsItWas) {
  testing::TempDir dir("korvane 坏文件");
  SetProgramDirectoryFromExecutable(dir.File("korvane.exe"));
  const std::string path = DataFilePath();
  // A file in use: servers added and one deleted, so the last page holds the id counter.
  const std::string goodPath = dir.File("good.mdb");
  testing::MakeDataFile(goodPath);
  for (const char* host : {"10.0.0.1", "10.0.0.2", "10.0.0.3"}) testing::AddServer(goodPath, host, "3389", "u", "p", "r");
  testing::RunSql(goodPath, "delete from Server where id=3");
  const std::string good = Bytes(fs::u8path(goodPath));
  ASSERT_EQ(good.size() % 4096, 0u);
  std::string noise(4096, '\0');
  std::mt19937 random(12);
  for (char& c : noise) c = static_cast<char>(random());
  // The unharmed file logs in: each case below spoils it in one way.
  Write(path, good);
  ASSERT_EQ(Login().loader.loads, 1);

  const struct {
    const char* what;
    std::function<Guard()> make;
  } cases[] = {
      {"empty file", [&] { return Write(path, ""); }},
      {"random bytes", [&] { return Write(path, noise); }},
      {"random bytes after a good header", [&] { return Write(path, good.substr(0, 100) + noise); }},
      {"cut inside the header", [&] { return Write(path, good.substr(0, 50)); }},
      {"only the header", [&] { return Write(path, good.substr(0, 100)); }},
      {"only the first page", [&] { return Write(path, good.substr(0, 4096)); }},
      {"last page missing", [&] { return Write(path, good.substr(0, good.size() - 4096)); }},
      {"one byte short", [&] { return Write(path, good.substr(0, good.size() - 1)); }},
      {"ten bytes short", [&] { return Write(path, good.substr(0, good.size() - 10)); }},
      {"a stray byte at the end", [&] { return Write(path, good + '\0'); }},
      {"header magic flipped", [&] { return Flipped(path, good, 0); }},
      {"page size flipped", [&] { return Flipped(path, good, 16); }},
      {"write version flipped", [&] { return Flipped(path, good, 18); }},
      {"payload fraction flipped", [&] { return Flipped(path, good, 21); }},
      {"text encoding flipped", [&] { return Flipped(path, good, 59); }},
      {"schema format flipped", [&] { return Flipped(path, good, 47); }},
      {"another database password", [&] {
         Write(path, good);
         testing::RunSql(path, "update Korvane set value='x' where name='database password'");
         return std::make_shared<Undo>();
       }},
      {"read-only", [&] { return ReadOnly(path, good); }},
      {"locked by another connection's write", [&] { return Locked(path, good); }},
      {"a directory named mstsc.mdb", [&] {
         fs::create_directory(fs::u8path(path));
         return std::make_shared<Undo>();
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::error_code ec;
    fs::remove_all(fs::u8path(path), ec);
    {
      const Guard guard = c.make();
      if (!guard) {
        std::printf("skipped %s: this user can write a read-only file here\n", c.what);
        continue;
      }
      const std::string before = Bytes(fs::u8path(path));
      const Login login;
      EXPECT_EQ(login.loader.loads, 0);
      EXPECT_EQ(login.platform.messages.size(), 1u);
      if (!login.platform.messages.empty()) {
        EXPECT_EQ(login.platform.messages[0].text, UnopenableDataFileMessage(path));
        EXPECT_EQ(login.platform.messages[0].caption, "信息：");
      }
      EXPECT_EQ(login.platform.shellTargets, std::vector<std::string>{kWebAddress});
      EXPECT_EQ(login.platform.endProgramCalls, 1);
      EXPECT_EQ(Bytes(fs::u8path(path)), before);
    }
    EXPECT_FALSE(fs::exists(fs::u8path(path + "-journal"))) << "a journal left beside the file";
  }
}

}  // namespace
}  // namespace korvane
