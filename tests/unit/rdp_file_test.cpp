#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "launch/connect.h"
#include "launch/rdp_file.h"
#include "support/crlf_lines.h"
#include "support/fake_form.h"
#include "support/main_window_form.h"
#include "servers/main_layout.h"

namespace korvane {
namespace {

using C = MainControl;

testing::FakeForm OpenedMainWindow() { return testing::OpenedMainWindow("10.1.2.3", "3389", "administrator", "secret"); }

TEST(RdpText, AsTheMainWindowOpensIsTheWholeFileExactly) {
  const testing::FakeForm form = OpenedMainWindow();
  const std::string text = BuildRdpText(ReadConnectionSettings(form), "01AB");
  EXPECT_EQ(text,
            "screen mode id:i:1\r\n"
            "desktopwidth:i:1024\r\n"
            "desktopheight:i:768\r\n"
            "session bpp:i:16 \r\n"
            "winposstr:s:2,3,0,0,800,600\r\n"
            "compression:i:1\r\n"
            "displayconnectionbar:i:1\r\n"
            "disable wallpaper:i:1\r\n"
            "disable themes:i:0\r\n"
            "full address:s:10.1.2.3:3389\r\n"
            "autoreconnection enabled:i:1\r\n"
            "username:s:administrator\r\n"
            "password 51:b:01AB\r\n"
            "redirectclipboard:i:1");
  EXPECT_EQ(testing::CrlfLines(text).size(), 14u);
}

TEST(RdpText, FullScreenWithTheLastResolution) {
  testing::FakeForm form = OpenedMainWindow();
  form.SetChecked(Id(C::单选框_窗口), false);
  form.SetChecked(Id(C::单选框_全屏), true);
  form.SetComboIndex(Id(C::组合框_分辨率), 5);
  const auto lines = testing::CrlfLines(BuildRdpText(ReadConnectionSettings(form), "00"));
  ASSERT_EQ(lines.size(), 14u);
  EXPECT_EQ(lines[0], "screen mode id:i:0");
  EXPECT_EQ(lines[1], "desktopwidth:i:1680");
  EXPECT_EQ(lines[2], "desktopheight:i:1050");
}

TEST(RdpText, ScreenModeLine) {
  struct Case {
    bool fullScreen, windowed;
    const char* line;
  };
  const Case cases[] = {
      {false, true, "screen mode id:i:1"},
      {true, false, "screen mode id:i:0"},
      {true, true, "screen mode id:i:1"},  // the window choice wins
      {false, false, ""},
  };
  for (const Case& c : cases) {
    ConnectionSettings s{"h", "1", "u", "p", "800*600"};
    s.fullScreen = c.fullScreen;
    s.windowed = c.windowed;
    const auto lines = testing::CrlfLines(BuildRdpText(s, ""));
    ASSERT_EQ(lines.size(), 14u);
    EXPECT_EQ(lines[0], c.line) << "full screen " << c.fullScreen << ", windowed " << c.windowed;
  }
}

TEST(RdpText, DiskBlockStandsBetweenAddressAndReconnection) {
  testing::FakeForm form = OpenedMainWindow();
  form.SetChecked(Id(C::选择框_磁盘), true);
  form.SetChecked(Id(C::选择框_重连), false);
  const std::string text = BuildRdpText(ReadConnectionSettings(form), "FF");
  const auto lines = testing::CrlfLines(text);
  ASSERT_EQ(lines.size(), 17u);
  EXPECT_EQ(lines[9], "full address:s:10.1.2.3:3389");
  EXPECT_EQ(lines[10], "drivestoredirect:s:*");
  EXPECT_EQ(lines[11], "devicestoredirect:s:*");
  EXPECT_EQ(lines[12], "redirectsmartcards:i:1 ");
  EXPECT_EQ(lines[13], "autoreconnection enabled:i:0");
  EXPECT_EQ(lines[14], "username:s:administrator");
  EXPECT_EQ(lines[15], "password 51:b:FF");
  EXPECT_EQ(lines[16], "redirectclipboard:i:1");
}

TEST(RdpText, WithTheDiskBlockLinesStillEndInCrLfOnlyAndTheLastInNothing) {
  ConnectionSettings s{"h", "1", "u", "p", "800*600"};
  s.mapDisks = true;
  const std::string text = BuildRdpText(s, "AA");
  size_t crlf = 0;
  for (size_t i = text.find("\r\n"); i != std::string::npos; i = text.find("\r\n", i + 2)) ++crlf;
  EXPECT_EQ(crlf, 16u);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), 16);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 16);
  EXPECT_TRUE(text.ends_with("\r\nredirectclipboard:i:1"));
}

