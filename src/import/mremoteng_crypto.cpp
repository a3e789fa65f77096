#include "import/mremoteng_crypto.h"

#include <mbedtls/cipher.h>
#include <mbedtls/gcm.h>
#include <mbedtls/md.h>
#include <mbedtls/md5.h>
#include <mbedtls/pkcs5.h>
#include <mbedtls/platform_util.h>

#include <memory>

#include "import/text.h"

namespace korvane::import::mremoteng {
namespace {

constexpr size_t kBlock = 16;

const unsigned char* Bytes(const std::string& s, size_t offset = 0) {
  return reinterpret_cast<const unsigned char*>(s.data()) + offset;
}

// Key bytes on the stack, overwritten on every way out.
struct Key {
  unsigned char bytes[32] = {};
  ~Key() { mbedtls_platform_zeroize(bytes, sizeof bytes); }
};

// The bytes mRemoteNG derives the GCM key from: one byte per UTF-16 unit of the password
// (BouncyCastle's PKCS#5 password bytes, .NET's Convert.ToByte of each character), so only
// characters up to U+00FF, each as its Latin-1 byte. A password with any other character makes
// mRemoteNG fail rather than save, so no file was sealed with it: its UTF-8 bytes are as good a
// guess as any. Text that is not UTF-8 goes as it is.
std::string DerivationBytes(const std::string& password) {
  if (!IsUtf8(password)) return password;
  std::string latin1;
  latin1.reserve(password.size());
  for (std::size_t i = 0; i < password.size(); ++i) {
    const auto lead = static_cast<unsigned char>(password[i]);
    if (lead < 0x80) {
      latin1 += static_cast<char>(lead);
    } else if (lead == 0xC2 || lead == 0xC3) {  // U+0080 to U+00FF, two bytes each
      latin1 += static_cast<char>((lead & 0x03) << 6 | (static_cast<unsigned char>(password[++i]) & 0x3F));
    } else {
      WipeText(latin1);
      return password;
    }
  }
  return latin1;
}

std::optional<std::string> OpenGcm(const std::string& sealed, const std::string& password, unsigned long iterations) {
  if (sealed.size() < 3 * kBlock || iterations == 0 || iterations > 0xFFFFFFFFul) return std::nullopt;
  const size_t textSize = sealed.size() - 3 * kBlock;
  Key key;
  {
    std::string bytes = DerivationBytes(password);
    mbedtls_md_context_t md;
    mbedtls_md_init(&md);
    const int derived =
        mbedtls_md_setup(&md, mbedtls_md_info_from_type(MBEDTLS_MD_SHA1), 1) == 0 &&
        mbedtls_pkcs5_pbkdf2_hmac(&md, Bytes(bytes), bytes.size(), Bytes(sealed), kBlock,
                                  static_cast<unsigned int>(iterations), sizeof key.bytes, key.bytes) == 0;
    mbedtls_md_free(&md);
    WipeText(bytes);
    if (!derived) return std::nullopt;
  }
  mbedtls_gcm_context gcm;
  mbedtls_gcm_init(&gcm);
  std::string plain(textSize, '\0');
  const bool opened =
      mbedtls_gcm_setkey(&gcm, MBEDTLS_CIPHER_ID_AES, key.bytes, 256) == 0 &&
      mbedtls_gcm_auth_decrypt(&gcm, textSize, Bytes(sealed, kBlock), kBlock, Bytes(sealed), kBlock,
                               Bytes(sealed, sealed.size() - kBlock), kBlock, Bytes(sealed, 2 * kBlock),
                               reinterpret_cast<unsigned char*>(plain.data())) == 0;
  mbedtls_gcm_free(&gcm);
  if (!opened) {
    WipeText(plain);
    return std::nullopt;
  }
  return plain;
}

std::optional<std::string> OpenCbc(const std::string& sealed, const std::string& password) {
  if (sealed.size() < 2 * kBlock || sealed.size() % kBlock != 0) return std::nullopt;
  Key key;
  if (mbedtls_md5_ret(Bytes(password), password.size(), key.bytes) != 0) return std::nullopt;
  mbedtls_cipher_context_t cipher;
  mbedtls_cipher_init(&cipher);
  std::string plain(sealed.size(), '\0');  // room for the padded text and one block more
  size_t plainSize = 0;
  const bool opened =
      mbedtls_cipher_setup(&cipher, mbedtls_cipher_info_from_type(MBEDTLS_CIPHER_AES_128_CBC)) == 0 &&
      mbedtls_cipher_setkey(&cipher, key.bytes, 128, MBEDTLS_DECRYPT) == 0 &&
      mbedtls_cipher_set_padding_mode(&cipher, MBEDTLS_PADDING_PKCS7) == 0 &&
      mbedtls_cipher_crypt(&cipher, Bytes(sealed), kBlock, Bytes(sealed, kBlock), sealed.size() - kBlock,
                           reinterpret_cast<unsigned char*>(plain.data()), &plainSize) == 0;
  mbedtls_cipher_free(&cipher);
  if (!opened) {
    WipeText(plain);
    return std::nullopt;
  }
  plain.resize(plainSize);
  return plain;
}

}  // namespace

std::optional<std::string> Open(const Sealing& sealing, const std::string& password, std::string_view base64) {
  auto sealed = DecodeBase64(base64);
  if (!sealed) return std::nullopt;
  return sealing.cipher == Cipher::AesGcm ? OpenGcm(*sealed, password, sealing.iterations) : OpenCbc(*sealed, password);
}

}  // namespace korvane::import::mremoteng
