#include "platform/open_file_answer.h"

namespace korvane {

std::vector<std::wstring> SplitOpenFileAnswer(const std::wstring& answer) {
  std::vector<std::wstring> parts;
  // Each part ends at a NUL; an empty part (the second NUL of the pair) ends the list.
  size_t start = 0;
  while (start < answer.size()) {
    const size_t end = answer.find(L'\0', start);
    const size_t stop = end == std::wstring::npos ? answer.size() : end;
    if (stop == start) break;
    parts.push_back(answer.substr(start, stop - start));
    start = stop + 1;
  }
  if (parts.size() <= 1) return parts;

  std::wstring folder = std::move(parts.front());
  // A drive's root comes with its backslash ("C:\"), any other folder without one.
  if (folder.back() != L'\\') folder += L'\\';
  std::vector<std::wstring> paths;
  paths.reserve(parts.size() - 1);
  for (size_t i = 1; i < parts.size(); ++i) paths.push_back(folder + parts[i]);
  return paths;
}

}  // namespace korvane
