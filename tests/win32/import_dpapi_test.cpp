// Passwords that Windows protected for the current user, as RDCMan and mstsc save them, open
// through the real DPAPI; a blob of someone else's does not, and the server comes without it.
#include <windows.h>
#include <wincrypt.h>

#include <gtest/gtest.h>

#include "import/import.h"
#include "import/unprotect_win32.h"
#include "support/mremoteng_sealing.h"

namespace korvane::import {
namespace {

// The UTF-16LE form of a UTF-8 password, protected as RDCMan and mstsc protect it.
std::string Protect(const std::string& password, bool terminated) {
  std::wstring wide(MultiByteToWideChar(CP_UTF8, 0, password.data(), int(password.size()), nullptr, 0), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, password.data(), int(password.size()), wide.data(), int(wide.size()));
  DATA_BLOB in{DWORD((wide.size() + terminated) * sizeof(wchar_t)), reinterpret_cast<BYTE*>(wide.data())}, out{};
  EXPECT_TRUE(CryptProtectData(&in, L"psw", nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &out));
  std::string blob(reinterpret_cast<char*>(out.pbData), out.cbData);
  LocalFree(out.pbData);
  return blob;
}

std::string Hex(const std::string& bytes) {
  std::string out;
  for (unsigned char c : bytes) out += "0123456789ABCDEF"[c >> 4], out += "0123456789ABCDEF"[c & 15];
  return out;
}

TEST(ImportDpapi, OwnPasswordsOpenOthersAreReported) {
  ImportContext context;
  context.unprotect = UnprotectForCurrentUser;
  // Wine cannot make another user's blob; a cut one does not open for anyone.
  const std::string foreign = Protect("x", false).substr(0, 40);
  const std::string rdg = "<RDCMan programVersion=\"2.7\" schemaVersion=\"3\"><file><group><properties><name>机房A</name>"
                          "</properties><server><properties><name>a.corp</name></properties><logonCredentials inherit=\"None\">"
                          "<userName>ops</userName><password>" + testing::Base64(Protect("密码 1", false)) +
                          "</password></logonCredentials></server><server><properties><name>b.corp</name></properties>"
                          "<logonCredentials inherit=\"None\"><password>" + testing::Base64(foreign) +
                          "</password></logonCredentials></server></group></file></RDCMan>";
  ImportResult result = ReadServersFromBytes("servers.rdg", rdg, context);
  ASSERT_EQ(result.servers.size(), 2u);
  EXPECT_EQ(result.servers[0].password, "密码 1");
  EXPECT_EQ(result.servers[1].password, "");
  ASSERT_EQ(result.unopened.size(), 1u);
  EXPECT_EQ(result.unopened[0].where, "servers.rdg: 机房A/b.corp");

  const std::string rdp = "full address:s:c.corp\r\npassword 51:b:" + Hex(Protect("rdp 密码", true)) + "\r\n";
  result = ReadServersFromBytes("c.rdp", rdp, context);
  ASSERT_EQ(result.servers.size(), 1u);
  EXPECT_EQ(result.servers[0].password, "rdp 密码");
}

}  // namespace
}  // namespace korvane::import
