// When the shell cannot open the login window's address, the link runs the command that the
// registry gives for opening ".htm" files, with the address in place of its "%1".
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "support/data_files.h"
#include "ui/win32/hyperlink_win32.h"
#include "win32/support/test_client.h"

namespace korvane {
namespace {

// Points ".htm" at a class of the test's own for as long as it lives.
class HtmClassOverride {
 public:
  explicit HtmClassOverride(const std::wstring& command) {
    wchar_t old[256] = {};
    DWORD bytes = sizeof old;
    hadOld_ = RegGetValueW(HKEY_CLASSES_ROOT, L".htm", nullptr, RRF_RT_REG_SZ, nullptr, old, &bytes) == ERROR_SUCCESS;
    old_ = old;
    Set(L".htm", L"KorvaneTest.htmfile");
    Set(L"KorvaneTest.htmfile\\shell\\open\\command", command);
  }
  ~HtmClassOverride() {
    RegDeleteTreeW(HKEY_CLASSES_ROOT, L"KorvaneTest.htmfile");
    if (hadOld_) {
      Set(L".htm", old_);
    } else {
      RegDeleteKeyValueW(HKEY_CLASSES_ROOT, L".htm", nullptr);
    }
  }
  HtmClassOverride(const HtmClassOverride&) = delete;
  HtmClassOverride& operator=(const HtmClassOverride&) = delete;

 private:
  static void Set(const wchar_t* key, const std::wstring& value) {
    RegSetKeyValueW(HKEY_CLASSES_ROOT, key, nullptr, REG_SZ, value.c_str(),
                    static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  }
  bool hadOld_ = false;
  std::wstring old_;
};

TEST(LinkFallback, RunsTheRegisteredHtmCommandWithTheAddress) {
  testing::TempDir log("korvane link log");  // ASCII: the client reads it through the ANSI API
  const std::string logPath = testing::Utf8(log.path()) + "\\";
  testing::EnvOverride logVariable("KORVANE_TEST_CLIENT_LOG", logPath);
  const std::string client = testing::Dos(KORVANE_TEST_CLIENT);
  const std::wstring wideClient(client.begin(), client.end());
  HtmClassOverride htm(L"\"" + wideClient + L"\" -nohome \"%1\" -extra");

  ASSERT_TRUE(RunHtmOpenCommand("http://oxle.test/"));
  ASSERT_TRUE(testing::WaitForClientRecord(logPath));
  // Cut before the quoted placeholder, then a blank and the address.
  EXPECT_EQ(testing::ReadAll(logPath + "command_line.txt"), "\"" + client + "\" -nohome  http://oxle.test/");
  testing::WaitForClientExit(logPath);
}

TEST(LinkFallback, FailsWithoutARegisteredCommand) {
  HtmClassOverride htm(L"");
  EXPECT_FALSE(RunHtmOpenCommand("http://oxle.test/"));
}

}  // namespace
}  // namespace korvane
