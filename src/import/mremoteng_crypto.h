// How mRemoteNG seals a value of confCons.xml, the opening side only. The primitives are
// mbedtls's; this only puts them together as mRemoteNG does.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace korvane::import::mremoteng {

// The password that mRemoteNG seals with when the user has set none.
inline constexpr const char* kDefaultPassword = "mR3m";

enum class Cipher {
  // Since file version 2.6: base64 of salt (16) | nonce (16) | cipher text | tag (16); the key
  // is PBKDF2-HMAC-SHA1 over the salt, 32 bytes, of the password's Latin-1 bytes (one byte per
  // character, as mRemoteNG hands it over); the salt is also the associated data.
  AesGcm,
  // Older files: base64 of IV (16) | cipher text, AES-128-CBC with PKCS#7 padding; the key is
  // the MD5 of the password.
  AesCbc,
};

struct Sealing {
  Cipher cipher = Cipher::AesGcm;
  unsigned long iterations = 1000;  // AesGcm only
};

// The plain text of a sealed value (its bytes, not checked to be text) under a UTF-8 `password`;
// nullopt when it does not open: another password, changed bytes, or no such value at all.
std::optional<std::string> Open(const Sealing& sealing, const std::string& password, std::string_view base64);

// Whether opening the value takes a key derivation of `iterations` rounds.
inline bool Derives(const Sealing& sealing) { return sealing.cipher == Cipher::AesGcm; }

}  // namespace korvane::import::mremoteng
