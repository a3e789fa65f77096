// Text as the other tools' files hold it, turned into the UTF-8 that korvane keeps.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>


namespace korvane::import {

// True when the bytes are well-formed UTF-8 (no overlong forms, surrogates or values past
// U+10FFFF): what the windows can show and what an operator can type.
bool IsUtf8(std::string_view text);

// UTF-16LE bytes as UTF-8; nullopt for an odd length or a lone surrogate.
std::optional<std::string> Utf16LeToUtf8(std::string_view bytes);

// The text of a file: UTF-16LE after its byte order mark, or UTF-8 with or without one.
// nullopt when it is neither.
std::optional<std::string> DecodeText(std::string_view bytes);

// A password as Windows protects it: UTF-16LE, perhaps with a terminator (and, as korvane
// itself writes it, one byte more). nullopt when it is not such text.
std::optional<std::string> WidePasswordToUtf8(std::string_view bytes);

// Base64 and hexadecimal; nullopt when the text is not wholly that.
std::optional<std::string> DecodeBase64(std::string_view text);
std::optional<std::string> DecodeHex(std::string_view text);

std::string_view Trim(std::string_view text);
bool EqualsIgnoringCase(std::string_view a, std::string_view b);
std::string Join(const std::vector<std::string>& pieces, std::string_view separator);

// "DOMAIN\user", or the user alone when the domain is empty or the user already names one.
std::string UserWithDomain(const std::string& user, const std::string& domain);

// The longest start of UTF-8 `text` that is whole characters and at most `maxBytes` long.
std::string_view CutUtf8(std::string_view text, std::size_t maxBytes);

// A value from the file as a note quotes it: its first 64 bytes and "…" after a longer one, so
// that a note never grows with what a file holds.
std::string Shown(std::string_view value);

// Overwrites a secret, and whatever else its room still holds, before its memory goes;
// WipeAndFree also hands the memory back.
void WipeText(std::string& text);
void WipeAndFree(std::string& text);

// malloc, realloc and free for a C library's buffers that hold a file's text (a parser's):
// each block is wiped before it goes back. A block grows to twice its size at least, so that
// a library that asks for a few bytes more at a time still copies its text only a few times.
void* WipingAllocate(std::size_t size);
void* WipingReallocate(void* memory, std::size_t size);
void WipingFree(void* memory);

}  // namespace korvane::import
