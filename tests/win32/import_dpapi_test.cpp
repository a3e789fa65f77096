// Passwords that Windows protected for the current user, as RDCMan and mstsc save them, open
// through the real DPAPI; a blob of someone else's does not, and the server comes without it.
#include <windows.h>
#include <wincrypt.h>

#include <gtest/gtest.h>

#include "import/import.h"
#include "import/unprotect_win32.h"
#include "support/mremoteng_sealing.h"
#include "win32/support/dpapi.h"

namespace korvane::import {
namespace {

std::string Protect(const std::string& password, bool terminated) { return testing::ProtectForUser(password, terminated); }
std::string Hex(const std::string& bytes) { return testing::HexUpper(bytes); }

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
