// Seals values as mRemoteNG does, with mbedtls, so tests and benchmarks can write the files the
// importer reads. Salt, nonce and IV are fixed bytes unless given: what matters is the opening.
#pragma once

#include <mbedtls/base64.h>
#include <mbedtls/cipher.h>
#include <mbedtls/gcm.h>
#include <mbedtls/md5.h>
#include <mbedtls/pkcs5.h>

#include <string>

namespace korvane::testing {

inline std::string Counting(unsigned char from) {
  std::string bytes(16, '\0');
  for (int i = 0; i < 16; ++i) bytes[i] = static_cast<char>(from + i);
  return bytes;
}

inline const unsigned char* U(const std::string& s) { return reinterpret_cast<const unsigned char*>(s.data()); }

inline std::string Base64(const std::string& bytes) {
  std::string out(bytes.size() * 4 / 3 + 4, '\0');
  size_t size = 0;
  mbedtls_base64_encode(reinterpret_cast<unsigned char*>(out.data()), out.size() + 1, &size, U(bytes), bytes.size());
  out.resize(size);
  return out;
}

inline std::string SealGcm(const std::string& password, const std::string& plain, unsigned iterations,
                           const std::string& salt = Counting(0x00), const std::string& nonce = Counting(0x10)) {
  unsigned char key[32];
  mbedtls_md_context_t md;
  mbedtls_md_init(&md);
  mbedtls_md_setup(&md, mbedtls_md_info_from_type(MBEDTLS_MD_SHA1), 1);
  mbedtls_pkcs5_pbkdf2_hmac(&md, U(password), password.size(), U(salt), 16, iterations, 32, key);
  mbedtls_md_free(&md);
  mbedtls_gcm_context gcm;
  mbedtls_gcm_init(&gcm);
  mbedtls_gcm_setkey(&gcm, MBEDTLS_CIPHER_ID_AES, key, 256);
  std::string sealed(plain.size(), '\0'), tag(16, '\0');
  mbedtls_gcm_crypt_and_tag(&gcm, MBEDTLS_GCM_ENCRYPT, plain.size(), U(nonce), 16, U(salt), 16, U(plain),
                            reinterpret_cast<unsigned char*>(sealed.data()), 16, reinterpret_cast<unsigned char*>(tag.data()));
  mbedtls_gcm_free(&gcm);
  return Base64(salt + nonce + sealed + tag);
}

inline std::string SealCbc(const std::string& password, const std::string& plain, const std::string& iv = Counting(0x20)) {
  unsigned char key[16];
  mbedtls_md5_ret(U(password), password.size(), key);
  mbedtls_cipher_context_t cipher;
  mbedtls_cipher_init(&cipher);
  mbedtls_cipher_setup(&cipher, mbedtls_cipher_info_from_type(MBEDTLS_CIPHER_AES_128_CBC));
  mbedtls_cipher_setkey(&cipher, key, 128, MBEDTLS_ENCRYPT);
  mbedtls_cipher_set_padding_mode(&cipher, MBEDTLS_PADDING_PKCS7);
  std::string sealed(plain.size() + 16, '\0');
  size_t size = 0;
  mbedtls_cipher_crypt(&cipher, U(iv), 16, U(plain), plain.size(), reinterpret_cast<unsigned char*>(sealed.data()), &size);
  mbedtls_cipher_free(&cipher);
  sealed.resize(size);
  return Base64(iv + sealed);
}

}  // namespace korvane::testing
