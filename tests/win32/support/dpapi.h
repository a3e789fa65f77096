// Passwords protected for the current Windows user, as RDCMan and mstsc save them in their
// files: the UTF-16LE password, with its terminator where mstsc writes one.
#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <gtest/gtest.h>

#include <string>

namespace korvane::testing {

inline std::string ProtectForUser(const std::string& password, bool terminated) {
  std::wstring wide(MultiByteToWideChar(CP_UTF8, 0, password.data(), int(password.size()), nullptr, 0), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, password.data(), int(password.size()), wide.data(), int(wide.size()));
  DATA_BLOB in{DWORD((wide.size() + terminated) * sizeof(wchar_t)), reinterpret_cast<BYTE*>(wide.data())}, out{};
  EXPECT_TRUE(CryptProtectData(&in, L"psw", nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &out));
  std::string blob(reinterpret_cast<char*>(out.pbData), out.cbData);
  LocalFree(out.pbData);
  return blob;
}

inline std::string HexUpper(const std::string& bytes) {
  std::string out;
  for (unsigned char c : bytes) out += "0123456789ABCDEF"[c >> 4], out += "0123456789ABCDEF"[c & 15];
  return out;
}

}  // namespace korvane::testing
