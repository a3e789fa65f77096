// RDCMan's .rdg files: 2.2 (schemaVersion 1), 2.7 (schemaVersion 3) and the 3.x releases. The
// versions differ in where a server's fields sit (directly under server, or under
// server/properties), so every field is looked for in both places and no version is refused.
#include <unordered_map>

#include "import/readers.h"
#include "import/text.h"
#include "import/import_text.h"

namespace korvane::import {

namespace {

// A child of a small element (credentials, a profile, connection settings), whichever of the
// two places it sits in.
const XmlElement* Setting(const XmlElement& element, std::string_view name) {
  if (const XmlElement* direct = element.Child(name)) return direct;
  const XmlElement* properties = element.Child("properties");
  return properties ? properties->Child(name) : nullptr;
}

std::string_view SettingText(const XmlElement& element, std::string_view name) {
  const XmlElement* e = Setting(element, name);
  return e ? Trim(e->text) : std::string_view();
}

std::string_view TextOf(const XmlElement* element) { return element ? Trim(element->text) : std::string_view(); }

// The base64 text of a protected password of kMaxPasswordBytes is far shorter than this.
constexpr std::size_t kMaxBlobText = 16 << 10;

// What a file, group or server says itself, found in one pass over its children and those of
// its properties (a direct child first). A group may hold a hundred thousand servers: looking
// each setting up anew for each of them would take the square of that.
struct Own {
  const XmlElement *name = nullptr, *displayName = nullptr, *connection = nullptr, *credentials = nullptr,
                   *profiles = nullptr;
};

Own OwnOf(const XmlElement& level) {
  Own own;
  const XmlElement* properties = nullptr;
  const auto take = [&](const XmlElement& e) {
    const XmlElement** slot = e.name == "name"                 ? &own.name
                              : e.name == "displayName"        ? &own.displayName
                              : e.name == "connectionSettings" ? &own.connection
                              : e.name == "logonCredentials"   ? &own.credentials
                              : e.name == "credentialsProfiles" ? &own.profiles
                              : e.name == "properties"         ? &properties
                                                               : nullptr;
    if (slot != nullptr && *slot == nullptr) *slot = &e;
  };
  for (const auto& child : level.children) take(*child);
  if (properties != nullptr) {
    for (const auto& child : properties->children) take(*child);
  }
  return own;
}

// The credentials profiles of one credentialsProfiles element by name, the first of a name
// winning, as a scan in the file's order finds it. Made once for each list: a file may name
// one of twenty thousand profiles for each of twenty thousand servers.
using ProfileIndex = std::unordered_map<std::string_view, const XmlElement*>;

// What a server takes from credentials or connection settings, found in one pass over their
// children (a direct child first, then those of properties; the password only as a direct
// child). Made once for each element: servers by the thousand may inherit one element of
// thousands of children.
struct Fields {
  std::string_view user, domain, port;
  const XmlElement* password = nullptr;
};

Fields FieldsOf(const XmlElement& holder) {
  const XmlElement *user = nullptr, *domain = nullptr, *port = nullptr, *properties = nullptr;
  Fields fields;
  const auto take = [&](const XmlElement& e, bool direct) {
    const XmlElement** slot = e.name == "userName" ? &user
                              : e.name == "domain" ? &domain
                              : e.name == "port"   ? &port
                                                   : nullptr;
    if (slot != nullptr && *slot == nullptr) *slot = &e;
    if (direct && e.name == "properties" && properties == nullptr) properties = &e;
    if (direct && e.name == "password" && fields.password == nullptr) fields.password = &e;
  };
  for (const auto& child : holder.children) take(*child, true);
  if (properties != nullptr) {
    for (const auto& child : properties->children) take(*child, false);
  }
  fields.user = TextOf(user);
  fields.domain = TextOf(domain);
  fields.port = TextOf(port);
  return fields;
}

struct Reader {
  const std::string& file;
  ImportContext& context;
  ImportResult& result;
  std::unordered_map<const XmlElement*, ProfileIndex> profiles;
  std::unordered_map<const XmlElement*, Fields> fields;
  bool stopped = false;

  const Fields& FieldsFor(const XmlElement& holder) {
    const auto [it, made] = fields.try_emplace(&holder);
    if (made) it->second = FieldsOf(holder);
    return it->second;
  }

