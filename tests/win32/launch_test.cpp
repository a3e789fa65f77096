// The connect's Win32 pieces on real Wine: the protected password turned back with
// CryptUnprotectData, the temporary directory, the connection file's bytes, and the client's
// start, with a test client installed as the system directory's mstsc.exe.
#include <gtest/gtest.h>
#include <windows.h>
#include <wincrypt.h>

#include <filesystem>
#include <string>
#include <vector>

#include "launch/connect.h"
#include "launch/cp936_win32.h"
#include "platform/platform_win32.h"
#include "platform/text_win32.h"
#include "support/fake_form.h"
#include "win32/support/drive_win32.h"
#include "win32/support/test_client.h"
#include "servers/main_layout.h"

namespace korvane {
namespace {

namespace fs = std::filesystem;
using C = MainControl;
using testing::Bytes;
using testing::Dos;
using testing::EnvOverride;
using testing::Exists;
using testing::ReadAll;
using testing::SystemClientPath;
using testing::Unhex;
using testing::Unprotect;
using testing::Unprotected;

Bytes Utf16Bytes(const std::u16string& text) {
  Bytes bytes;
  for (const char16_t unit : text) {
    bytes.push_back(static_cast<unsigned char>(unit & 0xFF));
    bytes.push_back(static_cast<unsigned char>(unit >> 8));
  }
  return bytes;
}

// Points every source GetTempPathW consults at one path.
struct TempOverride {
  explicit TempOverride(const std::string& path) : tmp("TMP", path), temp("TEMP", path), profile("USERPROFILE", path) {}
  EnvOverride tmp, temp, profile;
};

// A folder of this test's own under the prefix's temporary directory (no blank in its name, so
// a test chooses whether a path has one), removed with everything in it at the end.
class Scratch {
 public:
  Scratch() {
    wchar_t temp[MAX_PATH + 1];
    const DWORD n = GetTempPathW(MAX_PATH + 1, temp);
    path_ = Narrow(std::wstring(temp, n)) + "korvane-launch-" + std::to_string(GetCurrentProcessId()) + "\\";
    fs::create_directories(Widen(path_));
  }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  ~Scratch() {
    std::error_code ignored;
    fs::remove_all(Widen(path_), ignored);
  }
  std::string Make(const std::string& name) const {
    fs::create_directories(Widen(path_ + name));
    return path_ + name + "\\";
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// ---- The password blob ----------------------------------------------------------------

TEST(Cp936, TellsWhichTextsTheCodePageHolds) {
  Win32Platform platform;
  EXPECT_TRUE(platform.FitsCodePage936("db01.corp:3389 运维 €"));
  EXPECT_FALSE(platform.FitsCodePage936("서버"));
  EXPECT_FALSE(platform.FitsCodePage936("host😀"));
  EXPECT_FALSE(platform.FitsCodePage936("Àdmin²"));  // no look-alikes: not "Admin2"
}

TEST(Cp936, ToUtf16TakesGbkBytesAndKeepsTheTerminator) {
  struct Case {
    std::string source;
    Bytes wide;
  };
  const Case cases[] = {
      {"psw", {'p', 0, 's', 0, 'w', 0, 0, 0}},
      {"", {0, 0}},
      {"\xB7\xFE\xCE\xF1\xC6\xF7", {0x0D, 0x67, 0xA1, 0x52, 0x68, 0x56, 0, 0}},  // 服务器
      {"a\xB9\xDC" "b", {'a', 0, 0xA1, 0x7B, 'b', 0, 0, 0}},                       // a管b
  };
  for (const Case& c : cases) EXPECT_EQ(ToUtf16Cp936(c.source), c.wide) << c.source;
}

TEST(PasswordBlob, TurnsBackIntoTheWidePasswordItsTerminatorAndOneZeroByte) {
  struct Case {
    std::string password;
    std::u16string wide;
  };
  std::string longPassword;
  std::u16string longWide;
  for (int i = 0; i < 100; ++i) {
    longPassword += "密a9";
    longWide += u"密a9";
  }
  const Case cases[] = {
      {"abc", u"abc"},
      {"Admin管理员2024!", u"Admin管理员2024!"},
      {"pa€ss", u"pa€ss"},                  // € is in code page 936 (0x80)
      {"key😀键", u"key😀键"},               // the emoji is not: taken exactly
      {"한국 pw", u"한국 pw"},               // nor is Hangul
      {longPassword, longWide},
  };
  Win32Platform platform;
  for (const Case& c : cases) {
    const std::string hex = platform.ProtectPasswordHex(c.password);
    ASSERT_FALSE(hex.empty()) << c.password;
    EXPECT_EQ(hex.size() % 2, 0u);
    EXPECT_EQ(hex.find_first_not_of("0123456789ABCDEF"), std::string::npos);
    const Unprotected u = Unprotect(Unhex(hex));
    ASSERT_TRUE(u.ok) << c.password;
    EXPECT_EQ(u.description, L"psw");
    Bytes expected = Utf16Bytes(c.wide);
    expected.insert(expected.end(), {0, 0, 0});
    EXPECT_EQ(u.data, expected) << c.password;
  }
  const Unprotected abc = Unprotect(Unhex(platform.ProtectPasswordHex("abc")));
  EXPECT_EQ(abc.data.size(), 9u);
}

// ---- The temporary directory ----------------------------------------------------------

TEST(TempDirectory, EndsInExactlyOneBackslash) {
  Win32Platform platform;
  for (const char* tmp : {"C:\\korvane tmp", "C:\\korvane tmp\\"}) {
    TempOverride over(tmp);
    EXPECT_EQ(platform.TempDirectory(), "C:\\korvane tmp\\") << tmp;
  }
}

TEST(TempDirectory, EmptyWhenTheSystemCannotTellIt) {
  TempOverride over("C:\\" + std::string(300, 'a'));
  wchar_t buffer[MAX_PATH + 1];
  ASSERT_EQ(GetTempPathW(MAX_PATH + 1, buffer), 0u);  // the situation this test is about
  EXPECT_EQ(Win32Platform().TempDirectory(), "");
}

// ---- The connection file --------------------------------------------------------------

TEST(ConnectionFile, HostAndUserGoInAsCodePage936Bytes) {
  Scratch scratch;
  const std::string path = scratch.Make("连接 文件") + "text.rdp";
  ASSERT_TRUE(Win32Platform().WriteConnectionFile(path, "full address:s:服务器:3389\r\nusername:s:管理员"));
  EXPECT_EQ(ReadAll(path), "full address:s:\xB7\xFE\xCE\xF1\xC6\xF7:3389\r\nusername:s:\xB9\xDC\xC0\xED\xD4\xB1");
}

TEST(ConnectionFile, ALongerEarlierFileLeavesNothingBehind) {
  Scratch scratch;
  const std::string path = scratch.path() + "text.rdp";
  Win32Platform platform;
  ASSERT_TRUE(platform.WriteConnectionFile(path, std::string(1000, 'x')));
  ASSERT_TRUE(platform.WriteConnectionFile(path, "screen mode id:i:1\r\nredirectclipboard:i:1"));
  EXPECT_EQ(ReadAll(path), "screen mode id:i:1\r\nredirectclipboard:i:1");
}

TEST(ConnectionFile, FailsWhenTheFileCannotBeWritten) {
  Scratch scratch;
  Win32Platform platform;
  EXPECT_FALSE(platform.WriteConnectionFile(scratch.path() + "no such folder\\text.rdp", "x"));

  const std::string held = scratch.path() + "held.rdp";
  const HANDLE other = CreateFileW(Widen(held).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(other, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(platform.WriteConnectionFile(held, "x"));
  CloseHandle(other);
  EXPECT_TRUE(platform.WriteConnectionFile(held, "x"));
}

// ---- The client's start ---------------------------------------------------------------

std::string DirectoryOf(const std::string& path) { return path.substr(0, path.find_last_of('\\') + 1); }

std::string OwnDirectory() {
  char module[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, module, MAX_PATH);
  return DirectoryOf(std::string(module, n));
}

// The test client sits in the system directory, where the program must take it from, and
// the same program sits beside this test and in the current directory, where the usual
// search for "mstsc" would find it first. Its record names the copy that ran.
class ClientLaunch : public ::testing::Test {
 protected:
  void SetUp() override {
    log_ = scratch_.Make("log");
    cwd_ = scratch_.Make("current");
    char cwd[MAX_PATH];
    oldCwd_.assign(cwd, GetCurrentDirectoryA(MAX_PATH, cwd));
    ASSERT_TRUE(SetCurrentDirectoryA(cwd_.c_str()));
    installed_ = {SystemClientPath(), OwnDirectory() + "mstsc.exe", cwd_ + "mstsc.exe"};
    for (const std::string& target : installed_) {
      ASSERT_TRUE(CopyFileA(Dos(KORVANE_TEST_CLIENT).c_str(), target.c_str(), FALSE)) << target;
    }
    form_.SetChecked(Id(C::单选框_窗口), true);
    form_.SetText(Id(C::编辑框_Host), "10.20.30.40");
    form_.SetText(Id(C::编辑框_端口), "3389");
    form_.SetText(Id(C::编辑框_用户名), "管理员");
    form_.SetText(Id(C::编辑框_密码), "Secr3t密");
  }

  void TearDown() override {
    EXPECT_EQ(boxes_.Acted() ? shown_ : L"", expectedBox_);
    WaitForClientExit();
    for (const std::string& target : installed_) DeleteFileA(target.c_str());
    SetCurrentDirectoryA(oldCwd_.c_str());
  }

  // Waits for the client's record; a deadline for failure, not a measure of speed.
  bool WaitForClient() { return testing::WaitForClientRecord(log_); }
  void WaitForClientExit() { testing::WaitForClientExit(log_); }

  // The client found, the way the real one does, the file the connect wrote at `path`.
  void ExpectTheClientGot(const std::string& path) {
    const std::string file = ReadAll(path);
    EXPECT_EQ(file.rfind("screen mode id:i:1\r\n", 0), 0u) << path;
    EXPECT_EQ(ReadAll(log_ + "text.rdp"), file);
  }

  void ExpectTheSystemCopyRan() {
    EXPECT_EQ(lstrcmpiA(ReadAll(log_ + "module.txt").c_str(), SystemClientPath().c_str()), 0)
        << ReadAll(log_ + "module.txt");
  }

  // Any message box the connect shows is noted as "caption|text" and answered, so that a
  // refusal fails the test instead of blocking it.
  std::wstring shown_, expectedBox_;
  testing::WindowWatcher boxes_{L"#32770",
                                [this](HWND box) {
                                  shown_ = testing::WindowTextOf(box) + L"|" + testing::MessageBoxText(box);
                                  testing::PressMessageBoxButton(box, IDOK);
                                },
                                std::chrono::seconds(30)};
  Scratch scratch_;
  std::string log_, cwd_, oldCwd_;
  std::vector<std::string> installed_;
  EnvOverride logVariable_{"KORVANE_TEST_CLIENT_LOG", scratch_.path() + "log\\"};
  testing::FakeForm form_{MainLayout()};
  Win32Platform platform_;
};

TEST_F(ClientLaunch, VirtualDesktopStartsTheSystemClientOnTheWrittenFile) {
  const std::string temp = scratch_.Make("temp with blanks");
  TempOverride over(temp.substr(0, temp.size() - 1));
  ConnectToServer(form_, platform_);
  ASSERT_TRUE(WaitForClient());

  EXPECT_EQ(ReadAll(log_ + "command_line.txt"), "mstsc \"" + temp + "text.rdp\"");
  ExpectTheSystemCopyRan();
  ExpectTheClientGot(temp + "text.rdp");
  const std::string file = ReadAll(temp + "text.rdp");

  const std::string marker = "\r\npassword 51:b:";
  const size_t at = file.find(marker);
  ASSERT_NE(at, std::string::npos);
  const std::string hex = file.substr(at + marker.size(), file.find("\r\n", at + 2) - at - marker.size());
  ConnectionSettings settings = ReadConnectionSettings(form_);
  settings.user = "\xB9\xDC\xC0\xED\xD4\xB1";  // 管理员 as the file holds it
  EXPECT_EQ(file, BuildRdpText(settings, hex));
  Bytes expected = Utf16Bytes(u"Secr3t密");
  expected.insert(expected.end(), {0, 0, 0});
  EXPECT_EQ(Unprotect(Unhex(hex)).data, expected);
}

TEST_F(ClientLaunch, RealDesktopAddsTheAdminSwitch) {
  const std::string temp = scratch_.Make("t");
  TempOverride over(temp);
  form_.SetChecked(Id(C::单选框_真实桌面), true);
  form_.SetChecked(Id(C::单选框_虚拟桌面), false);
  ConnectToServer(form_, platform_);
  ASSERT_TRUE(WaitForClient());
  EXPECT_EQ(ReadAll(log_ + "command_line.txt"), "mstsc " + temp + "text.rdp /admin");
  ExpectTheSystemCopyRan();
  ExpectTheClientGot(temp + "text.rdp");
}

TEST_F(ClientLaunch, ATemporaryFolderNamedInAnyScriptReachesTheClient) {
  const std::string temp = scratch_.Make("Ørsted😀");
  TempOverride over(temp);
  ConnectToServer(form_, platform_);
  ASSERT_TRUE(WaitForClient());
  EXPECT_EQ(ReadAll(log_ + "command_line.txt"), "mstsc " + temp + "text.rdp");
  ExpectTheClientGot(temp + "text.rdp");
}

// A read-only text.rdp left by an earlier connect is the usual case on Windows, but Wine run as
// root writes over read-only files: the earlier file is held open without sharing instead.
TEST_F(ClientLaunch, AFileThatCannotBeWrittenIsReportedAndNoClientStarts) {
  const std::string temp = scratch_.Make("t");
  ASSERT_TRUE(platform_.WriteConnectionFile(temp + "text.rdp", "full address:s:earlier:3389"));
  const HANDLE held = CreateFileW(Widen(temp + "text.rdp").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  TempOverride over(temp);
  expectedBox_ = L"信息：|无法写入连接文件，本次连接已取消!";
  ConnectToServer(form_, platform_);
  CloseHandle(held);
  EXPECT_FALSE(Exists(log_ + "done.txt"));
  EXPECT_EQ(ReadAll(temp + "text.rdp"), "full address:s:earlier:3389");
}

TEST_F(ClientLaunch, WithoutATemporaryDirectoryTheFileIsInTheCurrentDirectory) {
  TempOverride over("C:\\" + std::string(300, 'a'));
  ConnectToServer(form_, platform_);
  ASSERT_TRUE(WaitForClient());
  EXPECT_EQ(ReadAll(log_ + "command_line.txt"), "mstsc text.rdp");
  ExpectTheSystemCopyRan();
  ExpectTheClientGot(cwd_ + "text.rdp");
}

TEST_F(ClientLaunch, AClientOutsideTheSystemDirectoryIsNeverStarted) {
  ASSERT_TRUE(DeleteFileA(SystemClientPath().c_str()));
  EXPECT_FALSE(platform_.LaunchClient("mstsc text.rdp"));
  EXPECT_FALSE(Exists(log_ + "done.txt"));
}

}  // namespace
}  // namespace korvane
