#include "launch/rdp_signing.h"

#include <array>
#include <cstdint>
#include <string_view>

namespace korvane {
namespace {

// Every setting the signing tool signs, as it names them in signscope and in the order it
// lists them there, whatever the file's order. The client decides from this list which
// settings a signature must cover, so the names and the order are its, not ours.
constexpr std::array<const char*, 45> kSignable = {
    "Full Address",
    "Alternate Full Address",
    "PCB",
    "Use Redirection Server Name",
    "Server Port",
    "Negotiate Security Layer",
    "EnableCredSspSupport",
    "DisableConnectionSharing",
    "AutoReconnection Enabled",
    "GatewayHostname",
    "GatewayUsageMethod",
    "GatewayProfileUsageMethod",
    "GatewayCredentialsSource",
    "Support URL",
    "PromptCredentialOnce",
    "Require pre-authentication",
    "Pre-authentication server address",
    "Alternate Shell",
    "Shell Working Directory",
    "RemoteApplicationProgram",
    "RemoteApplicationExpandWorkingdir",
    "RemoteApplicationMode",
    "RemoteApplicationGuid",
    "RemoteApplicationName",
    "RemoteApplicationIcon",
    "RemoteApplicationFile",
    "RemoteApplicationFileExtensions",
    "RemoteApplicationCmdLine",
    "RemoteApplicationExpandCmdLine",
    "Prompt For Credentials",
    "Authentication Level",
    "AudioMode",
    "RedirectDrives",
    "RedirectPrinters",
    "RedirectCOMPorts",
    "RedirectSmartCards",
    "RedirectPOSDevices",
    "RedirectClipboard",
    "DevicesToRedirect",
    "DrivesToRedirect",
    "LoadBalanceInfo",
    "RedirectDirectX",
    "RDGIsKDCProxy",
    "KDCProxyName",
    "EventLogUploadAddress",
};

constexpr const char* kCrLf = "\r\n";

std::string AsciiLower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// The setting's name as the client compares it: the text before the first colon, any case.
// A line without a colon names no setting.
std::string SettingName(const std::string& line) {
  const auto colon = line.find(':');
  return colon == std::string::npos ? std::string() : AsciiLower(line.substr(0, colon));
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string::size_type start = 0;
  for (;;) {
    const auto end = text.find(kCrLf, start);
    lines.push_back(text.substr(start, end - start));
    if (end == std::string::npos) return lines;
    start = end + 2;
  }
}

void AppendUnit(std::vector<unsigned char>& bytes, uint32_t unit) {
  bytes.push_back(static_cast<unsigned char>(unit & 0xFF));
  bytes.push_back(static_cast<unsigned char>(unit >> 8));
}

void AppendUtf16Le(std::vector<unsigned char>& bytes, const std::string& utf8) {
  const std::vector<unsigned char> more = Utf16Le(utf8);
  bytes.insert(bytes.end(), more.begin(), more.end());
}

std::string Base64(const std::vector<unsigned char>& bytes) {
  static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    const size_t left = bytes.size() - i;
    const uint32_t group = (uint32_t{bytes[i]} << 16) | (left > 1 ? uint32_t{bytes[i + 1]} << 8 : 0) |
                           (left > 2 ? uint32_t{bytes[i + 2]} : 0);
    text += kDigits[(group >> 18) & 63];
    text += kDigits[(group >> 12) & 63];
    text += left > 1 ? kDigits[(group >> 6) & 63] : '=';
    text += left > 2 ? kDigits[group & 63] : '=';
  }
  return text;
}

}  // namespace

