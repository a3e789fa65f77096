#include "launch/rdp_file.h"

namespace korvane {
namespace {

bool HasControlCharacter(const std::string& text) {
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return true;
  }
  return false;
}

}  // namespace

bool CheckRequiredFields(const ConnectionSettings& s) {
  return !s.host.empty() && !s.port.empty() && !s.user.empty() && !s.password.empty();
}

bool HasControlCharacters(const ConnectionSettings& s) {
  return HasControlCharacter(s.host) || HasControlCharacter(s.port) || HasControlCharacter(s.user);
}

std::vector<std::string> SplitResolution(const std::string& text) {
  std::vector<std::string> pieces;
  std::string::size_type start = 0;
  while (start < text.size()) {
    const auto star = text.find('*', start);
    if (star == std::string::npos) {
      pieces.push_back(text.substr(start));
      break;
    }
    pieces.push_back(text.substr(start, star - start));
    start = star + 1;
  }
  return pieces;
}

std::string BuildRdpText(const ConnectionSettings& s, const std::string& passwordHex) {
  const std::vector<std::string> pieces = SplitResolution(s.resolution);
  const std::string width = pieces.size() > 0 ? pieces[0] : std::string();
  const std::string height = pieces.size() > 1 ? pieces[1] : std::string();

  // The window choice wins over full screen; with neither checked the client picks its own.
  std::string screenMode;
  if (s.windowed) {
    screenMode = "screen mode id:i:1";
  } else if (s.fullScreen) {
    screenMode = "screen mode id:i:0";
  }

  // The blanks after "16" and after the smart-card value are part of the lines the client
  // has always been given; they stay.
  std::vector<std::string> lines = {
      screenMode,
      "desktopwidth:i:" + width,
      "desktopheight:i:" + height,
      "session bpp:i:16 ",
      "winposstr:s:2,3,0,0,800,600",
      "compression:i:1",
      "displayconnectionbar:i:1",
      "disable wallpaper:i:1",
      "disable themes:i:0",
      "full address:s:" + s.host + ":" + s.port,
  };
  if (s.mapDisks) {
    lines.push_back("drivestoredirect:s:*");
    lines.push_back("devicestoredirect:s:*");
    lines.push_back("redirectsmartcards:i:1 ");
  }
  lines.push_back(s.reconnect ? "autoreconnection enabled:i:1" : "autoreconnection enabled:i:0");
  lines.push_back("username:s:" + s.user);
  lines.push_back("password 51:b:" + passwordHex);
  lines.push_back("redirectclipboard:i:1");

  std::string text;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) text += "\r\n";
    text += lines[i];
  }
  return text;
}

std::string HexUpper(const std::vector<unsigned char>& bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (const unsigned char byte : bytes) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0x0F];
  }
  return text;
}

}  // namespace korvane
