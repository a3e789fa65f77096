#include "store/sealed_value.h"

namespace korvane::sealed {
namespace {

using crypto::Bytes;

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

struct SealedParts {
  Bytes nonce, sealed;
};

std::optional<SealedParts> Parse(const std::string& stored) {
  const std::string prefix = std::string(kFormat) + ":";
  const std::size_t nonceEnd = prefix.size() + crypto::kGcmNonceSize * 2;
  if (stored.compare(0, prefix.size(), prefix) != 0 || stored.size() <= nonceEnd || stored[nonceEnd] != ':') {
    return std::nullopt;
  }
  auto nonce = FromHex(std::string_view(stored).substr(prefix.size(), nonceEnd - prefix.size()));
  auto sealed = FromHex(std::string_view(stored).substr(nonceEnd + 1));
  if (!nonce || !sealed || sealed->size() < crypto::kGcmTagSize) return std::nullopt;
  return SealedParts{std::move(*nonce), std::move(*sealed)};
}

}  // namespace

std::string Hex(const unsigned char* bytes, std::size_t size) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(size * 2);
  for (std::size_t i = 0; i < size; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0xF];
  }
  return text;
}

std::optional<Bytes> FromHex(std::string_view text) {
  if (text.size() % 2 != 0) return std::nullopt;
  Bytes bytes;
  bytes.reserve(text.size() / 2);
  for (std::size_t i = 0; i < text.size(); i += 2) {
    const int high = HexDigit(text[i]), low = HexDigit(text[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes.push_back(static_cast<unsigned char>(high << 4 | low));
  }
  return bytes;
}

std::optional<std::string> Seal(const crypto::Secret& key, std::string_view associated, std::string_view plain) {
  if (plain.empty()) return std::string();
  Bytes nonce(crypto::kGcmNonceSize), sealed;
  if (!crypto::RandomBytes(nonce) || !crypto::AesGcmSeal(key, nonce, associated, plain, sealed)) {
    return std::nullopt;
  }
  return std::string(kFormat) + ":" + Hex(nonce.data(), nonce.size()) + ":" + Hex(sealed.data(), sealed.size());
}

std::optional<std::string> Open(const crypto::Secret& key, std::string_view associated, const std::string& stored) {
  // Opened in the text that is returned, and every path returns that one object, so that the
  // compiler builds it in the caller's place: a copy moved out of a local would leave a short
  // password in the local's own buffer.
  std::optional<std::string> plain(std::in_place);
  if (stored.empty()) return plain;
  const auto parts = Parse(stored);
  if (!parts || !crypto::AesGcmOpen(key, parts->nonce, associated, parts->sealed, *plain)) plain.reset();
  return plain;
}

bool LooksSealed(const std::string& stored) { return Parse(stored).has_value(); }

void WipeText(std::string& text) {
  // The whole room, not only the text: a string that was moved from, or shortened, still holds
  // the characters past its end (a short one inside the string object itself).
  text.resize(text.capacity());
  crypto::Wipe(text.data(), text.size());
  text.clear();
}

}  // namespace korvane::sealed
