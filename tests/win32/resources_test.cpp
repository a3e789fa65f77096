// What korvane.exe carries besides its code: the version, the common-controls manifest and
// the program's icon in three sizes; and that it needs no DLL beyond the system's.
#include <windows.h>

#include <gtest/gtest.h>

#include <set>
#include <utility>
#include <string>
#include <vector>

#include "win32/support/test_client.h"

namespace korvane {
namespace {

std::wstring ExePath() {
  const std::string path = testing::Dos(KORVANE_EXE);
  return std::wstring(path.begin(), path.end());
}

std::wstring VersionString(const std::vector<char>& info, const wchar_t* name) {
  struct Translation {
    WORD language, codePage;
  }* translation = nullptr;
  UINT size = 0;
  if (!VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &size) ||
      size < sizeof(Translation))
    return L"<no translation>";
  wchar_t key[128];
  swprintf(key, 128, L"\\StringFileInfo\\%04x%04x\\%ls", translation->language, translation->codePage, name);
  wchar_t* value = nullptr;
  if (!VerQueryValueW(info.data(), key, reinterpret_cast<void**>(&value), &size)) return L"<missing>";
  return value;
}

TEST(Resources, VersionNamesTheProductAndTheCompany) {
  const DWORD size = GetFileVersionInfoSizeW(ExePath().c_str(), nullptr);
  ASSERT_GT(size, 0u);
  std::vector<char> info(size);
  ASSERT_TRUE(GetFileVersionInfoW(ExePath().c_str(), 0, size, info.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(0, 1));
  EXPECT_EQ(fixed->dwFileVersionLS, 0u);
  EXPECT_EQ(fixed->dwProductVersionMS, MAKELONG(0, 1));
  EXPECT_EQ(fixed->dwProductVersionLS, 0u);
  EXPECT_EQ(VersionString(info, L"ProductName"), L"Korvane");
  EXPECT_EQ(VersionString(info, L"CompanyName"), L"By.Oxle");
  EXPECT_EQ(VersionString(info, L"FileDescription"), L"By.Oxle");
  EXPECT_EQ(VersionString(info, L"FileVersion"), L"1.0.0.0");
  EXPECT_EQ(VersionString(info, L"ProductVersion"), L"1.0.0.0");
}

TEST(Resources, ManifestAsksForCommonControlsSixAndTheIconComesInThreeSizes) {
  HMODULE exe = LoadLibraryExW(ExePath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(exe, nullptr);
  HRSRC manifest = FindResourceW(exe, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));  // RT_MANIFEST
  ASSERT_NE(manifest, nullptr);
  const char* text = static_cast<const char*>(LockResource(LoadResource(exe, manifest)));
  const std::string manifestText(text, SizeofResource(exe, manifest));
  EXPECT_NE(manifestText.find("Microsoft.Windows.Common-Controls"), std::string::npos);
  EXPECT_NE(manifestText.find("version=\"6.0.0.0\""), std::string::npos);

  // The icon group lists its images: 16, 32 and 48 pixels square, each in full colour, in
  // 16 colours and in black and white.
  HRSRC group = FindResourceW(exe, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(14));  // RT_GROUP_ICON
  ASSERT_NE(group, nullptr);
#pragma pack(push, 2)
  struct GroupEntry {
    BYTE width, height, colours, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
  };
  struct GroupHeader {
    WORD reserved, type, count;
  };
#pragma pack(pop)
  const auto* header = static_cast<const GroupHeader*>(LockResource(LoadResource(exe, group)));
  const auto* entries = reinterpret_cast<const GroupEntry*>(header + 1);
  std::set<std::pair<int, int>> images;
  for (WORD i = 0; i < header->count; ++i) {
    EXPECT_EQ(entries[i].width, entries[i].height);
    images.insert({entries[i].width, entries[i].bitCount});
  }
  std::set<std::pair<int, int>> expected;
  for (int size : {16, 32, 48})
    for (int bits : {1, 4, 32}) expected.insert({size, bits});
  EXPECT_EQ(images, expected);
  FreeLibrary(exe);
}

}  // namespace
}  // namespace korvane
