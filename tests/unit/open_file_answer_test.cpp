#include "platform/open_file_answer.h"

#include <gtest/gtest.h>

namespace korvane {
namespace {

using Paths = std::vector<std::wstring>;

// The dialog's buffer as it leaves it: the answer, its closing NULs, the rest of it zeroed.
template <size_t N>
std::wstring Buffer(const wchar_t (&answer)[N]) {
  return std::wstring(answer, N - 1) + std::wstring(8, L'\0');
}

TEST(SplitOpenFileAnswer, GivesEachChosenFilesFullPath) {
  EXPECT_EQ(SplitOpenFileAnswer(Buffer(L"C:\\dir\0a.xml\0b.rdg\0\0")), (Paths{L"C:\\dir\\a.xml", L"C:\\dir\\b.rdg"}));
  EXPECT_EQ(SplitOpenFileAnswer(Buffer(L"C:\\dir\\a.xml\0\0")), (Paths{L"C:\\dir\\a.xml"}));
  // A drive's root is given with its backslash.
  EXPECT_EQ(SplitOpenFileAnswer(Buffer(L"C:\\\0a.xml\0b.xml\0\0")), (Paths{L"C:\\a.xml", L"C:\\b.xml"}));
  EXPECT_EQ(SplitOpenFileAnswer(Buffer(L"\0")), Paths{});
}

}  // namespace
}  // namespace korvane
