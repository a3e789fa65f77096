// An exported CSV holds the passwords in clear: on Windows only the user who exported it may
// open it, whatever the folder would hand down to a new file.
#include <windows.h>
#include <aclapi.h>

#include <gtest/gtest.h>

#include <sstream>

#include "store/data_tool.h"
#include "support/data_files.h"

namespace korvane {
namespace {

// Wine 8 keeps no DACL of a file: it turns the one given at creation into the file's mode
// bits, and reads back a DACL made from those, with an entry for SYSTEM of its own. So the
// entries are checked, not their number or the protected flag: the user with full access, and
// nobody else but SYSTEM with anything at all.
TEST(ExportOnWindows, NobodyButTheUserWhoExportedMayOpenTheCsv) {
  testing::TempDir dir("korvane 导出");
  const std::string data = dir.File("mstsc.mdb"), csv = dir.File("servers.csv");
  testing::MakeDataFile(data);
  std::ostringstream out, err;
  ASSERT_EQ(RunDataTool({"export", data, csv}, out, err), 0) << err.str();

  // The user's SID found by name, not from the process token as the export takes it.
  wchar_t name[256], domain[256];
  DWORD nameSize = 256, userSize = SECURITY_MAX_SID_SIZE, domainSize = 256, systemSize = SECURITY_MAX_SID_SIZE;
  BYTE user[SECURITY_MAX_SID_SIZE], system[SECURITY_MAX_SID_SIZE];
  SID_NAME_USE use;
  ASSERT_TRUE(GetUserNameW(name, &nameSize) && LookupAccountNameW(nullptr, name, user, &userSize, domain, &domainSize, &use));
  ASSERT_TRUE(CreateWellKnownSid(WinLocalSystemSid, nullptr, system, &systemSize));

  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_EQ(GetNamedSecurityInfoW((dir.path() / "servers.csv").wstring().c_str(), SE_FILE_OBJECT,
                                  DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr, &descriptor),
            static_cast<DWORD>(ERROR_SUCCESS));
  ASSERT_NE(dacl, nullptr);
  bool userHasAll = false;
  for (WORD i = 0; i < dacl->AceCount; ++i) {
    ACCESS_ALLOWED_ACE* ace = nullptr;
    ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
    if (ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
    const bool forUser = EqualSid(&ace->SidStart, user);
    EXPECT_TRUE(forUser || EqualSid(&ace->SidStart, system)) << "entry " << i << " lets someone else in";
    userHasAll = userHasAll || (forUser && (ace->Mask & FILE_ALL_ACCESS) == FILE_ALL_ACCESS);
  }
  EXPECT_TRUE(userHasAll);
  LocalFree(descriptor);
}

}  // namespace
}  // namespace korvane
