#include "ui/link_command.h"

#include <gtest/gtest.h>

namespace korvane {
namespace {

struct Case {
  const char* registered;
  const char* expected;
};

constexpr const char* kAddress = "http://example.invalid/a?b=1";

TEST(CommandToOpenAddress, CutsAtThePlaceholderAndAppendsTheAddress) {
  const Case cases[] = {
      // Quoted placeholder: the cut falls before its opening quotation mark.
      {R"("C:\Program Files\B\b.exe" -nohome "%1")", R"("C:\Program Files\B\b.exe" -nohome  http://example.invalid/a?b=1)"},
      // Bare placeholder.
      {R"(C:\b.exe %1)", R"(C:\b.exe  http://example.invalid/a?b=1)"},
      // Whatever follows the placeholder goes with it.
      {R"(C:\b.exe -a "%1" -b)", R"(C:\b.exe -a  http://example.invalid/a?b=1)"},
      {R"(C:\b.exe %1 -b)", R"(C:\b.exe  http://example.invalid/a?b=1)"},
      // A quoted placeholder wins over an earlier bare one.
      {R"(C:\b.exe %1 "%1")", R"(C:\b.exe %1  http://example.invalid/a?b=1)"},
      // A lone quotation mark before %1 is not a quoted placeholder: cut at the %1 itself.
      {R"(C:\b.exe "%1)", R"(C:\b.exe " http://example.invalid/a?b=1)"},
      // No placeholder: the address goes after the whole command.
      {R"("C:\b.exe" -url)", R"("C:\b.exe" -url http://example.invalid/a?b=1)"},
      {R"(C:\b.exe)", R"(C:\b.exe http://example.invalid/a?b=1)"},
  };
  for (const Case& c : cases) EXPECT_EQ(CommandToOpenAddress(c.registered, kAddress), c.expected) << c.registered;
}

TEST(CommandToOpenAddress, AnEmptyCommandGivesNothingToRun) {
  EXPECT_EQ(CommandToOpenAddress("", kAddress), "");
}

TEST(CommandToOpenAddress, TheAddressIsPassedThroughUnchanged) {
  EXPECT_EQ(CommandToOpenAddress("b.exe \"%1\"", "http://例子.测试/路径 %1"), "b.exe  http://例子.测试/路径 %1");
}

}  // namespace
}  // namespace korvane
