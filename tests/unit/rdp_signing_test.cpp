#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "launch/rdp_signing.h"

// The native tree has openssl and the fixtures' folder; the Windows tree runs the rest.
#ifdef KORVANE_FIXTURES
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#endif

namespace korvane {
namespace {

using Bytes = std::vector<unsigned char>;

Bytes SignedBytes(const std::string& text) {
  Bytes bytes = Utf16Le(text);
  bytes.insert(bytes.end(), {0, 0});
  return bytes;
}

TEST(RdpSigning, SignsTheSignableSettingsInTheToolsOrderWhateverTheFilesOrder) {
  struct Case {
    std::string file, signscope, signedLines;
  };
  const Case cases[] = {
      {"redirectclipboard:i:1\r\nusername:s:u\r\ndrivestoredirect:s:*\r\nfull address:s:db:1\r\nserver port:i:1\r\n"
       "autoreconnection enabled:i:0\r\npassword 51:b:0A",
       "Full Address,Alternate Full Address,Server Port,AutoReconnection Enabled,RedirectClipboard,DrivesToRedirect",
       "full address:s:db:1\r\nalternate full address:s:db:1\r\nserver port:i:1\r\nautoreconnection enabled:i:0\r\n"
       "redirectclipboard:i:1\r\ndrivestoredirect:s:*\r\n"},
      // Any case; a given alternate address stays alone; a number loses its trailing blank, text
      // keeps it; lines without a colon and an earlier signature are left out.
      {"\r\nRedirectSmartCards:i:1 \r\nAlternate Full Address:s:x\r\nfull address:s:y \r\nsignscope:s:Old\r\nsignature:s:A",
       "Full Address,Alternate Full Address,RedirectSmartCards",
       "full address:s:y \r\nAlternate Full Address:s:x\r\nRedirectSmartCards:i:1\r\n"},
      {"username:s:u", "", ""},
  };
  for (const Case& c : cases) {
    const auto signing = PrepareRdpSigning(c.file);
    ASSERT_TRUE(signing) << c.file;
    EXPECT_EQ(signing->signscopeLine, "signscope:s:" + c.signscope);
    EXPECT_EQ(signing->content, SignedBytes(c.signedLines + signing->signscopeLine + "\r\n")) << c.file;
  }
  EXPECT_FALSE(PrepareRdpSigning("full address:s:a\r\nusername:s:u\r\nFull Address:s:b"));
}

TEST(RdpSigning, Utf16LeAndThumbprints) {
  EXPECT_EQ(Utf16Le("a服😀\xFF" "b\xE6\x9C"), (Bytes{'a', 0, 0x0D, 0x67, 0x3D, 0xD8, 0x00, 0xDE, 0xFD, 0xFF, 'b', 0,
                                                     0xFD, 0xFF, 0xFD, 0xFF}));
  const std::string hex(64, 'a');
  EXPECT_EQ(NormalizeThumbprint("\xE2\x80\x8E" + hex.substr(0, 2) + " :" + hex.substr(2)), std::string(64, 'A'));
  EXPECT_EQ(NormalizeThumbprint("SHA256:" + hex), std::string(64, 'A'));  // the policy's entry
  for (const std::string& bad : {hex + "a", hex.substr(1), hex.substr(1) + "g", "a" + ("sha256:" + hex.substr(1))}) EXPECT_FALSE(NormalizeThumbprint(bad));
}

// A signature whose length leaves none, one or two bytes after its last group of three ends its
// base64 in each of the three ways: RFC 4648's examples, after the 12-byte header's 16 digits.
TEST(RdpSigning, TheSignatureLineEndsRightForEveryLength) {
  const std::pair<std::string, std::string> known[] = {{"foo", "Zm9v"}, {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}};
  for (const auto& [signature, base64] : known) {
    EXPECT_EQ(SignatureLine({signature.begin(), signature.end()}).substr(12 + 16), base64) << signature;
  }
}

#ifdef KORVANE_FIXTURES
// Microsoft's own signed file (the RemoteApp example of MS-RDWR, section 4.2): its signature
// holds for the content rebuilt from its settings. The signature has no signed attributes, so
// openssl compares the SHA-1 it recovers from the RSA block with the content's own; the 2011
// SHA-1 chain is left unchecked (-noverify).
TEST(RdpSigning, RebuildsWhatMicrosoftsSigningToolSigned) {
  std::ifstream in(KORVANE_FIXTURES "/ms-rdwr-remoteapp.rdp", std::ios::binary);
  const std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_GT(raw.size(), 2u) << "missing fixture";
  std::string text;  // the file is ASCII
  for (size_t i = 2; i + 1 < raw.size(); i += 2) text += raw[i];
  const size_t scope = text.find("signscope:s:"), signature = text.find("signature:s:") + 12;
  std::string base64 = text.substr(signature, text.find("\r\n", signature) - signature);
  std::erase(base64, ' ');
  const auto signing = PrepareRdpSigning(text);
  ASSERT_TRUE(signing);
  EXPECT_EQ(signing->signscopeLine, text.substr(scope, text.find("\r\n", scope) - scope));

  const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("korvane-rdwr-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "content.bin", std::ios::binary).write(reinterpret_cast<const char*>(signing->content.data()),
                                                             static_cast<std::streamsize>(signing->content.size()));
  std::ofstream(dir / "signature.b64") << base64;
  const std::string run = "cd " + dir.string() + " && openssl base64 -d -A -in signature.b64 | tail -c +13 >sig.der && "
                          "openssl cms -verify -noverify -inform der -in sig.der -binary -content content.bin -out /dev/null 2>out.txt";
  EXPECT_EQ(std::system(run.c_str()), 0) << std::ifstream(dir / "out.txt").rdbuf();
  std::ifstream der(dir / "sig.der", std::ios::binary);
  EXPECT_EQ(SignatureLine({std::istreambuf_iterator<char>(der), {}}), "signature:s:" + base64);  // the same header
  std::filesystem::remove_all(dir);
}
#endif

}  // namespace
}  // namespace korvane
