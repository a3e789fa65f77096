// Remote Desktop connection files: lines of "name:type:value", UTF-16LE as mstsc saves them
// or UTF-8 as other programs write them (DecodeText in import.cpp has made them UTF-8).
#include <sstream>

#include "datatool/import/readers.h"
#include "datatool/import/text.h"
#include "datatool/messages.h"

namespace korvane::import {

using tool::Format;
using tool::Msg;
namespace {

struct Line {
  std::string key;  // lower case; mstsc reads the names without regard to case
  std::string value;
};

std::optional<Line> Split(std::string_view line) {
  const auto first = line.find(':');
  if (first == std::string_view::npos) return std::nullopt;
  const auto second = line.find(':', first + 1);
  if (second == std::string_view::npos) return std::nullopt;
  Line l;
  for (const char c : Trim(line.substr(0, first))) l.key += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  l.value = std::string(Trim(line.substr(second + 1)));
  return l;
}

std::vector<Line> Lines(const std::string& text) {
  std::vector<Line> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (auto l = Split(line)) lines.push_back(std::move(*l));
  }
  return lines;
}

}  // namespace

bool LooksLikeRdp(const std::string& text) {
  for (const auto& line : Lines(text)) {
    if (line.key == "full address") return true;
  }
  return false;
}

void ReadRdp(const std::string& file, const std::string& name, const std::string& text, ImportContext& context,
             ImportResult& result) {
  ImportedServer s;
  s.remark = name;
  std::string address, serverPort, sealedHex;
  for (const auto& line : Lines(text)) {
    if (line.key == "full address") address = line.value;
    if (line.key == "server port") serverPort = line.value;
    if (line.key == "username") s.user = line.value;
    if (line.key == "password 51") sealedHex = line.value;
  }
  // "host", "host:3390", "[fe80::1]:3390" or a bare IPv6 address, which has colons of its own.
  std::string port;
  if (!address.empty() && address.front() == '[') {
    const auto close = address.find(']');
    if (close != std::string::npos) {
      if (address.compare(close + 1, 1, ":") == 0) port = address.substr(close + 2);
      address = address.substr(1, close - 1);
    }
  } else if (const auto colon = address.rfind(':');
             colon != std::string::npos && address.find(':') == colon) {
    port = address.substr(colon + 1);
    address.resize(colon);
  }
  s.host = std::string(Trim(address));
  if (s.host.empty()) return result.errors.push_back({file, Format(Msg::kRdpNoAddress)});
  s.port = !port.empty() ? port : !serverPort.empty() ? serverPort : "3389";

  if (!sealedHex.empty()) {
    std::optional<std::string> plain;
    if (auto blob = DecodeHex(sealedHex); blob && context.unprotect) {
      if (auto wide = context.unprotect(*blob)) plain = WidePasswordToUtf8(std::move(*wide));
    }
    if (plain) {
      s.password = std::move(*plain);
    } else {
      result.unopened.push_back(
          {file + ": " + name, Format(Msg::kRdpPasswordForOtherUser)});
    }
  }
  result.servers.push_back(std::move(s));
}

}  // namespace korvane::import
