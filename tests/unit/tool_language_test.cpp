// korvane-data in the user's language: the choice of language and the table of messages.
#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <sstream>

#include "datatool/data_tool.h"
#include "datatool/messages.h"
#include "import/import_text.h"
#include "support/data_files.h"

namespace korvane {
namespace {

using tool::Language;
using tool::Msg;

// The {N} a text fills in: a translation must use each value the English one does.
std::set<std::string> Placeholders(const std::string& text) {
  static const std::regex placeholder(R"(\{[0-9]\})");
  return {std::sregex_token_iterator(text.begin(), text.end(), placeholder), {}};
}

template <typename Id>
void ExpectBothTextsWithTheSameValues(const BilingualText<Id>* table, size_t size) {
  ASSERT_EQ(size, static_cast<size_t>(Id::kCount));
  for (size_t i = 0; i < size; ++i) {
    const BilingualText<Id>& entry = table[i];
    SCOPED_TRACE(entry.english);
    EXPECT_EQ(static_cast<size_t>(entry.id), i) << "out of order";
    ASSERT_TRUE(entry.english && *entry.english && entry.chinese && *entry.chinese);
    EXPECT_EQ(Placeholders(entry.english), Placeholders(entry.chinese));
  }
}

TEST(ToolLanguage, EveryMessageHasBothTextsWithTheSameValues) {
  ExpectBothTextsWithTheSameValues(tool::kMessageTable, tool::kMessageTableSize);
  // The readers' notes, which both programs show.
  ExpectBothTextsWithTheSameValues(import::kMessageTable, import::kMessageTableSize);
}

TEST(ToolLanguage, TheFirstLocaleVariableSetDecides) {
  EXPECT_EQ(tool::LanguageFromLocale(nullptr, nullptr, nullptr), Language::kEnglish);
  EXPECT_EQ(tool::LanguageFromLocale(nullptr, nullptr, "zh_CN.UTF-8"), Language::kChinese);
  EXPECT_EQ(tool::LanguageFromLocale("", "zh_TW", "C"), Language::kChinese);
  EXPECT_EQ(tool::LanguageFromLocale("zh", nullptr, nullptr), Language::kChinese);
  EXPECT_EQ(tool::LanguageFromLocale("C", "zh_CN.UTF-8", "zh_CN.UTF-8"), Language::kEnglish);
  EXPECT_EQ(tool::LanguageFromLocale(nullptr, nullptr, "en_US.UTF-8"), Language::kEnglish);
  EXPECT_EQ(tool::LanguageFromLocale(nullptr, nullptr, "zha_CN"), Language::kEnglish);
}

class ChineseTool : public ::testing::Test {
 protected:
  void TearDown() override { tool::SetLanguage(Language::kEnglish); }

  // What the tool writes on both streams in the language given.
  std::string Run(Language language, const std::vector<std::string>& arguments) {
    tool::SetLanguage(language);
    std::ostringstream out, err;
    RunDataTool(arguments, out, err);
    return out.str() + err.str();
  }
};

TEST_F(ChineseTool, HelpAndErrorsComeInChinese) {
  const std::string help = Run(Language::kChinese, {"--help"});
  for (const Msg id : {Msg::kUsageOverview, Msg::kListSummary, Msg::kOverviewEnd}) {
    const tool::MessageText& entry = tool::kMessageTable[static_cast<size_t>(id)];
    EXPECT_NE(help.find(entry.chinese), std::string::npos) << entry.chinese;
    EXPECT_EQ(help.find(entry.english), std::string::npos) << entry.english;
  }
  EXPECT_NE(help.find("import FILE SOURCE [--dry-run]"), std::string::npos) << "command names stay";

  testing::TempDir dir;
  const std::string missing = dir.File("none.mdb");
  const std::string chinese = Run(Language::kChinese, {"check", missing});
  const std::string english = Run(Language::kEnglish, {"check", missing});
  EXPECT_NE(chinese, english);
  EXPECT_NE(chinese.find(missing + "：没有"), std::string::npos) << chinese;
  EXPECT_EQ(english, "korvane-data: " + missing + ": no such file\n");
}

// The data file's and the team store's code give reasons, not sentences: under Chinese none may
// come out in English. Only the pieces they name (path, server, their words) are filled in, here
// left empty, and the tool's command names stay as they are typed.
template <typename Reason, typename Entry, typename Said>
void ExpectEveryReasonInChinese(const Entry* table, size_t size, Said say) {
  tool::SetLanguage(Language::kChinese);
  ASSERT_EQ(size + 1, static_cast<size_t>(Reason::kCount));
  const std::regex commands("team (leave|join|init|push)");
  for (size_t i = 0; i < size; ++i) {
    SCOPED_TRACE(table[i].english);
    EXPECT_EQ(static_cast<size_t>(table[i].id), i + 1) << "out of order";
    EXPECT_EQ(Placeholders(table[i].english), Placeholders(table[i].chinese));
    const std::string said = say(table[i].id);
    EXPECT_FALSE(said.empty());
    EXPECT_FALSE(std::regex_search(std::regex_replace(said, commands, ""), std::regex("[A-Za-z]"))) << said;
  }
}

TEST_F(ChineseTool, EveryReasonOfTheDataFileAndTheTeamComesInChinese) {
  ExpectEveryReasonInChinese<StoreReason>(tool::kStoreReasonTable, tool::kStoreReasonTableSize,
                                          [](StoreReason reason) { return tool::Say({reason, "", 7, ""}); });
  ExpectEveryReasonInChinese<TeamReason>(tool::kTeamReasonTable, tool::kTeamReasonTableSize,
                                         [](TeamReason reason) { return tool::Say({reason, "", 7}, ""); });
}

}  // namespace
}  // namespace korvane
