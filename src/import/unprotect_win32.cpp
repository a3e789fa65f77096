#include "import/unprotect_win32.h"

#include <windows.h>
#include <wincrypt.h>

#include <limits>

namespace korvane::import {

std::optional<std::string> UnprotectForCurrentUser(const std::string& blob) {
  if (blob.size() > std::numeric_limits<DWORD>::max()) return std::nullopt;
  DATA_BLOB in{static_cast<DWORD>(blob.size()), reinterpret_cast<BYTE*>(const_cast<char*>(blob.data()))};
  DATA_BLOB out{};
  // UI_FORBIDDEN: a blob made with the "prompt" flag would otherwise open a dialog mid-import.
  if (!CryptUnprotectData(&in, nullptr, nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &out)) {
    return std::nullopt;
  }
  std::string plain(reinterpret_cast<const char*>(out.pbData), out.cbData);
  SecureZeroMemory(out.pbData, out.cbData);
  LocalFree(out.pbData);
  return plain;
}

}  // namespace korvane::import
