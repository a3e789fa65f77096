// What the system's open-file dialog answers when several files may be chosen, taken apart.
// Kept apart from the dialog itself so that it can be checked without one.
#pragma once

#include <string>
#include <vector>

namespace korvane {

// The dialog's buffer, up to and including its closing pair of NULs: either one full path,
// when a single file was chosen, or the folder followed by each chosen file's name. Returns
// the full paths in the order given; none for an empty answer.
std::vector<std::wstring> SplitOpenFileAnswer(const std::wstring& answer);

}  // namespace korvane