std::optional<RdpSigning> PrepareRdpSigning(const std::string& rdpText) {
  RdpSigning signing;
  std::optional<size_t> fullAddress;
  bool hasAlternate = false;
  for (std::string& line : SplitLines(rdpText)) {
    const std::string name = SettingName(line);
    // An earlier signature says nothing about this file.
    if (name == "signscope" || name == "signature") continue;
    signing.lines.push_back(std::move(line));
    if (name == "full address") fullAddress = signing.lines.size() - 1;
    hasAlternate = hasAlternate || name == "alternate full address";
  }
  if (fullAddress && !hasAlternate) {
    const std::string& line = signing.lines[*fullAddress];
    const std::string value = line.substr(line.find(':'));
    signing.lines.push_back("alternate full address" + value);
  }

  std::vector<const std::string*> signedLines(kSignable.size(), nullptr);
  for (std::string& line : signing.lines) {
    const std::string name = SettingName(line);
    for (size_t i = 0; i < kSignable.size(); ++i) {
      if (name != AsciiLower(kSignable[i])) continue;
      if (signedLines[i] != nullptr) return std::nullopt;
      // Trailing blanks after a number (the smart-card line has always had one) are dropped
      // from a signed line: a client that checks the value it read, 1, rather than the raw
      // line would otherwise not find the "1 " that was signed. Text values keep theirs.
      if (line.compare(name.size(), 3, ":i:") == 0) line.erase(line.find_last_not_of(' ') + 1);
      signedLines[i] = &line;
    }
  }

  signing.signscopeLine = "signscope:s:";
  std::string signedText;
  bool first = true;
  for (size_t i = 0; i < kSignable.size(); ++i) {
    if (signedLines[i] == nullptr) continue;
    if (!first) signing.signscopeLine += ',';
    first = false;
    signing.signscopeLine += kSignable[i];
    signedText += *signedLines[i] + kCrLf;
  }
  signedText += signing.signscopeLine + kCrLf;
  signing.content = Utf16Le(signedText);
  AppendUnit(signing.content, 0);
  return signing;
}

std::string SignatureLine(const std::vector<unsigned char>& signature) {
  std::vector<unsigned char> blob;
  for (const uint32_t word : {uint32_t{0x00010001}, uint32_t{0x00000001}, static_cast<uint32_t>(signature.size())}) {
    for (int shift = 0; shift < 32; shift += 8) blob.push_back(static_cast<unsigned char>(word >> shift));
  }
  blob.insert(blob.end(), signature.begin(), signature.end());
  return "signature:s:" + Base64(blob);
}

std::vector<unsigned char> SignedRdpFile(const RdpSigning& signing, const std::string& signatureLine) {
  std::vector<unsigned char> bytes = {0xFF, 0xFE};
  for (const std::string& line : signing.lines) AppendUtf16Le(bytes, line + kCrLf);
  AppendUtf16Le(bytes, signing.signscopeLine + kCrLf);
  AppendUtf16Le(bytes, signatureLine + kCrLf);
  return bytes;
}

std::optional<std::string> NormalizeThumbprint(const std::string& text) {
  static constexpr const char* kIgnored[] = {" ", "\t", ":", "\xE2\x80\x8E", "\xE2\x80\x8F", "\xEF\xBB\xBF"};
  std::string digits;
  size_t i = 0;
  while (i < text.size()) {
    bool skipped = false;
    for (const std::string_view ignored : kIgnored) {
      if (text.compare(i, ignored.size(), ignored) == 0) {
        i += ignored.size();
        skipped = true;
        break;
      }
    }
    if (skipped) continue;
    // The entry of the trusted-publishers policy names its hash in front, as list shows it.
    if (digits.empty() && AsciiLower(text.substr(i, 7)) == "sha256:") {
      i += 7;
      continue;
    }
    char c = text[i++];
    if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return std::nullopt;
    digits += c;
  }
  if (digits.size() != 64) return std::nullopt;
  return digits;
}

std::vector<unsigned char> Utf16Le(const std::string& utf8) {
  std::vector<unsigned char> bytes;
  bytes.reserve(utf8.size() * 2);
  size_t i = 0;
  while (i < utf8.size()) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    const int extra = lead < 0x80 ? 0 : (lead & 0xE0) == 0xC0 ? 1 : (lead & 0xF0) == 0xE0 ? 2 : (lead & 0xF8) == 0xF0 ? 3 : -1;
    uint32_t point = extra == 0 ? lead : extra == 1 ? (lead & 0x1F) : extra == 2 ? (lead & 0x0F) : (lead & 0x07);
    bool good = extra >= 0;
    for (int k = 1; good && k <= extra; ++k) {
      good = i + k < utf8.size() && (static_cast<unsigned char>(utf8[i + k]) & 0xC0) == 0x80;
      if (good) point = (point << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    }
    // Overlong forms, surrogates and points past U+10FFFF are not characters.
    static constexpr uint32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
    if (good && (point < kLeast[extra] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF))) good = false;
    if (!good) {
      AppendUnit(bytes, 0xFFFD);
      ++i;
      continue;
    }
    if (point >= 0x10000) {
      point -= 0x10000;
      AppendUnit(bytes, 0xD800 | (point >> 10));
      AppendUnit(bytes, 0xDC00 | (point & 0x3FF));
    } else {
      AppendUnit(bytes, point);
    }
    i += static_cast<size_t>(extra) + 1;
  }
  return bytes;
}

}  // namespace korvane
