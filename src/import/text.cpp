#include "import/text.h"

#include <mbedtls/base64.h>
#include <mbedtls/platform_util.h>

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace korvane::import {

bool IsUtf8(std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) {
      ++i;
      continue;
    }
    // The length of the sequence and the range its second byte must fall in; the narrower
    // ranges after E0, ED, F0 and F4 shut out overlong forms, surrogates and values past U+10FFFF.
    size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      return false;
    }
    if (text.size() - i < length) return false;
    for (size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xBF)) return false;
    }
    i += length;
  }
  return true;
}

std::optional<std::string> Utf16LeToUtf8(std::string_view bytes) {
  if (bytes.size() % 2 != 0) return std::nullopt;
  std::string out;
  // A unit of two bytes takes at most three in UTF-8, a pair of four at most four: with room
  // for the most, the text never moves, and no copy of a password is left behind unwiped.
  out.reserve(bytes.size() / 2 * 3);
  auto unit = [&](size_t i) {
    return static_cast<char32_t>(static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8);
  };
  for (size_t i = 0; i < bytes.size(); i += 2) {
    char32_t c = unit(i);
    if (c >= 0xDC00 && c <= 0xDFFF) return std::nullopt;
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 3 >= bytes.size()) return std::nullopt;
      const char32_t low = unit(i + 2);
      if (low < 0xDC00 || low > 0xDFFF) return std::nullopt;
      c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
      i += 2;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | c >> 6);
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | c >> 12);
      out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | c >> 18);
      out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
      out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::optional<std::string> DecodeText(std::string_view bytes) {
  if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') return Utf16LeToUtf8(bytes.substr(2));
  if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  if (!IsUtf8(bytes)) return std::nullopt;
  return std::string(bytes);
}

std::optional<std::string> WidePasswordToUtf8(std::string_view bytes) {
  if (bytes.size() % 2 != 0) bytes.remove_suffix(1);
  while (bytes.size() >= 2 && bytes[bytes.size() - 1] == '\0' && bytes[bytes.size() - 2] == '\0') bytes.remove_suffix(2);
  return Utf16LeToUtf8(bytes);
}

std::optional<std::string> DecodeBase64(std::string_view text) {
  text = Trim(text);
  size_t size = 0;
  const auto* in = reinterpret_cast<const unsigned char*>(text.data());
  // The first call only measures; mbedtls also checks the whole text there.
  if (mbedtls_base64_decode(nullptr, 0, &size, in, text.size()) == MBEDTLS_ERR_BASE64_INVALID_CHARACTER) {
    return std::nullopt;
  }
  std::string out(size, '\0');
  if (mbedtls_base64_decode(reinterpret_cast<unsigned char*>(out.data()), out.size(), &size, in, text.size()) != 0) {
    return std::nullopt;
  }
  out.resize(size);
  return out;
}

std::optional<std::string> DecodeHex(std::string_view text) {
  if (text.size() % 2 != 0) return std::nullopt;
  auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::string out;
  out.reserve(text.size() / 2);
  for (size_t i = 0; i < text.size(); i += 2) {
    const int high = digit(text[i]), low = digit(text[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    out += static_cast<char>(high << 4 | low);
  }
  return out;
}

std::string_view Trim(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
  });
}

std::string Join(const std::vector<std::string>& pieces, std::string_view separator) {
  std::string joined;
  for (const auto& piece : pieces) {
    if (!joined.empty()) joined += separator;
    joined += piece;
  }
  return joined;
}

std::string UserWithDomain(const std::string& user, const std::string& domain) {
  if (domain.empty() || user.empty() || user.find_first_of("\\@") != std::string::npos) return user;
  return domain + "\\" + user;
}

std::string_view CutUtf8(std::string_view text, std::size_t maxBytes) {
  if (text.size() <= maxBytes) return text;
  std::size_t end = maxBytes;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

std::string Shown(std::string_view value) {
  constexpr std::size_t kShown = 64;
  const std::string_view cut = CutUtf8(value, kShown);
  return cut.size() == value.size() ? std::string(value) : std::string(cut) + "…";
}

void WipeText(std::string& text) {
  // The whole room, not only the text: a string that was moved from, or shortened, still
  // holds the characters past its end (a short one inside the string object itself).
  const std::size_t size = text.size();
  text.resize(text.capacity());
  mbedtls_platform_zeroize(text.data(), text.size());
  text.resize(size);
}

void WipeAndFree(std::string& text) {
  WipeText(text);
  std::string().swap(text);
}

namespace {

// Each block carries the size of its room in front of it.
constexpr std::size_t kHeader = alignof(std::max_align_t);

std::size_t RoomOf(void* memory) {
  std::size_t room = 0;
  std::memcpy(&room, static_cast<unsigned char*>(memory) - kHeader, sizeof room);
  return room;
}

}  // namespace

void* WipingAllocate(std::size_t size) {
  if (size > SIZE_MAX - kHeader) return nullptr;
  auto* block = static_cast<unsigned char*>(std::malloc(kHeader + size));
  if (block == nullptr) return nullptr;
  std::memcpy(block, &size, sizeof size);
  return block + kHeader;
}

void WipingFree(void* memory) {
  if (memory == nullptr) return;
  mbedtls_platform_zeroize(memory, RoomOf(memory));
  std::free(static_cast<unsigned char*>(memory) - kHeader);
}

void* WipingReallocate(void* memory, std::size_t size) {
  if (memory == nullptr) return WipingAllocate(size);
  const std::size_t room = RoomOf(memory);
  if (size <= room) return memory;
  void* moved = WipingAllocate(std::max(size, room <= SIZE_MAX / 2 ? 2 * room : size));
  if (moved == nullptr) moved = WipingAllocate(size);
  if (moved == nullptr) return nullptr;
  std::memcpy(moved, memory, room);
  WipingFree(memory);
  return moved;
}

}  // namespace korvane::import
