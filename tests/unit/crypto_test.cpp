// The platform's cryptography held to published known-answer vectors. The same test runs on
// libcrypto in the native tree and on CNG in the win64 tree, under Wine.
#include <gtest/gtest.h>

#include <cstring>

#include "crypto/crypto.h"

namespace korvane::crypto {
namespace {

Bytes Unhex(std::string_view hex) {
  Bytes bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(static_cast<unsigned char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
  }
  return bytes;
}

std::string Hex(const unsigned char* data, size_t size) {
  std::string text;
  for (size_t i = 0; i < size; ++i) text += "0123456789abcdef"[data[i] >> 4], text += "0123456789abcdef"[data[i] & 15];
  return text;
}

std::string Text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

TEST(CryptoTest, KeyDerivationMatchesPublishedVectors) {
  // PBKDF2-HMAC-SHA256: RFC 7914, section 11.
  const struct {
    const char *password, *salt;
    unsigned long iterations;
    const char* key;
  } cases[] = {
      {"passwd", "salt", 1,
       "55ac046e56e3089fec1691c22544b605f94185216dde0465e68b9d57c20dacbc49ca9cccf179b645991664b39d77ef317c71b845b1e30bd509112041d3a19783"},
      {"Password", "NaCl", 80000,
       "4ddcd8f60b98be21830cee5ef22701f9641a4418d04c0414aeff08876b34ab56a1d425a1225833549adb841b51c9b3176a272bdebba1d078478f62b397f33c8d"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(BackendName());
    Secret key(std::strlen(c.key) / 2);
    const std::string salt = c.salt;
    ASSERT_TRUE(Pbkdf2Sha256(c.password, Bytes(salt.begin(), salt.end()), c.iterations, key));
    EXPECT_EQ(Hex(key.data(), key.size()), c.key);
  }
  // HMAC-SHA256: RFC 4231, test case 2.
  const std::string jefe = "Jefe";
  Secret mac;
  ASSERT_TRUE(HmacSha256(Secret(reinterpret_cast<const unsigned char*>(jefe.data()), jefe.size()),
                         "what do ya want for nothing?", mac));
  EXPECT_EQ(Hex(mac.data(), mac.size()), "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843");
}

TEST(CryptoTest, AesGcmMatchesPublishedVectorsAndOpensNothingChanged) {
  // AES-256 test cases 14 and 16 of the GCM submission (McGrew and Viega).
  const struct {
    const char *key, *nonce, *associated, *plain, *sealed;
  } cases[] = {
      {"0000000000000000000000000000000000000000000000000000000000000000", "000000000000000000000000", "",
       "00000000000000000000000000000000", "cea7403d4d606b6e074ec5d3baf39d18d0d1c8a799996bf0265b98b5d48ab919"},
      {"feffe9928665731c6d6a8f9467308308feffe9928665731c6d6a8f9467308308", "cafebabefacedbaddecaf888",
       "feedfacedeadbeeffeedfacedeadbeefabaddad2",
       "d9313225f88406e5a55909c5aff5269a86a7a9531534f7da2e4c303d8a318a721c3c0c95956809532fcf0e2449a6b525b16aedf5aa0de657ba637b39",
       "522dc1f099567d07f47f37a32a84427d643a8cdcbfe5c0c97598a2bd2555d1aa8cb08e48590dbb3da7b08b1056828838c5f61e6393ba7a0abcc9f662"
       "76fc6ece0f4e1768cddf8853bb2d551b"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(BackendName());
    const Bytes keyBytes = Unhex(c.key), nonce = Unhex(c.nonce), plain = Unhex(c.plain);
    const Secret key(keyBytes.data(), keyBytes.size());
    const std::string associated = Text(Unhex(c.associated));
    Bytes sealed;
    ASSERT_TRUE(AesGcmSeal(key, nonce, associated, Text(plain), sealed));
    EXPECT_EQ(Hex(sealed.data(), sealed.size()), c.sealed);
    std::string opened;
    ASSERT_TRUE(AesGcmOpen(key, nonce, associated, sealed, opened));
    EXPECT_EQ(opened, Text(plain));

    // A changed byte of the cipher text or the tag, another nonce or other associated text.
    for (size_t at : {size_t{0}, sealed.size() - 1}) {
      Bytes changed = sealed;
      changed[at] ^= 0x01;
      EXPECT_FALSE(AesGcmOpen(key, nonce, associated, changed, opened));
      EXPECT_EQ(opened, "");
    }
    Bytes otherNonce = nonce;
    otherNonce[11] ^= 0x80;
    EXPECT_FALSE(AesGcmOpen(key, otherNonce, associated, sealed, opened));
    EXPECT_FALSE(AesGcmOpen(key, nonce, associated + "x", sealed, opened));
  }
}

}  // namespace
}  // namespace korvane::crypto
