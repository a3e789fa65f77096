// Remote Desktop connection files: lines of "name:type:value", UTF-16LE as mstsc saves them
// or UTF-8 as other programs write them (DecodeText in import.cpp has made them UTF-8).
#include "import/readers.h"
#include "import/text.h"
#include "import/import_text.h"

namespace korvane::import {

namespace {

// The hexadecimal text of a protected password of kMaxPasswordBytes is far shorter than this.
constexpr std::size_t kMaxBlobText = 16 << 10;

// Calls `use` with the name (mstsc reads it without regard to case) and the value of each
// "name:type:value" line. Views into the text only, never a copy: the text may be a CSV of
// passwords in clear, which this is asked to tell from a connection file.
template <typename Use>
void ForEachLine(std::string_view text, Use use) {
  while (!text.empty()) {
    const auto end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    const auto first = line.find(':');
    const auto second = first == std::string_view::npos ? first : line.find(':', first + 1);
    if (second == std::string_view::npos) continue;
    use(Trim(line.substr(0, first)), Trim(line.substr(second + 1)));
  }
}

}  // namespace

bool LooksLikeRdp(std::string_view text) {
  bool found = false;
  ForEachLine(text, [&](std::string_view key, std::string_view) { found = found || EqualsIgnoringCase(key, "full address"); });
  return found;
}

void ReadRdp(const std::string& file, const std::string& name, const std::string& text, ImportContext& context,
             ImportResult& result) {
  std::string_view address, serverPort, user, domain, sealedHex;
  ForEachLine(text, [&](std::string_view key, std::string_view value) {
    if (EqualsIgnoringCase(key, "full address")) address = value;
    if (EqualsIgnoringCase(key, "server port")) serverPort = value;
    if (EqualsIgnoringCase(key, "username")) user = value;
    if (EqualsIgnoringCase(key, "domain")) domain = value;
    if (EqualsIgnoringCase(key, "password 51")) sealedHex = value;
  });
  // "host", "host:3390", "[fe80::1]:3390", "[fe80::1]" or a bare IPv6 address, whose colons
  // are its own. A port here wins over a "server port" line, as in mstsc.
  std::string_view host = address, port;
  if (host.starts_with('[')) {
    if (const auto close = host.find(']'); close != std::string_view::npos) {
      if (host.substr(close + 1).starts_with(':')) port = host.substr(close + 2);
      host = host.substr(1, close - 1);
    }
  } else if (const auto colon = host.rfind(':'); colon != std::string_view::npos && host.find(':') == colon) {
    port = host.substr(colon + 1);
    host = host.substr(0, colon);
  }
  host = Trim(host), port = Trim(port);
  if (host.empty()) return result.errors.push_back({file, Format(Msg::kRdpNoAddress)});
  ImportedServer s;
  bool shortened = false;
  s.remark = Remark({}, name, shortened);
  s.host = Bounded(host, kMaxHostBytes);
  s.port = Bounded(!port.empty() ? port : !serverPort.empty() ? serverPort : "3389", 64);
  s.user = UserWithDomain(Bounded(user, kMaxUserBytes), Bounded(domain, kMaxUserBytes));
  const std::string where = file + ": " + s.remark;
  if (sealedHex.size() > kMaxBlobText) {
    return NoteSkipped(result, where, Format(Msg::kPasswordTooLong, kMaxPasswordBytes));
  }
  bool unopened = false;
  if (!sealedHex.empty()) {
    const auto blob = DecodeHex(sealedHex);
    std::optional<std::string> plain = blob ? OpenProtected(context, *blob) : std::nullopt;
    unopened = !plain;
    if (plain) {
      s.password.assign(*plain);
      WipeText(*plain);
    }
  }
  if (Admit(file, s, result, shortened)) {
    if (unopened) NoteUnopened(result, where, Format(Msg::kRdpPasswordForOtherUser));
    result.servers.push_back(s);  // a copy: a short password moved would leave its bytes in `s`
  }
  WipeText(s.password);
}

}  // namespace korvane::import
