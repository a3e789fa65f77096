#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "launch/connect.h"
#include "support/fake_form.h"
#include "support/main_window_form.h"
#include "support/fake_platform.h"
#include "servers/main_layout.h"

namespace korvane {
namespace {

using C = MainControl;

size_t LineCount(const std::string& text) {
  size_t n = 1;
  for (size_t i = text.find("\r\n"); i != std::string::npos; i = text.find("\r\n", i + 2)) ++n;
  return n;
}

testing::FakeForm FilledWindow() { return testing::OpenedMainWindow("192.168.7.20", "3389", "ops", "Secr3t"); }

class Connect : public ::testing::Test {
 protected:
  Connect() : form(FilledWindow()) {
    platform.tempDirectory = "C:\\Users\\ops\\AppData\\Local\\Temp\\";
    platform.protectedHex = "01000000D08C9DDF";
  }

  void ExpectNothingStarted() {
    EXPECT_TRUE(platform.protectedPasswords.empty());
    EXPECT_TRUE(platform.writtenFiles.empty());
    EXPECT_TRUE(platform.launchedCommandLines.empty());
  }

  void ExpectOneMessage(const char* text) {
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text, text);
    EXPECT_EQ(platform.messages[0].caption, "信息：");
    EXPECT_EQ(platform.messages[0].buttons, MessageButtons::Ok);
    EXPECT_EQ(platform.messages[0].icon, MessageIcon::None);
  }

