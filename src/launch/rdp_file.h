// The Remote Desktop connection file: the values a connect takes from the main window and
// the exact text written for the client. Portable: no Windows here.
#pragma once

#include <string>
#include <vector>

namespace korvane {

// What one connect reads from the main window, afresh every time.
struct ConnectionSettings {
  std::string host;
  std::string port;
  std::string user;
  std::string password;
  std::string resolution;  // the resolution list's current text, "width*height"
  bool fullScreen = false;
  bool windowed = false;
  bool mapDisks = false;
  bool reconnect = false;
};

// True when host, port, user and password all hold some text. Only the empty text counts
// as missing: a field of blanks is filled.
bool CheckRequiredFields(const ConnectionSettings& settings);

// True when host, port or user holds a byte below 0x20 or the byte 0x7F. Such a byte (a line
// break above all) would end or split a line of the file and let one field write lines of its
// own. The password is not looked at: the file holds only the hexadecimal of its protected
// form, so it may hold any character.
bool HasControlCharacters(const ConnectionSettings& settings);

// The pieces of a text between '*' separators, left to right. Two adjacent separators give
// an empty piece; a trailing separator gives none; the empty text gives no pieces.
std::vector<std::string> SplitResolution(const std::string& text);

// The complete file text: lines joined by CR LF, no line break after the last one. Width and
// height are the first two pieces of the resolution; a missing piece is written empty, so
// callers refuse such a resolution before composing.
std::string BuildRdpText(const ConnectionSettings& settings, const std::string& passwordHex);

// Each byte as two uppercase hexadecimal digits, no separators.
std::string HexUpper(const std::vector<unsigned char>& bytes);

}  // namespace korvane
