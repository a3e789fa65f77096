#include <windows.h>

#include <algorithm>
#include <vector>

#include "datatool/private_file.h"
#include "datatool/private_file_win32.h"

namespace korvane::tool {
namespace {

// The SID of the user this process runs as, from its token; empty when it cannot be read. Not
// the token's default owner, which for an elevated administrator is the Administrators group.
std::vector<unsigned char> ProcessUserSid() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  // Kept as DWORDs: TOKEN_USER and the SID in it need their alignment.
  std::vector<DWORD> user(size / sizeof(DWORD) + 1);
  const bool read = size > 0 && GetTokenInformation(token, TokenUser, user.data(), size, &size);
  CloseHandle(token);
  if (!read) return {};
  const PSID sid = reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
  std::vector<unsigned char> copy(GetLengthSid(sid));
  if (!CopySid(static_cast<DWORD>(copy.size()), copy.data(), sid)) return {};
  return copy;
}

}  // namespace

bool PrivateFileSecurity::Build() {
  sid_ = ProcessUserSid();
  if (sid_.empty()) return false;
  const DWORD aclSize = static_cast<DWORD>(sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + sid_.size());
  aclSpace_.assign(aclSize / sizeof(DWORD) + 1, 0);
  const auto acl = reinterpret_cast<PACL>(aclSpace_.data());
  return InitializeAcl(acl, aclSize, ACL_REVISION) &&
         AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, sid_.data()) &&
         InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) &&
         SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE) &&
         SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
}

bool WritePrivateFile(const std::filesystem::path& path, std::string_view bytes) {
  PrivateFileSecurity security;
  if (!security.Build()) return false;
  SECURITY_ATTRIBUTES attributes{sizeof(attributes), security.Descriptor(), FALSE};
  const HANDLE file =
      CreateFileW(path.c_str(), GENERIC_WRITE, 0, &attributes, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool written = true;
  while (written && !bytes.empty()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1 << 20));
    DWORD done = 0;
    written = WriteFile(file, bytes.data(), chunk, &done, nullptr) && done > 0;
    bytes.remove_prefix(done);
  }
  written = CloseHandle(file) && written;
  if (!written) DeleteFileW(path.c_str());
  return written;
}

bool JournalIsTheFilesOwn(const std::filesystem::path&, const std::filesystem::path& journal) {
  const DWORD attributes = GetFileAttributesW(journal.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY));
}

}  // namespace korvane::tool
