// The few cryptographic primitives the protected data file needs, taken from the platform
// rather than written here: Windows' CNG (bcrypt) in the Windows build, OpenSSL's libcrypto in
// the native one. Exactly one of backend_win32.cpp and backend_openssl.cpp is compiled in.
//
// Every function returns false when the platform refuses; nothing throws.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::crypto {

using Bytes = std::vector<unsigned char>;

// Overwrites memory that held a secret, in a way the compiler may not leave out.
void Wipe(void* data, std::size_t size);

// Bytes of key material: overwritten when they go, and never copied by accident.
class Secret {
 public:
  Secret() = default;
  explicit Secret(std::size_t size) : bytes_(size) {}
  Secret(const unsigned char* data, std::size_t size) : bytes_(data, data + size) {}
  ~Secret() { Wipe(bytes_.data(), bytes_.size()); }
  Secret(const Secret&) = delete;
  Secret& operator=(const Secret&) = delete;
  Secret(Secret&& other) noexcept : bytes_(std::move(other.bytes_)) { other.bytes_.clear(); }
  Secret& operator=(Secret&& other) noexcept {
    if (this != &other) {
      Wipe(bytes_.data(), bytes_.size());
      bytes_ = std::move(other.bytes_);
      other.bytes_.clear();
    }
    return *this;
  }

  unsigned char* data() { return bytes_.data(); }
  const unsigned char* data() const { return bytes_.data(); }
  std::size_t size() const { return bytes_.size(); }

 private:
  Bytes bytes_;
};

// The name of the back end, for messages and tests: "CNG" or "libcrypto".
const char* BackendName();

// PBKDF2 with HMAC-SHA256; fills the whole of `key`, whose size is the length asked for.
bool Pbkdf2Sha256(std::string_view password, const Bytes& salt, unsigned long iterations, Secret& key);

// HMAC-SHA256 of `message` under `key`; `mac` becomes 32 bytes.
bool HmacSha256(const Secret& key, std::string_view message, Secret& mac);

inline constexpr std::size_t kGcmNonceSize = 12;
inline constexpr std::size_t kGcmTagSize = 16;

// AES-256-GCM with a 96-bit nonce. `sealed` is the cipher text followed by the 16-byte tag.
bool AesGcmSeal(const Secret& key, const Bytes& nonce, std::string_view associated,
                std::string_view plain, Bytes& sealed);
// The reverse; false as well when the tag does not match (changed bytes, another key or
// another associated text), and then `plain` is left empty.
bool AesGcmOpen(const Secret& key, const Bytes& nonce, std::string_view associated,
                const Bytes& sealed, std::string& plain);

// Fills `bytes` (its size as given) from the system's cryptographic random source.
bool RandomBytes(Bytes& bytes);

}  // namespace korvane::crypto
