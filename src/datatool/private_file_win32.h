// How a private file is protected on Windows, apart from the writing so that it can be looked
// at: the file system may keep less of it than was asked for (Wine keeps mode bits only).
#pragma once

#include <windows.h>

#include <vector>

namespace korvane::tool {

// A security descriptor with a protected DACL of one entry: full access for the user this
// process runs as (from its token; not the token's default owner, which for an elevated
// administrator is the Administrators group). Protected, so that the inheritable entries of
// the folder are neither merged in now nor added when someone later passes the folder's
// permissions down to its files.
class PrivateFileSecurity {
 public:
  PrivateFileSecurity() = default;
  // The descriptor points into the object's own buffers.
  PrivateFileSecurity(const PrivateFileSecurity&) = delete;
  PrivateFileSecurity& operator=(const PrivateFileSecurity&) = delete;
  // False when the user cannot be read from the token or the system refuses the descriptor.
  bool Build();
  SECURITY_DESCRIPTOR* Descriptor() { return &descriptor_; }

 private:
  std::vector<unsigned char> sid_;
  std::vector<DWORD> aclSpace_;  // DWORDs: an ACL needs their alignment
  SECURITY_DESCRIPTOR descriptor_{};
};

}  // namespace korvane::tool
