#include "launch/password_blob_win32.h"

#include <windows.h>
#include <wincrypt.h>

#include <cstring>
#include <memory>
#include <vector>

#include "launch/cp936_win32.h"
#include "launch/rdp_file.h"
#include "platform/text_win32.h"

namespace korvane {
namespace {

// Zeroes a buffer that holds the password when the scope ends, on every way out.
template <typename Buffer>
class WipeOnExit {
 public:
  explicit WipeOnExit(Buffer& buffer) : buffer_(buffer) {}
  WipeOnExit(const WipeOnExit&) = delete;
  WipeOnExit& operator=(const WipeOnExit&) = delete;
  ~WipeOnExit() { SecureZeroMemory(buffer_.data(), buffer_.size() * sizeof(*buffer_.data())); }

 private:
  Buffer& buffer_;
};

struct LocalFreer {
  void operator()(BYTE* memory) const { LocalFree(memory); }
};

// The UTF-16 form of the password with its terminator. The client has always been handed the
// password as code page 936 turns it into UTF-16; that stays, but a character outside that
// code page would become '?' there, and the server would then refuse a correct password.
// Such passwords are taken character for character instead.
std::vector<unsigned char> WidePassword(const std::string& password) {
  std::wstring exact = Widen(password);
  WipeOnExit wipeExact(exact);
  bool lossless = false;
  std::string cp936 = WideToCp936(exact, &lossless);
  WipeOnExit wipeCp936(cp936);
  if (lossless) return ToUtf16Cp936(cp936);
  std::vector<unsigned char> wide((exact.size() + 1) * sizeof(wchar_t), 0);
  std::memcpy(wide.data(), exact.data(), exact.size() * sizeof(wchar_t));
  return wide;
}

}  // namespace

std::string ProtectedPasswordHex(const std::string& password) {
  std::vector<unsigned char> wide = WidePassword(password);
  WipeOnExit wipeWide(wide);
  if (wide.empty()) return {};

  // The protected length is the wide form plus one byte: the client has always been given
  // that length. The extra byte is ours and zero, never whatever lies past the wide form.
  std::vector<unsigned char> input(wide.size() + 1, 0);
  WipeOnExit wipeInput(input);
  std::memcpy(input.data(), wide.data(), wide.size());

  const std::vector<unsigned char> descriptionBytes = ToUtf16Cp936("psw");
  if (descriptionBytes.empty()) return {};
  std::wstring description(descriptionBytes.size() / sizeof(wchar_t), L'\0');
  std::memcpy(description.data(), descriptionBytes.data(), descriptionBytes.size());

  DATA_BLOB in{static_cast<DWORD>(input.size()), input.data()};
  DATA_BLOB out{};
  if (CryptProtectData(&in, description.c_str(), nullptr, nullptr, nullptr, 0, &out) != TRUE) return {};
  std::vector<unsigned char> blob;
  {
    const std::unique_ptr<BYTE, LocalFreer> owned(out.pbData);
    blob.assign(out.pbData, out.pbData + out.cbData);
  }
  return HexUpper(blob);
}

}  // namespace korvane
