#include "text/bilingual.h"

namespace korvane {
namespace {

Language current = Language::kEnglish;

}  // namespace

Language CurrentLanguage() { return current; }
void SetLanguage(Language language) { current = language; }

Language LanguageFromLocale(const char* lcAll, const char* lcMessages, const char* lang) {
  for (const char* value : {lcAll, lcMessages, lang}) {
    if (value == nullptr || *value == '\0') continue;
    // "zh", "zh_CN.UTF-8", "zh_TW", "zh@..." but not a language whose code merely begins so.
    const std::string_view name(value);
    const bool chinese = name.starts_with("zh") && (name.size() == 2 || name[2] == '_' ||
                                                    name[2] == '.' || name[2] == '@');
    return chinese ? Language::kChinese : Language::kEnglish;
  }
  return Language::kEnglish;
}

std::string FillIn(std::string_view pattern, std::initializer_list<std::string_view> arguments) {
  std::string text;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const std::size_t index = i + 2 < pattern.size() && pattern[i] == '{' && pattern[i + 2] == '}'
                                  ? static_cast<std::size_t>(pattern[i + 1] - '0')
                                  : arguments.size();
    if (index < arguments.size()) {
      text += arguments.begin()[index];
      i += 2;
    } else {
      text += pattern[i];
    }
  }
  return text;
}

}  // namespace korvane
