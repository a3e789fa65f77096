// The primitives over Windows' CNG (bcrypt.dll), for the program and the Windows data tool.
#include <windows.h>
#include <bcrypt.h>

#include <climits>
#include <memory>
#include <type_traits>

#include "crypto/crypto.h"

namespace korvane::crypto {
namespace {

bool Succeeded(NTSTATUS status) { return status >= 0; }

struct ProviderClose {
  void operator()(BCRYPT_ALG_HANDLE provider) const { BCryptCloseAlgorithmProvider(provider, 0); }
};
struct HashDestroy {
  void operator()(BCRYPT_HASH_HANDLE hash) const { BCryptDestroyHash(hash); }
};
struct KeyDestroy {
  void operator()(BCRYPT_KEY_HANDLE key) const { BCryptDestroyKey(key); }
};
using Provider = std::unique_ptr<std::remove_pointer_t<BCRYPT_ALG_HANDLE>, ProviderClose>;
using Hash = std::unique_ptr<std::remove_pointer_t<BCRYPT_HASH_HANDLE>, HashDestroy>;
using Key = std::unique_ptr<std::remove_pointer_t<BCRYPT_KEY_HANDLE>, KeyDestroy>;

// CNG takes pointers to bytes it only reads as non-const.
PUCHAR In(const void* data) { return static_cast<PUCHAR>(const_cast<void*>(data)); }

bool FitsUlong(std::size_t size) { return size <= ULONG_MAX; }

Provider HmacSha256Provider() {
  BCRYPT_ALG_HANDLE handle = nullptr;
  if (!Succeeded(BCryptOpenAlgorithmProvider(&handle, BCRYPT_SHA256_ALGORITHM, nullptr,
                                             BCRYPT_ALG_HANDLE_HMAC_FLAG))) {
    return nullptr;
  }
  return Provider(handle);
}

// An AES key in GCM mode. The provider may be closed once the key exists, but it is kept
// beside it all the same, as the documentation asks.
struct GcmKey {
  Provider provider;
  Key key;
};

GcmKey MakeGcmKey(const Secret& secret) {
  GcmKey result;
  BCRYPT_ALG_HANDLE provider = nullptr;
  if (secret.size() != 32 || !Succeeded(BCryptOpenAlgorithmProvider(&provider, BCRYPT_AES_ALGORITHM, nullptr, 0))) {
    return result;
  }
  result.provider.reset(provider);
  const wchar_t mode[] = BCRYPT_CHAIN_MODE_GCM;
  BCRYPT_KEY_HANDLE key = nullptr;
  if (Succeeded(BCryptSetProperty(provider, BCRYPT_CHAINING_MODE, In(mode), sizeof mode, 0)) &&
      Succeeded(BCryptGenerateSymmetricKey(provider, &key, nullptr, 0, In(secret.data()),
                                           static_cast<ULONG>(secret.size()), 0))) {
    result.key.reset(key);
  }
  return result;
}

BCRYPT_AUTHENTICATED_CIPHER_MODE_INFO GcmInfo(const Bytes& nonce, std::string_view associated, unsigned char* tag) {
  BCRYPT_AUTHENTICATED_CIPHER_MODE_INFO info;
  BCRYPT_INIT_AUTH_MODE_INFO(info);
  info.pbNonce = In(nonce.data());
  info.cbNonce = static_cast<ULONG>(nonce.size());
  info.pbAuthData = associated.empty() ? nullptr : In(associated.data());
  info.cbAuthData = static_cast<ULONG>(associated.size());
  info.pbTag = tag;
  info.cbTag = kGcmTagSize;
  return info;
}

bool GcmArgumentsFit(const Bytes& nonce, std::string_view associated, std::size_t size) {
  return nonce.size() == kGcmNonceSize && FitsUlong(associated.size()) && FitsUlong(size);
}

}  // namespace

const char* BackendName() { return "CNG"; }

bool Pbkdf2Sha256(std::string_view password, const Bytes& salt, unsigned long iterations, Secret& key) {
  const Provider provider = HmacSha256Provider();
  if (!provider || iterations == 0 || !FitsUlong(password.size()) || !FitsUlong(salt.size()) ||
      !FitsUlong(key.size())) {
    return false;
  }
  return Succeeded(BCryptDeriveKeyPBKDF2(provider.get(), In(password.data()), static_cast<ULONG>(password.size()),
                                         In(salt.data()), static_cast<ULONG>(salt.size()), iterations, key.data(),
                                         static_cast<ULONG>(key.size()), 0));
}

bool HmacSha256(const Secret& key, std::string_view message, Secret& mac) {
  const Provider provider = HmacSha256Provider();
  if (!provider || !FitsUlong(key.size()) || !FitsUlong(message.size())) return false;
  BCRYPT_HASH_HANDLE raw = nullptr;
  if (!Succeeded(BCryptCreateHash(provider.get(), &raw, nullptr, 0, In(key.data()),
                                  static_cast<ULONG>(key.size()), 0))) {
    return false;
  }
  const Hash hash(raw);
  Secret result(32);
  if (!Succeeded(BCryptHashData(hash.get(), In(message.data()), static_cast<ULONG>(message.size()), 0)) ||
      !Succeeded(BCryptFinishHash(hash.get(), result.data(), static_cast<ULONG>(result.size()), 0))) {
    return false;
  }
  mac = std::move(result);
  return true;
}

bool AesGcmSeal(const Secret& key, const Bytes& nonce, std::string_view associated, std::string_view plain,
                Bytes& sealed) {
  if (!GcmArgumentsFit(nonce, associated, plain.size() + kGcmTagSize)) return false;
  const GcmKey gcm = MakeGcmKey(key);
  if (!gcm.key) return false;
  Bytes out(plain.size() + kGcmTagSize);
  auto info = GcmInfo(nonce, associated, out.data() + plain.size());
  ULONG written = 0;
  if (!Succeeded(BCryptEncrypt(gcm.key.get(), In(plain.data()), static_cast<ULONG>(plain.size()), &info, nullptr,
                               0, out.data(), static_cast<ULONG>(plain.size()), &written, 0)) ||
      written != plain.size()) {
    return false;
  }
  sealed = std::move(out);
  return true;
}

bool AesGcmOpen(const Secret& key, const Bytes& nonce, std::string_view associated, const Bytes& sealed,
                std::string& plain) {
  plain.clear();
  if (sealed.size() < kGcmTagSize || !GcmArgumentsFit(nonce, associated, sealed.size())) return false;
  const GcmKey gcm = MakeGcmKey(key);
  if (!gcm.key) return false;
  const std::size_t size = sealed.size() - kGcmTagSize;
  Bytes tag(sealed.end() - kGcmTagSize, sealed.end());
  auto info = GcmInfo(nonce, associated, tag.data());
  // Opened straight into the caller's text: a local moved out afterwards would leave a copy
  // of a short password behind in its own buffer.
  plain.resize(size);
  ULONG written = 0;
  const bool opened = Succeeded(BCryptDecrypt(gcm.key.get(), In(sealed.data()), static_cast<ULONG>(size), &info,
                                              nullptr, 0, reinterpret_cast<PUCHAR>(plain.data()),
                                              static_cast<ULONG>(size), &written, 0)) &&
                      written == size;
  if (!opened) {
    // What came out before the tag was checked is not to be trusted, nor left lying around.
    Wipe(plain.data(), plain.size());
    plain.clear();
    return false;
  }
  return true;
}

bool RandomBytes(Bytes& bytes) {
  if (!FitsUlong(bytes.size())) return false;
  return Succeeded(BCryptGenRandom(nullptr, bytes.data(), static_cast<ULONG>(bytes.size()),
                                   BCRYPT_USE_SYSTEM_PREFERRED_RNG));
}

}  // namespace korvane::crypto
