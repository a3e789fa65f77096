#include <gtest/gtest.h>

// The native tree has libcrypto and the fixtures' folder; the Windows tree runs the rest.
#ifdef KORVANE_FIXTURES
#include <openssl/evp.h>
#include <openssl/pkcs7.h>
#include <openssl/sha.h>
#include <openssl/x509.h>
#endif

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "launch/connect.h"
#include "launch/rdp_signing.h"
#include "support/fake_platform.h"
#include "support/main_window_form.h"

namespace korvane {
namespace {

using Bytes = std::vector<unsigned char>;

std::string Join(const std::vector<std::string>& lines) {
  std::string text;
  for (size_t i = 0; i < lines.size(); ++i) text += (i > 0 ? "\r\n" : "") + lines[i];
  return text;
}

TEST(RdpSigning, SignsTheSignableSettingsInTheToolsOrderAndAddsTheAlternateAddress) {
  struct Case {
    std::vector<std::string> lines;
    std::string signscope;
    std::vector<std::string> signedLines;
    size_t linesAfter;
  };
  const Case cases[] = {
      {{"redirectclipboard:i:1", "username:s:ops", "drivestoredirect:s:*", "full address:s:db:3389",
        "server port:i:3389", "autoreconnection enabled:i:0", "password 51:b:0A"},
       "Full Address,Alternate Full Address,Server Port,AutoReconnection Enabled,RedirectClipboard,DrivesToRedirect",
       {"full address:s:db:3389", "alternate full address:s:db:3389", "server port:i:3389",
        "autoreconnection enabled:i:0", "redirectclipboard:i:1", "drivestoredirect:s:*"},
       8},
      // Names in any case; a given alternate address stays and no second one comes; the
      // smart-card line's trailing blank goes; lines without a colon are no settings.
      {{"", "RedirectSmartCards:i:1 ", "Alternate Full Address:s:x", "session bpp:i:16 ", "full address:s:y"},
       "Full Address,Alternate Full Address,RedirectSmartCards",
       {"full address:s:y", "Alternate Full Address:s:x", "RedirectSmartCards:i:1"},
       5},
      {{"username:s:u"}, "", {}, 1},
  };
  for (const Case& c : cases) {
    const auto signing = PrepareRdpSigning(Join(c.lines) + "\r\nsignscope:s:Old\r\nsignature:s:AAAA");
    ASSERT_TRUE(signing) << c.signscope;
    EXPECT_EQ(signing->signscopeLine, "signscope:s:" + c.signscope);
    std::string content;
    for (const std::string& line : c.signedLines) content += line + "\r\n";
    Bytes bytes = Utf16Le(content + signing->signscopeLine + "\r\n");
    bytes.insert(bytes.end(), {0, 0});
    EXPECT_EQ(signing->content, bytes) << c.signscope;
    EXPECT_EQ(signing->lines.size(), c.linesAfter) << c.signscope;
  }
  EXPECT_FALSE(PrepareRdpSigning("full address:s:a\r\nusername:s:u\r\nFull Address:s:b"));
}

TEST(RdpSigning, SignatureLineAndFile) {
  EXPECT_EQ(SignatureLine({0x30, 0x82, 0x01}), "signature:s:AQABAAEAAAADAAAAMIIB");
  const auto signing = PrepareRdpSigning("full address:s:服:1");
  Bytes file = {0xFF, 0xFE};
  const Bytes text = Utf16Le("full address:s:服:1\r\nalternate full address:s:服:1\r\nsignscope:s:Full Address,"
                             "Alternate Full Address\r\nsignature:s:AQABAAEAAAAAAAAA\r\n");
  file.insert(file.end(), text.begin(), text.end());
  ASSERT_TRUE(signing);
  EXPECT_EQ(SignedRdpFile(*signing, SignatureLine({})), file);
}

TEST(RdpSigning, Utf16LeAndThumbprints) {
  EXPECT_EQ(Utf16Le("a服😀"), (Bytes{'a', 0, 0x0D, 0x67, 0x3D, 0xD8, 0x00, 0xDE}));
  EXPECT_EQ(Utf16Le("\xFF" "b\xE6\x9C"), (Bytes{0xFD, 0xFF, 'b', 0, 0xFD, 0xFF, 0xFD, 0xFF}));
  EXPECT_EQ(Utf16Le("\xC0\x80"), (Bytes{0xFD, 0xFF, 0xFD, 0xFF}));  // overlong
  const std::string hex(64, 'a');
  EXPECT_EQ(NormalizeThumbprint("\xE2\x80\x8E" + hex.substr(0, 2) + " :" + hex.substr(2)), std::string(64, 'A'));
  for (const std::string& bad : {hex + "a", hex.substr(1), hex.substr(1) + "g", std::string()}) {
    EXPECT_FALSE(NormalizeThumbprint(bad)) << bad;
  }
}

#ifdef KORVANE_FIXTURES
// Microsoft's own signed file (the RemoteApp example of MS-RDWR, section 4.2): the content
// rebuilt from its settings gives the SHA-1 that its RSA signature carries.
TEST(RdpSigning, RebuildsWhatMicrosoftsSigningToolSigned) {
  std::ifstream in(KORVANE_FIXTURES "/ms-rdwr-remoteapp.rdp", std::ios::binary);
  const std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_GT(raw.size(), 2u) << "missing fixture";
  std::string text;  // the file is ASCII
  for (size_t i = 2; i + 1 < raw.size(); i += 2) text += raw[i];
  const size_t scope = text.find("signscope:s:"), signature = text.find("signature:s:");
  const std::string scopeLine = text.substr(scope, text.find("\r\n", scope) - scope);
  std::string base64 = text.substr(signature + 12, text.find("\r\n", signature) - signature - 12);
  std::erase(base64, ' ');

  const auto signing = PrepareRdpSigning(text.substr(0, scope) + text.substr(signature));
  ASSERT_TRUE(signing);
  EXPECT_EQ(signing->signscopeLine, scopeLine);

  Bytes blob(base64.size());
  blob.resize(EVP_DecodeBlock(blob.data(), reinterpret_cast<const unsigned char*>(base64.data()),
                              static_cast<int>(base64.size())) - std::count(base64.end() - 2, base64.end(), '='));
  const Bytes pkcs7(blob.begin() + 12, blob.end());
  EXPECT_EQ(SignatureLine(pkcs7), "signature:s:" + base64);
  const unsigned char* p = pkcs7.data();
  PKCS7* message = d2i_PKCS7(nullptr, &p, static_cast<long>(pkcs7.size()));
  ASSERT_NE(message, nullptr);
  PKCS7_SIGNER_INFO* signer = sk_PKCS7_SIGNER_INFO_value(PKCS7_get_signer_info(message), 0);
  EXPECT_LE(sk_X509_ATTRIBUTE_num(signer->auth_attr), 0);  // none, so the RSA block holds the content's hash
  X509* certificate = X509_find_by_issuer_and_serial(message->d.sign->cert, signer->issuer_and_serial->issuer,
                                                     signer->issuer_and_serial->serial);
  ASSERT_NE(certificate, nullptr);
  EVP_PKEY_CTX* rsa = EVP_PKEY_CTX_new(X509_get0_pubkey(certificate), nullptr);
  Bytes recovered(512);
  size_t n = recovered.size();
  ASSERT_EQ(EVP_PKEY_verify_recover_init(rsa), 1);
  ASSERT_EQ(EVP_PKEY_verify_recover(rsa, recovered.data(), &n, signer->enc_digest->data, signer->enc_digest->length), 1);
  recovered.resize(n);
  Bytes digestInfo = {0x30, 0x21, 0x30, 0x09, 0x06, 0x05, 0x2B, 0x0E, 0x03, 0x02, 0x1A, 0x05, 0x00, 0x04, 0x14};
  digestInfo.resize(35);
  SHA1(signing->content.data(), signing->content.size(), digestInfo.data() + 15);
  EXPECT_EQ(recovered, digestInfo);
  EVP_PKEY_CTX_free(rsa);
  PKCS7_free(message);
}
#endif

// ---- The connect with the setting ---------------------------------------------------------

TEST(SignedConnect, WritesTheSignedFileOrSaysWhyNot) {
  for (const bool signs : {true, false}) {
    testing::FakeForm form = testing::OpenedMainWindow("db01", "3389", "ops", "pw");
    form.SetChecked(Id(MainControl::选择框_磁盘), true);
    testing::FakePlatform platform;
    platform.signingCertificate = "AB12";
    if (!signs) platform.signature.clear();
    ConnectToServer(form, platform);
    const std::string text = BuildRdpText(ReadConnectionSettings(form), platform.protectedHex);
    ASSERT_EQ(platform.signRequests.size(), 1u);
    EXPECT_EQ(platform.signRequests[0].first, "AB12");
    EXPECT_EQ(platform.signRequests[0].second, PrepareRdpSigning(text)->content);
    EXPECT_EQ(platform.launchedCommandLines.size(), 1u);
    if (signs) {
      EXPECT_TRUE(platform.messages.empty());
      ASSERT_EQ(platform.writtenByteFiles.size(), 1u);
      EXPECT_EQ(platform.writtenByteFiles[0].second, SignedRdpFile(*PrepareRdpSigning(text), SignatureLine(platform.signature)));
      EXPECT_TRUE(platform.writtenFiles.empty());
    } else {
      ASSERT_EQ(platform.messages.size(), 1u);
      EXPECT_EQ(platform.messages[0].text, "无法签名连接文件，本次以未签名方式连接。");
      ASSERT_EQ(platform.writtenFiles.size(), 1u);
      EXPECT_EQ(platform.writtenFiles[0].text, text);
      EXPECT_TRUE(platform.writtenByteFiles.empty());
    }
  }
}

}  // namespace
}  // namespace korvane