TEST(RdpText, FieldsAreWrittenVerbatim) {
  struct Case {
    const char* host;
    const char* port;
    const char* user;
    const char* address;
    const char* userLine;
  };
  const Case cases[] = {
      {"srv.example.net:3390", "3389", "ops", "full address:s:srv.example.net:3390:3389", "username:s:ops"},
      {"   ", " ", "  ", "full address:s:   : ", "username:s:  "},
      {"服务器", "3389", "管理员", "full address:s:服务器:3389", "username:s:管理员"},
  };
  for (const Case& c : cases) {
    const auto lines = testing::CrlfLines(BuildRdpText({c.host, c.port, c.user, "pw", "800*600"}, "12"));
    ASSERT_EQ(lines.size(), 14u);
    EXPECT_EQ(lines[9], c.address);
    EXPECT_EQ(lines[11], c.userLine);
  }
}

TEST(RdpText, FailedProtectionLeavesThePasswordValueEmpty) {
  const auto lines = testing::CrlfLines(BuildRdpText({"h", "1", "u", "p", "800*600"}, ""));
  ASSERT_EQ(lines.size(), 14u);
  EXPECT_EQ(lines[12], "password 51:b:");
}

TEST(RdpText, NeverHoldsThePassword) {
  const std::string text = BuildRdpText({"h", "1", "u", "Pa55word", "800*600"}, "0A");
  EXPECT_EQ(text.find("Pa55word"), std::string::npos);
}

TEST(SplitResolution, RunsBetweenStars) {
  struct Case {
    const char* text;
    std::vector<std::string> pieces;
  };
  const Case cases[] = {
      {"", {}},
      {"1024*768", {"1024", "768"}},
      {"1280*1024", {"1280", "1024"}},
      {"1024", {"1024"}},
      {"*", {""}},
      {"**", {"", ""}},
      {"*768", {"", "768"}},
      {"1024*", {"1024"}},
      {"1024*768*", {"1024", "768"}},
      {"1024**768", {"1024", "", "768"}},
      {"1024*768**", {"1024", "768", ""}},
      {"a*b*c", {"a", "b", "c"}},
      {" 1 * 2 ", {" 1 ", " 2 "}},
  };
  for (const Case& c : cases) EXPECT_EQ(SplitResolution(c.text), c.pieces) << '"' << c.text << '"';
}

TEST(RequiredFields, OnlyTheEmptyTextIsMissing) {
  struct Case {
    ConnectionSettings settings;
    bool filled;
  };
  const Case cases[] = {
      {{"h", "1", "u", "p"}, true},
      {{" ", " ", " ", " "}, true},
      {{"", "1", "u", "p"}, false},
      {{"h", "", "u", "p"}, false},
      {{"h", "1", "", "p"}, false},
      {{"h", "1", "u", ""}, false},
      {{"", "", "", ""}, false},
  };
  for (const Case& c : cases) {
    const auto& s = c.settings;
    EXPECT_EQ(CheckRequiredFields(s), c.filled) << s.host << '|' << s.port << '|' << s.user << '|' << s.password;
  }
}

TEST(ControlCharacters, HostPortAndUserAreChecked) {
  const std::string bad[] = {"\n", "\r", "\t", std::string(1, '\0'), "\x01", "\x1F", "\x7F"};
  for (const std::string& b : bad) {
    for (int field = 0; field < 3; ++field) {
      ConnectionSettings s{"host", "3389", "user", "pass", "800*600"};
      std::string* target[] = {&s.host, &s.port, &s.user};
      target[field]->insert(2, b);
      EXPECT_TRUE(HasControlCharacters(s)) << "field " << field << " byte " << int(b[0]);
    }
  }
}

TEST(ControlCharacters, PrintableAndNonAsciiTextPasses) {
  EXPECT_FALSE(HasControlCharacters({" ~!\"#", "3389 ", "管理员", "p€ss 😀 \x80\xFF", "800*600"}));
  // The resolution comes from the fixed list and is not one of the checked fields.
  EXPECT_FALSE(HasControlCharacters({"h", "1", "u", "p", "800\n*600"}));
}

TEST(HexUpper, EveryByteIsTwoUppercaseDigits) {
  std::vector<unsigned char> all;
  for (int b = 0; b <= 0xFF; ++b) all.push_back(static_cast<unsigned char>(b));
  const std::string hex = HexUpper(all);
  ASSERT_EQ(hex.size(), 512u);
  EXPECT_EQ(hex.find_first_not_of("0123456789ABCDEF"), std::string::npos);
  for (int b = 0; b <= 0xFF; ++b) {
    EXPECT_EQ(std::stoi(hex.substr(static_cast<size_t>(b) * 2, 2), nullptr, 16), b);
  }
  EXPECT_EQ(HexUpper({0x00, 0x0A, 0x7F, 0x80, 0xA5, 0xFF}), "000A7F80A5FF");
  EXPECT_EQ(HexUpper({}), "");
}

}  // namespace
}  // namespace korvane
