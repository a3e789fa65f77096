// The real ImportContext::unprotect on Windows: DPAPI for the current user.
#pragma once

#include <optional>
#include <string>

namespace korvane::import {

// The plain bytes of a blob that CryptProtectData made for the current Windows user (no
// extra entropy); nullopt when it does not open for this user.
std::optional<std::string> UnprotectForCurrentUser(const std::string& blob);

}  // namespace korvane::import
