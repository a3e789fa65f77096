#include "launch/cp936_win32.h"

#include <windows.h>

#include <cstring>
#include <memory>

namespace korvane {
namespace {

struct GlobalFreer {
  void operator()(void* memory) const { GlobalFree(memory); }
};

}  // namespace

std::string WideToCp936(const std::wstring& wide, bool* lossless) {
  if (lossless != nullptr) *lossless = true;
  if (wide.empty()) return {};
  BOOL usedDefault = FALSE;
  const int length = static_cast<int>(wide.size());
  const int n = WideCharToMultiByte(kCodePage936, WC_NO_BEST_FIT_CHARS, wide.data(), length, nullptr, 0,
                                    nullptr, nullptr);
  if (n <= 0) {
    if (lossless != nullptr) *lossless = false;
    return {};
  }
  std::string text(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(kCodePage936, WC_NO_BEST_FIT_CHARS, wide.data(), length, text.data(), n, nullptr,
                      &usedDefault);
  if (lossless != nullptr) *lossless = usedDefault == FALSE;
  return text;
}

std::vector<unsigned char> ToUtf16Cp936(const std::string& cp936) {
  const int n = MultiByteToWideChar(kCodePage936, 0, cp936.c_str(), -1, nullptr, 0);
  if (n <= 0) return {};
  const size_t size = static_cast<size_t>(n) * sizeof(wchar_t);
  std::unique_ptr<void, GlobalFreer> buffer(GlobalAlloc(GMEM_ZEROINIT, 2 * size));
  if (!buffer) return {};
  auto* units = static_cast<wchar_t*>(buffer.get());
  MultiByteToWideChar(kCodePage936, 0, cp936.c_str(), -1, units, 2 * n);
  std::vector<unsigned char> wide(size);
  std::memcpy(wide.data(), units, size);
  SecureZeroMemory(units, 2 * size);
  return wide;
}

}  // namespace korvane
