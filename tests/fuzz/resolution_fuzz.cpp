// The resolution's pieces, for any text: one piece per '*' and one more, except that a
// trailing '*' starts no piece and the empty text has none; joined back with '*' they give the
// text without its trailing '*'.
#include <algorithm>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "launch/rdp_file.h"

using korvane::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const auto pieces = korvane::SplitResolution(text);

  const bool trailing = !text.empty() && text.back() == '*';
  const size_t stars = static_cast<size_t>(std::count(text.begin(), text.end(), '*'));
  const size_t expected = text.empty() ? 0 : stars + 1 - (trailing ? 1 : 0);
  Require(pieces.size() == expected);

  std::string joined;
  for (size_t i = 0; i < pieces.size(); ++i) {
    Require(pieces[i].find('*') == std::string::npos);
    if (i > 0) joined += '*';
    joined += pieces[i];
  }
  Require(joined == (trailing ? text.substr(0, text.size() - 1) : text));
  return 0;
}
