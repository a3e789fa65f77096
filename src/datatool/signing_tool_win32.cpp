#include "datatool/signing_tool_win32.h"

#include <windows.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "launch/rdp_signing.h"
#include "launch/signing_win32.h"
#include "datatool/messages.h"
#include "platform/text_win32.h"

namespace korvane {
namespace {

using tool::Format;
using tool::Msg;

int WrongCommandLine(std::ostream& err, const std::string& what) {
  err << "korvane-data: " << what << "\n" << Format(Msg::kSigningUsage);
  return 2;
}

int List(std::ostream& out) {
  const std::optional<std::string> current = NormalizeThumbprint(ReadSigningCertificateSetting());
  for (const SigningCertificateInfo& info : ListSigningCertificates()) {
    out << (current == info.thumbprint ? '*' : ' ') << "sha256:" << info.thumbprint << "  " << info.sha1 << "  "
        << info.expires << "  " << info.subject << "\n";
  }
  return 0;
}

int Set(const std::string& given, std::ostream& out, std::ostream& err) {
  const std::optional<std::string> thumbprint = NormalizeThumbprint(given);
  if (!thumbprint) return WrongCommandLine(err, Format(Msg::kNotAThumbprint, given));
  bool listed = false;
  for (const SigningCertificateInfo& info : ListSigningCertificates()) listed = listed || info.thumbprint == *thumbprint;
  if (!listed) {
    err << "korvane-data: " << Format(Msg::kNoSigningCertificate) << "\n";
    return 1;
  }
  HKEY key = nullptr;
  LSTATUS status = RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                                   nullptr);
  if (status == ERROR_SUCCESS) {
    const std::wstring value = Widen(*thumbprint);
    status = RegSetValueExW(key, kSigningCertificateValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
  }
  if (status != ERROR_SUCCESS) {
    err << "korvane-data: " << Format(Msg::kCannotWriteSetting, status) << "\n";
    return 1;
  }
  out << *thumbprint << "\n";
  return 0;
}

int Off(std::ostream& err) {
  const LSTATUS status = RegDeleteKeyValueW(HKEY_CURRENT_USER, kSettingsKey, kSigningCertificateValue);
  if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
    err << "korvane-data: " << Format(Msg::kCannotRemoveSetting, status) << "\n";
    return 1;
  }
  return 0;
}

}  // namespace

int RunSigningCertificateTool(const std::vector<std::string>& all, std::ostream& out, std::ostream& err) {
  const std::vector<std::string> arguments(all.begin() + (all.empty() ? 0 : 1), all.end());
  if (arguments.empty()) return WrongCommandLine(err, Format(Msg::kSigningNeedsCommand));
  const std::string& command = arguments[0];
  const bool help = arguments.size() == 2 && arguments[1] == "--help";
  if (command == "--help" && arguments.size() == 1) {
    out << Format(Msg::kSigningUsage) << "\n" << Format(Msg::kSigningOverview);
    return 0;
  }
  if (command == "list") {
    if (help) return out << Format(Msg::kSigningListHelp), 0;
    if (arguments.size() == 1) return List(out);
  } else if (command == "set") {
    if (help) return out << Format(Msg::kSigningSetHelp), 0;
    if (arguments.size() == 2) return Set(arguments[1], out, err);
  } else if (command == "off") {
    if (help) return out << Format(Msg::kSigningOffHelp), 0;
    if (arguments.size() == 1) return Off(err);
  } else {
    return WrongCommandLine(err, Format(Msg::kNoSigningCommand, command));
  }
  return WrongCommandLine(err, Format(Msg::kWrongSigningArguments, command));
}

}  // namespace korvane
