// The connection file's shape holds whatever the operator typed: for fields that pass the
// connect's own checks, a line break never lands inside a field and no field adds a line.
#include <fuzzer/FuzzedDataProvider.h>

#include <string>
#include <vector>

#include "../support/crlf_lines.h"
#include "fuzz_support.h"
#include "launch/rdp_file.h"

namespace {

using korvane::fuzz::Require;

bool HasLineBreak(const std::string& text) { return text.find_first_of("\r\n") != std::string::npos; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using korvane::ConnectionSettings;
  FuzzedDataProvider input(data, size);
  ConnectionSettings s;
  s.host = input.ConsumeRandomLengthString();
  s.port = input.ConsumeRandomLengthString();
  s.user = input.ConsumeRandomLengthString();
  s.password = input.ConsumeRandomLengthString();
  s.resolution = input.ConsumeRandomLengthString();
  s.fullScreen = input.ConsumeBool();
  s.windowed = input.ConsumeBool();
  s.mapDisks = input.ConsumeBool();
  s.reconnect = input.ConsumeBool();
  // The password reaches the file only as the hexadecimal of its protected form.
  const std::vector<unsigned char> blob = input.ConsumeRemainingBytes<unsigned char>();
  const std::string hex = korvane::HexUpper(blob);

  // The connect refuses these before composing anything.
  if (!korvane::CheckRequiredFields(s) || korvane::HasControlCharacters(s)) return 0;
  // The resolution comes from a drop-down list of fixed items, none with a control character.
  for (const char c : s.resolution) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return 0;
  }

  const std::vector<std::string> lines = korvane::testing::CrlfLines(korvane::BuildRdpText(s, hex));
  std::vector<std::string> keys = {"",
                                   "desktopwidth:i:",
                                   "desktopheight:i:",
                                   "session bpp:i:16 ",
                                   "winposstr:s:2,3,0,0,800,600",
                                   "compression:i:1",
                                   "displayconnectionbar:i:1",
                                   "disable wallpaper:i:1",
                                   "disable themes:i:0",
                                   "full address:s:"};
  if (s.mapDisks) keys.insert(keys.end(), {"drivestoredirect:s:*", "devicestoredirect:s:*", "redirectsmartcards:i:1 "});
  keys.insert(keys.end(), {"autoreconnection enabled:i:", "username:s:", "password 51:b:", "redirectclipboard:i:1"});

  Require(lines.size() == (s.mapDisks ? 17u : 14u));
  Require(lines.size() == keys.size());
  for (size_t i = 0; i < lines.size(); ++i) {
    Require(!HasLineBreak(lines[i]));
    Require(lines[i].compare(0, keys[i].size(), keys[i]) == 0);
  }
  const std::string screenMode = s.windowed ? "screen mode id:i:1" : s.fullScreen ? "screen mode id:i:0" : "";
  Require(lines[0] == screenMode);
  const size_t tail = lines.size() - 4;
  Require(lines[9] == "full address:s:" + s.host + ":" + s.port);
  Require(lines[tail + 1] == "username:s:" + s.user);
  Require(lines[tail + 2] == "password 51:b:" + hex);
  return 0;
}
