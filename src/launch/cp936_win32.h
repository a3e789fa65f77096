// Code page 936 (GBK), named explicitly: the connection file and the protected password
// are in that code page whatever the system's ANSI code page is.
#pragma once

#include <string>
#include <vector>

namespace korvane {

inline constexpr unsigned kCodePage936 = 936;

// The text in code page 936. Characters that code page cannot hold become '?', and
// *lossless (when given) tells whether that happened to none of them. No best-fit
// substitutes: a look-alike character would silently name another host or user.
std::string WideToCp936(const std::wstring& wide, bool* lossless = nullptr);

// The UTF-16LE form of a code page 936 text, its terminating zero unit included: 2n bytes for
// n units. Taken through a zero-filled GlobalAlloc buffer of twice the size needed, which is
// wiped before it is freed since it may hold a password. Empty when the code page is missing.
std::vector<unsigned char> ToUtf16Cp936(const std::string& cp936);

}  // namespace korvane
