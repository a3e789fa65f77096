// RDCMan's .rdg files: 2.2 (schemaVersion 1), 2.7 (schemaVersion 3) and the 3.x releases. The
// versions differ in where a server's fields sit (directly under server, or under
// server/properties), so every field is looked for in both places and no version is refused.
#include "datatool/import/readers.h"
#include "datatool/import/text.h"
#include "datatool/messages.h"

namespace korvane::import {

using tool::Format;
using tool::Msg;
namespace {

bool IsLevel(const XmlElement& e) { return e.name == "server" || e.name == "group" || e.name == "file"; }

// A child of a server, group or file, whichever of the two places it sits in.
const XmlElement* Setting(const XmlElement& level, std::string_view name) {
  if (const XmlElement* direct = level.Child(name)) return direct;
  const XmlElement* properties = level.Child("properties");
  return properties ? properties->Child(name) : nullptr;
}

std::string_view SettingText(const XmlElement& level, std::string_view name) {
  const XmlElement* e = Setting(level, name);
  return e ? Trim(e->text) : std::string_view();
}

// The base64 text of a protected password of kMaxPasswordBytes is far shorter than this.
constexpr std::size_t kMaxBlobText = 16 << 10;

// The settings element that holds for this level: its own, or, where it is missing or says
// inherit="FromParent", the nearest group's up to the file's.
const XmlElement* Effective(const XmlElement& level, std::string_view name) {
  for (const XmlElement* n = &level; n != nullptr && IsLevel(*n); n = n->parent) {
    const XmlElement* settings = Setting(*n, name);
    if (settings != nullptr && settings->AttributeOr("inherit") != "FromParent") return settings;
  }
  return nullptr;
}

// A credentials profile of that name kept in the file (by the group that holds the
// credentials, or any group above it); RDCMan keeps others in the user's own settings.
const XmlElement* Profile(const XmlElement& credentials, std::string_view name) {
  for (const XmlElement* n = credentials.parent; n != nullptr; n = n->parent) {
    if (const XmlElement* profiles = n->Child("credentialsProfiles")) {
      for (const auto& profile : profiles->children) {
        if (profile->name == "credentialsProfile" && SettingText(*profile, "profileName") == name) {
          return profile.get();
        }
      }
    }
  }
  return nullptr;
}

struct Reader {
  const std::string& file;
  ImportContext& context;
  ImportResult& result;
};

enum class Password { kNone, kOpened, kUnopened, kTooLong };

// The password a <password> element holds, into `plain`.
Password ReadPassword(Reader& r, const XmlElement& password, std::string& plain) {
  if (EqualsIgnoringCase(password.AttributeOr("storeAsClearText"), "True")) {
    // A password in clear is as it was typed: its blanks are part of it.
    plain = Bounded(password.text, kMaxPasswordBytes);
    return plain.empty() ? Password::kNone : Password::kOpened;
  }
  const std::string_view text = Trim(password.text);
  if (text.empty()) return Password::kNone;
  if (text.size() > kMaxBlobText) return Password::kTooLong;
  std::optional<std::string> opened;
  if (auto blob = DecodeBase64(text); blob && r.context.unprotect) {
    if (auto wide = r.context.unprotect(*blob)) opened = WidePasswordToUtf8(std::move(*wide));
  }
  if (!opened) return Password::kUnopened;
  plain.assign(*opened);
  WipeText(*opened);
  return Password::kOpened;
}

void AddServer(Reader& r, const XmlElement& server, const std::vector<std::string_view>& groups) {
  ImportedServer s;
  const std::string_view host = SettingText(server, "name"), display = SettingText(server, "displayName");
  bool shortened = false;
  s.remark = Remark(groups, display.empty() ? host : display, shortened);
  if (host.empty()) return r.result.skipped.push_back({r.file + ": " + s.remark, Format(Msg::kNoHostName)});
  s.host = Bounded(host, kMaxHostBytes);

  // A connectionSettings that names no port leaves RDCMan's own, the standard one.
  s.port = "3389";
  if (const XmlElement* connection = Effective(server, "connectionSettings")) {
    const std::string_view port = SettingText(*connection, "port");
    if (!port.empty()) s.port = Bounded(port, 64);
  }

  // Never gatewaySettings: those are the gateway's credentials, not the server's.
  Password password = Password::kNone;
  if (const XmlElement* credentials = Effective(server, "logonCredentials")) {
    const XmlElement* holder = credentials;
    const std::string_view profileName = SettingText(*credentials, "profileName");
    if (const XmlElement* profile = profileName.empty() ? nullptr : Profile(*credentials, profileName)) holder = profile;
    s.user = UserWithDomain(Bounded(SettingText(*holder, "userName"), kMaxUserBytes),
                            Bounded(SettingText(*holder, "domain"), kMaxUserBytes));
    if (const XmlElement* element = holder->Child("password")) password = ReadPassword(r, *element, s.password);
  }
  const std::string where = r.file + ": " + s.remark;
  if (password == Password::kTooLong) {
    return r.result.skipped.push_back({where, Format(Msg::kPasswordTooLong, kMaxPasswordBytes)});
  }
  if (Admit(r.file, s, r.result, shortened)) {
    if (password == Password::kUnopened) r.result.unopened.push_back({where, Format(Msg::kRdcmanPasswordForOtherUser)});
    r.result.servers.push_back(std::move(s));
  }
}

void Walk(Reader& r, const XmlElement& level, std::vector<std::string_view>& groups) {
  for (const auto& child : level.children) {
    if (child->name == "server") {
      AddServer(r, *child, groups);
    } else if (child->name == "group") {
      groups.push_back(SettingText(*child, "name"));
      Walk(r, *child, groups);
      groups.pop_back();
    }
  }
}

}  // namespace

void ReadRdcman(const std::string& file, const XmlElement& root, ImportContext& context, ImportResult& result) {
  result.source = "RDCMan";
  const XmlElement* top = root.Child("file");
  if (top == nullptr) return result.errors.push_back({file, Format(Msg::kRdcmanNoFileElement)});
  Reader r{file, context, result};
  std::vector<std::string_view> groups;
  Walk(r, *top, groups);
}

}  // namespace korvane::import
