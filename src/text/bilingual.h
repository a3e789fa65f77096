// Texts in English and in Chinese, for the parts shared by korvane-data, which speaks its
// user's language, and the program, which speaks Chinese. A table's line names its text by an
// id; the language is chosen once, when a program starts.
#pragma once

#include <concepts>
#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>

namespace korvane {

enum class Language { kEnglish, kChinese };

// The language every text comes out in; English until it is set.
Language CurrentLanguage();
void SetLanguage(Language language);

// The language the POSIX locale variables ask for: the first of LC_ALL, LC_MESSAGES and LANG
// that is set and not empty decides, and a zh locale (zh, zh_CN.UTF-8, zh_TW, ...) means
// Chinese. Null stands for an unset variable.
Language LanguageFromLocale(const char* lcAll, const char* lcMessages, const char* lang);

// A line of a table of texts: what names it, then its words in each language.
template <typename Id>
struct BilingualText {
  Id id;
  const char* english;
  const char* chinese;
};

// The line's words in the current language.
template <typename Id>
const char* InCurrentLanguage(const BilingualText<Id>& line) {
  return CurrentLanguage() == Language::kChinese ? line.chinese : line.english;
}

// `pattern` with {0}, {1}, ... replaced by the arguments.
std::string FillIn(std::string_view pattern, std::initializer_list<std::string_view> arguments);

inline std::string_view ArgumentText(std::string_view text) { return text; }
inline std::string ArgumentText(std::integral auto number) { return std::to_string(number); }

// The text of `id` in a table ordered as its ids, with the arguments filled in; numbers are
// written in decimal.
template <typename Id, typename... Arguments>
std::string FillInLine(const BilingualText<Id>* table, Id id, const Arguments&... arguments) {
  // The numbers become texts here, and those texts live until FillIn returns.
  return [&](const auto&... texts) {
    return FillIn(InCurrentLanguage(table[static_cast<std::size_t>(id)]), {std::string_view(texts)...});
  }(ArgumentText(arguments)...);
}

}  // namespace korvane