  testing::FakeForm form;
  testing::FakePlatform platform;
};

TEST_F(Connect, WritesTheFileAndStartsTheClientOnIt) {
  ConnectToServer(form, platform);

  EXPECT_TRUE(platform.messages.empty());
  EXPECT_EQ(platform.protectedPasswords, std::vector<std::string>{"Secr3t"});
  ASSERT_EQ(platform.writtenFiles.size(), 1u);
  EXPECT_EQ(platform.writtenFiles[0].path, "C:\\Users\\ops\\AppData\\Local\\Temp\\text.rdp");
  const std::string& text = platform.writtenFiles[0].text;
  EXPECT_EQ(LineCount(text), 14u);
  EXPECT_EQ(text.rfind("screen mode id:i:1\r\ndesktopwidth:i:1024\r\ndesktopheight:i:768\r\n", 0), 0u);
  EXPECT_NE(text.find("\r\nfull address:s:192.168.7.20:3389\r\nautoreconnection enabled:i:1\r\n"),
            std::string::npos);
  EXPECT_NE(text.find("\r\nusername:s:ops\r\npassword 51:b:01000000D08C9DDF\r\nredirectclipboard:i:1"),
            std::string::npos);
  EXPECT_EQ(platform.launchedCommandLines,
            std::vector<std::string>{"mstsc C:\\Users\\ops\\AppData\\Local\\Temp\\text.rdp"});
}

TEST_F(Connect, CommandLineFollowsTheDesktopChoiceAndTheTemporaryDirectory) {
  struct Case {
    const char* temp;
    bool realDesktop;
    const char* path;
    const char* commandLine;
  };
  const Case cases[] = {
      {"C:\\Temp\\", false, "C:\\Temp\\text.rdp", "mstsc C:\\Temp\\text.rdp"},
      {"C:\\Temp\\", true, "C:\\Temp\\text.rdp", "mstsc C:\\Temp\\text.rdp /admin"},
      {"C:\\Users\\John Smith\\", false, "C:\\Users\\John Smith\\text.rdp",
       "mstsc \"C:\\Users\\John Smith\\text.rdp\""},
      {"C:\\Users\\John Smith\\", true, "C:\\Users\\John Smith\\text.rdp",
       "mstsc \"C:\\Users\\John Smith\\text.rdp\" /admin"},
      {"", false, "text.rdp", "mstsc text.rdp"},
      {"", true, "text.rdp", "mstsc text.rdp /admin"},
  };
  for (const Case& c : cases) {
    testing::FakePlatform p;
    p.tempDirectory = c.temp;
    form.SetChecked(Id(C::单选框_真实桌面), c.realDesktop);
    form.SetChecked(Id(C::单选框_虚拟桌面), !c.realDesktop);
    ConnectToServer(form, p);
    ASSERT_EQ(p.writtenFiles.size(), 1u) << c.commandLine;
    EXPECT_EQ(p.writtenFiles[0].path, c.path);
    EXPECT_EQ(p.launchedCommandLines, std::vector<std::string>{c.commandLine});
  }
}

TEST_F(Connect, EachEmptyFieldGivesOneMessageAndNothingElse) {
  for (const C field : {C::编辑框_Host, C::编辑框_端口, C::编辑框_用户名, C::编辑框_密码}) {
    testing::FakeForm w = FilledWindow();
    w.SetText(Id(C::编辑框_Host), " ");  // blanks count as filled
    w.SetText(Id(field), "");
    platform = {};
    ConnectToServer(w, platform);
    ExpectOneMessage(kMissingFieldsMessage);
    ExpectNothingStarted();
    EXPECT_EQ(w.Text(Id(C::编辑框_Host)), field == C::编辑框_Host ? "" : " ");  // fields keep their text
    EXPECT_EQ(w.Text(Id(C::编辑框_密码)), field == C::编辑框_密码 ? "" : "Secr3t");
  }
}

TEST_F(Connect, ControlCharacterInHostPortOrUserIsRefused) {
  for (const C field : {C::编辑框_Host, C::编辑框_端口, C::编辑框_用户名}) {
    for (const char* bad : {"\r\n", "\n", "\t", "\x7F"}) {
      testing::FakeForm w = FilledWindow();
      w.SetText(Id(field), std::string("x") + bad + "username:s:evil");
      platform = {};
      ConnectToServer(w, platform);
      ExpectOneMessage(kControlCharacterMessage);
      ExpectNothingStarted();
    }
  }
  // The password reaches the file only protected: any character is a valid password.
  form.SetText(Id(C::编辑框_密码), "a\r\nb\t\x01\x7F");
  platform = {};
  ConnectToServer(form, platform);
  EXPECT_TRUE(platform.messages.empty());
  EXPECT_EQ(platform.protectedPasswords, std::vector<std::string>{"a\r\nb\t\x01\x7F"});
  EXPECT_EQ(platform.launchedCommandLines.size(), 1u);
}

TEST_F(Connect, AHostPortOrUserTheFileCannotHoldIsRefused) {
  for (const C field : {C::编辑框_Host, C::编辑框_端口, C::编辑框_用户名}) {
    testing::FakeForm w = FilledWindow();
    w.SetText(Id(field), "서버");
    platform = {};
    platform.outsideCodePage936 = {"서버"};
    ConnectToServer(w, platform);
    ExpectOneMessage(kOutsideCodePageMessage);
    ExpectNothingStarted();
  }
  // The password reaches the file only protected, converted exactly: it may hold anything.
  form.SetText(Id(C::编辑框_密码), "서버");
  platform = {};
  platform.outsideCodePage936 = {"서버"};
  ConnectToServer(form, platform);
  EXPECT_TRUE(platform.messages.empty());
  EXPECT_EQ(platform.launchedCommandLines.size(), 1u);
}

TEST_F(Connect, ResolutionWithoutWidthAndHeightIsRefused) {
  form.SetComboIndex(Id(C::组合框_分辨率), -1);
  ConnectToServer(form, platform);
  ExpectOneMessage(kNoResolutionMessage);
  ExpectNothingStarted();
}

TEST_F(Connect, MissingFieldIsReportedBeforeAnyOtherFault) {
  form.SetText(Id(C::编辑框_Host), "a\nb");
  form.SetText(Id(C::编辑框_密码), "");
  form.SetComboIndex(Id(C::组合框_分辨率), -1);
  ConnectToServer(form, platform);
  ExpectOneMessage(kMissingFieldsMessage);
  ExpectNothingStarted();
}

TEST_F(Connect, SecondConnectWritesOnlyItsOwnText) {
  form.SetChecked(Id(C::单选框_窗口), false);
  form.SetChecked(Id(C::单选框_全屏), true);
  form.SetComboIndex(Id(C::组合框_分辨率), 5);
  form.SetChecked(Id(C::选择框_磁盘), true);
  ConnectToServer(form, platform);

  form.SetChecked(Id(C::单选框_全屏), false);
  form.SetChecked(Id(C::单选框_窗口), true);
  form.SetComboIndex(Id(C::组合框_分辨率), 0);
  form.SetChecked(Id(C::选择框_磁盘), false);
  form.SetChecked(Id(C::选择框_重连), false);
  form.SetText(Id(C::编辑框_Host), "10.0.0.9");
  ConnectToServer(form, platform);

  ASSERT_EQ(platform.writtenFiles.size(), 2u);
  EXPECT_EQ(LineCount(platform.writtenFiles[0].text), 17u);
  EXPECT_EQ(platform.writtenFiles[1].path, platform.writtenFiles[0].path);
  EXPECT_EQ(platform.writtenFiles[1].text,
            "screen mode id:i:1\r\n"
            "desktopwidth:i:800\r\n"
            "desktopheight:i:600\r\n"
            "session bpp:i:16 \r\n"
            "winposstr:s:2,3,0,0,800,600\r\n"
            "compression:i:1\r\n"
            "displayconnectionbar:i:1\r\n"
            "disable wallpaper:i:1\r\n"
            "disable themes:i:0\r\n"
            "full address:s:10.0.0.9:3389\r\n"
            "autoreconnection enabled:i:0\r\n"
            "username:s:ops\r\n"
            "password 51:b:01000000D08C9DDF\r\n"
            "redirectclipboard:i:1");
  EXPECT_EQ(platform.launchedCommandLines.size(), 2u);
}

TEST_F(Connect, AFailedProtectionIsSilentAndTheClientStillStarts) {
  platform.protectedHex = "";
  ConnectToServer(form, platform);
  EXPECT_TRUE(platform.messages.empty());
  ASSERT_EQ(platform.writtenFiles.size(), 1u);
  EXPECT_NE(platform.writtenFiles[0].text.find("\r\npassword 51:b:\r\n"), std::string::npos);
  EXPECT_EQ(platform.launchedCommandLines.size(), 1u);
}

TEST_F(Connect, AFileNotWrittenStartsNoClientAndAFailedStartIsShown) {
  platform.writeSucceeds = false;
  ConnectToServer(form, platform);
  ExpectOneMessage(kFileNotWrittenMessage);
  EXPECT_TRUE(platform.launchedCommandLines.empty());

  platform = {};
  platform.launchSucceeds = false;
  ConnectToServer(form, platform);
  ExpectOneMessage(kClientNotStartedMessage);
  EXPECT_EQ(platform.launchedCommandLines.size(), 1u);
}

}  // namespace
}  // namespace korvane