  const ProfileIndex& ProfilesOf(const XmlElement* list) {
    const auto [it, made] = profiles.try_emplace(list);
    if (made) {
      for (const auto& profile : list->children) {
        if (profile->name == "credentialsProfile") it->second.try_emplace(SettingText(*profile, "profileName"), profile.get());
      }
    }
    return it->second;
  }
  // Asked between servers: once stopped, the reading ends with an error, and nothing of it is
  // written.
  bool Stopped() {
    if (!stopped && context.Stopped()) {
      stopped = true;
      result.errors.push_back({file, Format(Msg::kStopped)});
    }
    return stopped;
  }
};

// What a level takes from the levels around it: the settings that hold there, and the lists of
// credentials profiles kept in the file at it and above it, the nearest last.
struct Inherited {
  const XmlElement* connection = nullptr;
  const XmlElement* credentials = nullptr;  // the logonCredentials, or the profile they name
  std::vector<const XmlElement*> profiles;
};

bool Inherits(const XmlElement* settings) {
  return settings == nullptr || settings->AttributeOr("inherit") == "FromParent";
}

// The settings that hold at a level with `own` inside `outer`. Credentials that name a profile
// kept in the file are that profile's; RDCMan keeps others in the user's own settings.
Inherited Apply(Reader& r, const Own& own, const Inherited& outer) {
  Inherited here{outer.connection, outer.credentials, {}};
  if (!Inherits(own.connection)) here.connection = own.connection;
  if (Inherits(own.credentials)) return here;
  here.credentials = own.credentials;
  const std::string_view name = SettingText(*own.credentials, "profileName");
  if (name.empty()) return here;
  // The level's own list first, then those around it from the nearest out.
  const auto look = [&](const XmlElement* list) {
    const ProfileIndex& index = r.ProfilesOf(list);
    const auto found = index.find(name);
    if (found != index.end()) here.credentials = found->second;
    return found != index.end();
  };
  if (own.profiles != nullptr && look(own.profiles)) return here;
  for (auto it = outer.profiles.rbegin(); it != outer.profiles.rend(); ++it) {
    if (look(*it)) break;
  }
  return here;
}

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
  const auto blob = DecodeBase64(text);
  std::optional<std::string> opened = blob ? OpenProtected(r.context, *blob) : std::nullopt;
  if (!opened) return Password::kUnopened;
  plain.assign(*opened);
  WipeText(*opened);
  return Password::kOpened;
}

void AddServer(Reader& r, const XmlElement& server, const std::vector<std::string_view>& groups,
               const Inherited& outer) {
  const Own own = OwnOf(server);
  const Inherited here = Apply(r, own, outer);
  ImportedServer s;
  const std::string_view host = TextOf(own.name), display = TextOf(own.displayName);
  bool shortened = false;
  s.remark = Remark(groups, display.empty() ? host : display, shortened);
  if (host.empty()) return NoteSkipped(r.result, r.file + ": " + s.remark, Format(Msg::kNoHostName));
  s.host = Bounded(host, kMaxHostBytes);

  // A connectionSettings that names no port leaves RDCMan's own, the standard one.
  const std::string_view port = here.connection ? r.FieldsFor(*here.connection).port : std::string_view();
  s.port = port.empty() ? std::string("3389") : Bounded(port, 64);

  // Never gatewaySettings: those are the gateway's credentials, not the server's.
  Password password = Password::kNone;
  if (const XmlElement* holder = here.credentials) {
    const Fields& fields = r.FieldsFor(*holder);
    s.user = UserWithDomain(Bounded(fields.user, kMaxUserBytes), Bounded(fields.domain, kMaxUserBytes));
    if (fields.password != nullptr) password = ReadPassword(r, *fields.password, s.password);
  }
  const std::string where = r.file + ": " + s.remark;
  if (password == Password::kTooLong) {
    return NoteSkipped(r.result, where, Format(Msg::kPasswordTooLong, kMaxPasswordBytes));
  }
  if (Admit(r.file, s, r.result, shortened)) {
    if (password == Password::kUnopened) NoteUnopened(r.result, where, Format(Msg::kRdcmanPasswordForOtherUser));
    r.result.servers.push_back(s);  // a copy: a short password moved would leave its bytes in `s`
  }
  WipeText(s.password);
}

// How many servers lie under `level`: the list of servers is given that room at once. Grown by
// doubling, at its last step it would be held one and a half times over.
std::size_t Servers(const XmlElement& level) {
  std::size_t servers = 0;
  for (const auto& child : level.children) servers += child->name == "server" ? 1 : child->name == "group" ? Servers(*child) : 0;
  return servers;
}

void Walk(Reader& r, const XmlElement& level, std::vector<std::string_view>& groups, const Inherited& outer) {
  const Own own = OwnOf(level);
  Inherited here = Apply(r, own, outer);
  here.profiles = outer.profiles;
  if (own.profiles != nullptr) here.profiles.push_back(own.profiles);
  for (const auto& child : level.children) {
    if (r.Stopped()) return;
    if (child->name == "server") {
      AddServer(r, *child, groups, here);
    } else if (child->name == "group") {
      groups.push_back(TextOf(OwnOf(*child).name));
      Walk(r, *child, groups, here);
      groups.pop_back();
    }
  }
}

}  // namespace

const XmlNames kRdcmanNames = {
    "RDCMan", "file", "group", "server", "properties", "name", "displayName", "connectionSettings", "port",
    "logonCredentials", "credentialsProfiles", "credentialsProfile", "profileName", "userName", "password", "domain",
    "inherit", "storeAsClearText"};

void ReadRdcman(const std::string& file, const XmlElement& root, ImportContext& context, ImportResult& result) {
  result.source = "RDCMan";
  const XmlElement* top = root.Child("file");
  if (top == nullptr) return result.errors.push_back({file, Format(Msg::kRdcmanNoFileElement)});
  Reader r{file, context, result};
  result.servers.reserve(result.servers.size() + Servers(*top));
  std::vector<std::string_view> groups;
  Walk(r, *top, groups, {});
}

}  // namespace korvane::import
