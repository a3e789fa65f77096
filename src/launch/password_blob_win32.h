// The password as the Remote Desktop client reads it from the connection file: a blob
// protected for the current Windows user, written as uppercase hexadecimal.
#pragma once

#include <string>

namespace korvane {

// Protects the UTF-16 form of the password (as code page 936 gives it; characters that code
// page cannot hold are taken exactly), its zero terminator and one more zero byte, with the
// description "psw". Returns the blob as hexadecimal text, or "" when protection fails.
std::string ProtectedPasswordHex(const std::string& password);

}  // namespace korvane
