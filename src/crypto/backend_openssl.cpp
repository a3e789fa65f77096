// The primitives over OpenSSL's libcrypto, for the native build (its tests and its data tool).
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>

#include <climits>
#include <memory>

#include "crypto/crypto.h"

namespace korvane::crypto {
namespace {

struct ContextFree {
  void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};
using Context = std::unique_ptr<EVP_CIPHER_CTX, ContextFree>;

const unsigned char* Data(std::string_view text) {
  return reinterpret_cast<const unsigned char*>(text.data());
}

bool FitsInt(std::size_t size) { return size <= static_cast<std::size_t>(INT_MAX); }

// Starts a GCM context with the key, the nonce and the associated text fed in.
Context Start(bool encrypt, const Secret& key, const Bytes& nonce, std::string_view associated) {
  if (key.size() != 32 || nonce.size() != kGcmNonceSize || !FitsInt(associated.size())) return nullptr;
  Context context(EVP_CIPHER_CTX_new());
  if (!context) return nullptr;
  const auto init = encrypt ? EVP_EncryptInit_ex : EVP_DecryptInit_ex;
  int length = 0;
  const bool ready =
      init(context.get(), EVP_aes_256_gcm(), nullptr, nullptr, nullptr) == 1 &&
      EVP_CIPHER_CTX_ctrl(context.get(), EVP_CTRL_GCM_SET_IVLEN, static_cast<int>(nonce.size()), nullptr) == 1 &&
      init(context.get(), nullptr, nullptr, key.data(), nonce.data()) == 1 &&
      (associated.empty() ||
       (encrypt ? EVP_EncryptUpdate : EVP_DecryptUpdate)(context.get(), nullptr, &length, Data(associated),
                                                         static_cast<int>(associated.size())) == 1);
  return ready ? std::move(context) : nullptr;
}

}  // namespace

const char* BackendName() { return "libcrypto"; }

bool Pbkdf2Sha256(std::string_view password, const Bytes& salt, unsigned long iterations, Secret& key) {
  if (iterations == 0 || iterations > INT_MAX || !FitsInt(password.size()) || !FitsInt(salt.size()) ||
      !FitsInt(key.size())) {
    return false;
  }
  return PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()), salt.data(),
                           static_cast<int>(salt.size()), static_cast<int>(iterations), EVP_sha256(),
                           static_cast<int>(key.size()), key.data()) == 1;
}

bool HmacSha256(const Secret& key, std::string_view message, Secret& mac) {
  if (!FitsInt(key.size())) return false;
  Secret result(32);
  unsigned int length = 0;
  if (HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()), Data(message), message.size(),
           result.data(), &length) == nullptr ||
      length != result.size()) {
    return false;
  }
  mac = std::move(result);
  return true;
}

bool AesGcmSeal(const Secret& key, const Bytes& nonce, std::string_view associated, std::string_view plain,
                Bytes& sealed) {
  if (!FitsInt(plain.size())) return false;
  const Context context = Start(true, key, nonce, associated);
  if (!context) return false;
  Bytes out(plain.size() + kGcmTagSize);
  int length = 0, last = 0;
  if ((!plain.empty() &&
       EVP_EncryptUpdate(context.get(), out.data(), &length, Data(plain), static_cast<int>(plain.size())) != 1) ||
      EVP_EncryptFinal_ex(context.get(), out.data() + length, &last) != 1 ||
      static_cast<std::size_t>(length + last) != plain.size() ||
      EVP_CIPHER_CTX_ctrl(context.get(), EVP_CTRL_GCM_GET_TAG, kGcmTagSize, out.data() + plain.size()) != 1) {
    return false;
  }
  sealed = std::move(out);
  return true;
}

bool AesGcmOpen(const Secret& key, const Bytes& nonce, std::string_view associated, const Bytes& sealed,
                std::string& plain) {
  plain.clear();
  if (sealed.size() < kGcmTagSize || !FitsInt(sealed.size())) return false;
  const Context context = Start(false, key, nonce, associated);
  if (!context) return false;
  const std::size_t size = sealed.size() - kGcmTagSize;
  // Opened straight into the caller's text: a local moved out afterwards would leave a copy
  // of a short password behind in its own buffer.
  plain.resize(size);
  auto* target = reinterpret_cast<unsigned char*>(plain.data());
  Bytes tag(sealed.end() - kGcmTagSize, sealed.end());
  int length = 0, last = 0;
  const bool opened =
      (size == 0 || EVP_DecryptUpdate(context.get(), target, &length, sealed.data(), static_cast<int>(size)) == 1) &&
      EVP_CIPHER_CTX_ctrl(context.get(), EVP_CTRL_GCM_SET_TAG, kGcmTagSize, tag.data()) == 1 &&
      EVP_DecryptFinal_ex(context.get(), target + length, &last) == 1;
  if (!opened) {
    // What came out before the tag was checked is not to be trusted, nor left lying around.
    Wipe(plain.data(), plain.size());
    plain.clear();
    return false;
  }
  return true;
}

bool RandomBytes(Bytes& bytes) {
  if (!FitsInt(bytes.size())) return false;
  return RAND_bytes(bytes.data(), static_cast<int>(bytes.size())) == 1;
}

}  // namespace korvane::crypto
