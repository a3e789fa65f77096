#include "datatool/signing_tool_win32.h"

#include <windows.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "launch/rdp_signing.h"
#include "launch/signing_win32.h"
#include "platform/text_win32.h"

namespace korvane {
namespace {

constexpr const char* kUsage =
    "usage: korvane-data signing-certificate list\n"
    "       korvane-data signing-certificate set THUMBPRINT\n"
    "       korvane-data signing-certificate off\n";

constexpr const char* kOverview =
    "Connection files can be signed, so that the Remote Desktop client opens them without its\n"
    "security dialog once an administrator trusts the certificate's thumbprint (policy\n"
    "\"Specify thumbprints of certificates representing trusted .rdp publishers\"). The setting\n"
    "is the current user's: HKEY_CURRENT_USER\\Software\\Korvane, value SigningCertificate.\n"
    "Without it, connection files are written unsigned as always.\n"
    "\n"
    "  list             the certificates of your personal store that can sign\n"
    "  set THUMBPRINT   sign with that certificate from now on\n"
    "  off              stop signing\n"
    "\n"
    "korvane-data signing-certificate COMMAND --help tells more about one.\n";

constexpr const char* kListHelp =
    "usage: korvane-data signing-certificate list\n\n"
    "Lists the certificates of the current user's personal store (\"MY\") that can sign now:\n"
    "valid today, allowed to sign, with a private key. One a line, separated by two blanks:\n"
    "  - the entry for the policy \"Specify thumbprints of certificates representing trusted\n"
    "    .rdp publishers\": sha256: and the SHA-256 thumbprint, as one word. Since the July 2026\n"
    "    update the client reads an entry without that prefix as a SHA-1 thumbprint;\n"
    "  - the SHA-1 thumbprint, the entry for clients without that update;\n"
    "  - the end of its validity (UTC) and the subject.\n"
    "The one set now is marked with '*' in front; the others with a blank. Both entries may\n"
    "stand in the policy, separated by a comma.\n";

constexpr const char* kSetHelp =
    "usage: korvane-data signing-certificate set THUMBPRINT\n\n"
    "Signs connection files with the certificate of this SHA-256 thumbprint (64 hexadecimal\n"
    "digits; blanks and colons between them, and sha256: in front, are allowed) from the next\n"
    "connect on. The certificate must be one that `list` shows. Put the entries `list` shows\n"
    "for it in the policy \"Specify thumbprints of certificates representing trusted .rdp\n"
    "publishers\".\n";

constexpr const char* kOffHelp =
    "usage: korvane-data signing-certificate off\n\n"
    "Removes the setting: connection files are written unsigned, as without it.\n";

int WrongCommandLine(std::ostream& err, const std::string& what) {
  err << "korvane-data: " << what << "\n" << kUsage;
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
  if (!thumbprint) return WrongCommandLine(err, "not a SHA-256 thumbprint (64 hexadecimal digits): " + given);
  bool listed = false;
  for (const SigningCertificateInfo& info : ListSigningCertificates()) listed = listed || info.thumbprint == *thumbprint;
  if (!listed) {
    err << "korvane-data: no certificate with this thumbprint can sign in your personal store\n"
        << "(korvane-data signing-certificate list shows those that can)\n";
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
    err << "korvane-data: cannot write the setting (error " << status << ")\n";
    return 1;
  }
  out << *thumbprint << "\n";
  return 0;
}

int Off(std::ostream& err) {
  const LSTATUS status = RegDeleteKeyValueW(HKEY_CURRENT_USER, kSettingsKey, kSigningCertificateValue);
  if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
    err << "korvane-data: cannot remove the setting (error " << status << ")\n";
    return 1;
  }
  return 0;
}

}  // namespace

int RunSigningCertificateTool(const std::vector<std::string>& all, std::ostream& out, std::ostream& err) {
  const std::vector<std::string> arguments(all.begin() + (all.empty() ? 0 : 1), all.end());
  if (arguments.empty()) return WrongCommandLine(err, "signing-certificate needs a command");
  const std::string& command = arguments[0];
  const bool help = arguments.size() == 2 && arguments[1] == "--help";
  if (command == "--help" && arguments.size() == 1) {
    out << kUsage << "\n" << kOverview;
    return 0;
  }
  if (command == "list") {
    if (help) return out << kListHelp, 0;
    if (arguments.size() == 1) return List(out);
  } else if (command == "set") {
    if (help) return out << kSetHelp, 0;
    if (arguments.size() == 2) return Set(arguments[1], out, err);
  } else if (command == "off") {
    if (help) return out << kOffHelp, 0;
    if (arguments.size() == 1) return Off(err);
  } else {
    return WrongCommandLine(err, "no signing-certificate command " + command);
  }
  return WrongCommandLine(err, "wrong arguments for signing-certificate " + command);
}

}  // namespace korvane
