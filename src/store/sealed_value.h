// A secret as the store keeps it in a text column: sealed with AES-256-GCM under a fresh nonce,
// written as "aes-256-gcm:1:", the nonce, a colon and the cipher text with its tag, both in
// hexadecimal. The prefix names the cipher and the format's version; the caller's associated
// text (which the prefix begins) says what the value belongs to, so that a value copied
// elsewhere does not open there.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "crypto/crypto.h"

namespace korvane::sealed {

inline constexpr std::string_view kFormat = "aes-256-gcm:1";

std::string Hex(const unsigned char* bytes, std::size_t size);
std::optional<crypto::Bytes> FromHex(std::string_view text);

// Empty stays empty. nullopt when the platform's cryptography refuses.
std::optional<std::string> Seal(const crypto::Secret& key, std::string_view associated, std::string_view plain);
// The reverse; empty stays empty. nullopt when the text is not a sealed value or does not open
// (changed bytes, another key, another associated text).
std::optional<std::string> Open(const crypto::Secret& key, std::string_view associated, const std::string& stored);
bool LooksSealed(const std::string& stored);

// Overwrites a text that held a secret and empties it.
void WipeText(std::string& text);

}  // namespace korvane::sealed
