#include <windows.h>
#include <aclapi.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <sstream>

#include "datatool/data_tool.h"
#include "datatool/private_file_win32.h"
#include "support/data_files.h"

namespace korvane {
namespace {

// The CSV holds passwords in clear. Wine 8 keeps no DACL of a file: it turns the one given at
// creation into mode bits and reads back a DACL made from those, with SYSTEM in it. So the
// entries are checked: the user with full access, and nobody else but SYSTEM with anything.
TEST(ExportOnWindows, NobodyButTheUserWhoExportedMayOpenTheCsv) {
  testing::TempDir dir("korvane 导出");
  const std::string data = dir.File("mstsc.mdb");
  testing::MakeDataFile(data);
  std::ostringstream out, err;
  ASSERT_EQ(RunDataTool({"export", data, dir.File("servers.csv")}, out, err), 0) << err.str();

  // The user's SID found by name, not from the process token as the export takes it.
  wchar_t name[256], domain[256];
  DWORD nameSize = 256, domainSize = 256, userSize = SECURITY_MAX_SID_SIZE, systemSize = userSize;
  BYTE user[SECURITY_MAX_SID_SIZE], system[SECURITY_MAX_SID_SIZE];
  SID_NAME_USE use;
  ASSERT_TRUE(GetUserNameW(name, &nameSize) && LookupAccountNameW(nullptr, name, user, &userSize, domain, &domainSize, &use));
  ASSERT_TRUE(CreateWellKnownSid(WinLocalSystemSid, nullptr, system, &systemSize));
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_EQ(GetNamedSecurityInfoW((dir.path() / "servers.csv").wstring().c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                  nullptr, nullptr, &dacl, nullptr, &descriptor), DWORD{ERROR_SUCCESS});
  bool userHasAll = false;
  for (WORD i = 0; dacl != nullptr && i < dacl->AceCount; ++i) {
    ACCESS_ALLOWED_ACE* ace = nullptr;
    if (!GetAce(dacl, i, reinterpret_cast<void**>(&ace)) || ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
    const bool forUser = EqualSid(&ace->SidStart, user);
    EXPECT_TRUE(forUser || EqualSid(&ace->SidStart, system)) << "entry " << i << " lets someone else in";
    userHasAll = userHasAll || (forUser && (ace->Mask & FILE_ALL_ACCESS) == FILE_ALL_ACCESS);
  }
  EXPECT_TRUE(userHasAll);
  LocalFree(descriptor);

  // Wine keeps mode bits, not the descriptor: what the file is made with is checked as built.
  // Protected, or Windows would merge in the folder's inheritable entries; one entry, the user's.
  tool::PrivateFileSecurity built;
  ASSERT_TRUE(built.Build());
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  ASSERT_TRUE(GetSecurityDescriptorControl(built.Descriptor(), &control, &revision));
  EXPECT_TRUE(control & SE_DACL_PROTECTED);
  BOOL present = FALSE, defaulted = FALSE;
  PACL own = nullptr;
  ACCESS_ALLOWED_ACE* only = nullptr;
  ASSERT_TRUE(GetSecurityDescriptorDacl(built.Descriptor(), &present, &own, &defaulted) && present && own);
  ASSERT_EQ(own->AceCount, 1);
  ASSERT_TRUE(GetAce(own, 0, reinterpret_cast<void**>(&only)));
  EXPECT_TRUE(EqualSid(&only->SidStart, user));
  // Nothing beside the CSV: no scratch copy of the passwords is left.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
}

}  // namespace
}  // namespace korvane
