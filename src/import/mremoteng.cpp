// mRemoteNG's confCons.xml, every version: Node elements nested in containers, fields taken
// from the parent where an Inherit… attribute says so, passwords sealed under the default
// password "mR3m" or the user's master password.
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>
#include <unordered_map>

#include <mbedtls/aesni.h>

#include "import/mremoteng_crypto.h"
#include "import/readers.h"
#include "import/text.h"
#include "import/import_text.h"

namespace korvane::import {

namespace {

using mremoteng::Cipher;
using mremoteng::Sealing;

// What the root's Protected value opens to: under the default password, and under a master
// password the user set.
constexpr std::string_view kNotProtected = "ThisIsNotProtected";
constexpr std::string_view kProtected = "ThisIsProtected";

struct Reader {
  const std::string& file;
  ImportContext& context;
  ImportResult& result;
  // The password that opened the file; an inner document of a file sealed whole is tried
  // with it first, so the person is asked only once.
  std::string password;
  bool asked = false;

  void Error(const std::string& what) { result.errors.push_back({file, what}); }
  // Asked between servers: once stopped, the reading ends with an error, and nothing of it is
  // written.
  bool Stopped() {
    if (!stopped && context.Stopped()) {
      stopped = true;
      Error(Format(Msg::kStopped));
    }
    return stopped;
  }
  bool stopped = false;
};

bool IsTrue(std::string_view value) { return EqualsIgnoringCase(value, "True"); }

std::optional<std::string> OpenCounted(Reader& r, const Sealing& sealing, const std::string& password,
                                       std::string_view value) {
  if (mremoteng::Derives(sealing)) ++r.result.derivations;
  return mremoteng::Open(sealing, password, value);
}

// The password that opens `value` so that `accepts` its plain text: the default one, the one
// that opened the file so far, else the master password the person types. False after saying
// why in the errors.
bool ChoosePassword(Reader& r, const Sealing& sealing, std::string_view value,
                    const std::function<bool(const std::string&)>& accepts) {
  const auto opens = [&](const std::string& password) {
    auto plain = OpenCounted(r, sealing, password, value);
    const bool fits = plain && accepts(*plain);
    if (plain) WipeText(*plain);
    return fits;
  };
  if (!r.password.empty() && opens(r.password)) return true;
  const std::string fallback = mremoteng::kDefaultPassword;
  if (r.password != fallback && opens(fallback)) {
    r.password = fallback;
    return true;
  }
  if (r.asked) {
    r.Error(Format(Msg::kMasterPasswordDoesNotOpen));
    return false;
  }
  if (!r.context.askPassword) {
    r.Error(Format(Msg::kMasterPasswordCannotAsk));
    return false;
  }
  r.asked = true;
  std::optional<std::string> typed = r.context.askPassword(Format(Msg::kMasterPasswordPrompt, r.file));
  if (!typed) {
    r.result.master = MasterPassword::kNotGiven;
    r.Error(Format(Msg::kMasterPasswordNotGiven));
    return false;
  }
  const bool fits = opens(*typed);
  if (fits) {
    WipeText(r.password);
    r.password.assign(*typed);
  } else {
    r.result.master = MasterPassword::kWrong;
    r.Error(Format(Msg::kMasterPasswordWrong));
  }
  WipeText(*typed);
  return fits;
}

// How the values of this file are sealed, from its root; nullopt after saying why.
std::optional<Sealing> SealingOf(Reader& r, const XmlElement& root) {
  const std::string* mode = root.Attribute("BlockCipherMode");
  // Files from before the version that named the mode are all AES-CBC.
  if (mode == nullptr) return Sealing{Cipher::AesCbc, 0};
  const std::string_view engine = root.AttributeOr("EncryptionEngine");
  if (!EqualsIgnoringCase(*mode, "GCM") || (!engine.empty() && !EqualsIgnoringCase(engine, "AES"))) {
    r.Error(Format(Msg::kCipherNotRead, Shown(engine), Shown(*mode)));
    return std::nullopt;
  }
  Sealing sealing{Cipher::AesGcm, 1000};  // what mRemoteNG derived with before it named the count
  if (const std::string* text = root.Attribute("KdfIterations")) {
    const std::string_view digits = Trim(*text);
    unsigned long rounds = 0;
    bool valid = !digits.empty() && digits.size() <= 10;
    for (const char c : digits) {
      valid = valid && c >= '0' && c <= '9';
      if (valid) rounds = rounds * 10 + static_cast<unsigned long>(c - '0');
    }
    if (!valid || rounds == 0 || rounds > r.context.maxKdfIterations) {
      r.Error(Format(Msg::kTooManyRounds, Shown(*text), r.context.maxKdfIterations));
      return std::nullopt;
    }
    sealing.iterations = rounds;
  }
  return sealing;
}

// A field of a node, taken up the tree while the node inherits it.
std::string_view Resolved(const XmlElement& node, const std::string& field) {
  for (const XmlElement* n = &node; n != nullptr && n->name == "Node"; n = n->parent) {
    if (!IsTrue(n->AttributeOr("Inherit" + field))) {
      const std::string* value = n->Attribute(field);
      return value != nullptr ? Trim(*value) : std::string_view();
    }
  }
  return {};  // inherited from mRemoteNG's default connection, which is not in the file
}

// The longest sealed text a password within kMaxPasswordBytes gives: base64 of salt, nonce,
// the text and the tag (AES-CBC's padding and IV take less).
constexpr std::size_t kMaxSealedBytes = (3 * 16 + kMaxPasswordBytes + 2) / 3 * 4;

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

// The distinct sealed values, once each however many servers share them (a folder's password
// inherited by all its servers), as views into the document; and for each server taken, the
// index of its own, or kNone.
struct SealedValues {
  std::vector<std::string_view> values;
  std::unordered_map<std::string_view, std::size_t> index;
  std::vector<std::size_t> ofServer;

  std::size_t Add(std::string_view value) {
    const auto [it, added] = index.try_emplace(value, values.size());
    if (added) values.push_back(value);
    return it->second;
  }
};

// How many nodes lie under `parent`, at most: the list of servers is given that room at once.
// Grown by doubling, at its last step it would be held one and a half times over.
std::size_t Nodes(const XmlElement& parent) {
  std::size_t nodes = 0;
  for (const auto& child : parent.children) {
    if (child->name == "Node") nodes += 1 + Nodes(*child);
  }
  return nodes;
}

void Walk(Reader& r, const XmlElement& parent, std::vector<std::string_view>& groups, SealedValues& sealed) {
  for (const auto& child : parent.children) {
    if (r.Stopped()) return;
    if (child->name != "Node") continue;
    const XmlElement& node = *child;
    const std::string_view type = Trim(node.AttributeOr("Type"));
    if (type == "Container") {
      const std::string* name = node.Attribute("Name");
      groups.push_back(name != nullptr ? std::string_view(*name) : std::string_view());
      Walk(r, node, groups, sealed);
      groups.pop_back();
      continue;
    }
    bool shortened = false;
    ImportedServer s;
    s.remark = Remark(groups, node.AttributeOr("Name"), shortened);
    const auto where = [&] { return r.file + ": " + s.remark; };
    const std::string_view protocol = Resolved(node, "Protocol");
    const std::string_view host = Resolved(node, "Hostname");
    const std::string_view sealedPassword = Resolved(node, "Password");
    if (type != "Connection") {
      NoteSkipped(r.result, where(), Format(Msg::kNodeOfOtherType, Shown(type)));
    } else if (!EqualsIgnoringCase(protocol, "RDP")) {
      NoteSkipped(r.result, where(), Format(Msg::kOtherProtocol, Shown(protocol)));
    } else if (host.empty()) {
      NoteSkipped(r.result, where(), Format(Msg::kNoHostName));
    } else if (sealedPassword.size() > kMaxSealedBytes) {
      NoteSkipped(r.result, where(), Format(Msg::kPasswordTooLong, kMaxPasswordBytes));
    } else {
      // Each field is looked at before it is copied: a file may give every server one of a
      // megabyte.
      const std::string_view user = Resolved(node, "Username"), domain = Resolved(node, "Domain");
      const std::string_view port = Resolved(node, "Port");
      s.host = Bounded(host, kMaxHostBytes);
      s.port = port.empty() ? std::string("3389") : Bounded(port, 64);
      s.user = UserWithDomain(Bounded(user, kMaxUserBytes), Bounded(domain, kMaxUserBytes));
      if (Admit(r.file, s, r.result, shortened)) {
        r.result.servers.push_back(std::move(s));
        sealed.ofServer.push_back(sealedPassword.empty() ? kNone : sealed.Add(sealedPassword));
      }
    }
  }
}

// Opens every value, one key derivation each, on as many threads as the context allows; the
// calling thread reports the progress meanwhile.
std::vector<std::optional<std::string>> OpenAll(Reader& r, const Sealing& sealing,
                                                const std::vector<std::string_view>& values) {
  const size_t total = values.size();
  std::vector<std::optional<std::string>> opened(total);
  if (total == 0) return opened;
  if (mremoteng::Derives(sealing)) r.result.derivations += total;
  std::atomic<size_t> next{0};
  std::mutex mutex;
  std::condition_variable changed;
  size_t done = 0;
  auto work = [&] {
    for (size_t i = next++; i < total; i = next++) {
      // Once stopped, the values left are counted off unopened, so that every thread ends now.
      if (!r.context.Stopped()) opened[i] = mremoteng::Open(sealing, r.password, values[i]);
      std::lock_guard lock(mutex);
      ++done;
      changed.notify_one();
    }
  };
  unsigned wanted = r.context.threads != 0 ? r.context.threads : std::max(1u, std::thread::hardware_concurrency());
  if (!mremoteng::Derives(sealing)) wanted = 1;  // AES-CBC with an MD5 key takes microseconds
  // mbedtls asks the processor for AES-NI once, into unguarded statics: ask before the threads
  // do, so that they only ever read the answer.
  mbedtls_aesni_has_support(MBEDTLS_AESNI_AES);
  std::vector<std::thread> threads;
  for (unsigned t = 0; t < std::min<size_t>(wanted, total); ++t) {
    try {
      threads.emplace_back(work);
    } catch (const std::system_error&) {
      break;  // fewer threads then; none at all, and this one does the work
    }
  }
  if (threads.empty()) work();
  for (size_t reported = 0; reported < total;) {
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return done != reported; });
    reported = done;
    lock.unlock();
    if (r.context.progress) r.context.progress(reported, total);
  }
  for (auto& thread : threads) thread.join();
  r.Stopped();
  return opened;
}

void ReadDocument(Reader& r, const XmlElement& root) {
  const auto sealing = SealingOf(r, root);
  if (!sealing) return;
  if (const std::string* check = root.Attribute("Protected")) {
    const bool opened = ChoosePassword(r, *sealing, *check, [](const std::string& plain) {
      return plain == kNotProtected || plain == kProtected;
    });
    if (!opened) return;
  } else if (r.password.empty()) {
    r.password = mremoteng::kDefaultPassword;
  }

  // Since 2.6 a file sealed whole keeps its root and seals only the nodes inside it.
  std::unique_ptr<XmlElement> inner;
  const XmlElement* nodes = &root;
  if (IsTrue(root.AttributeOr("FullFileEncryption"))) {
    auto plain = OpenCounted(r, *sealing, r.password, root.text);
    if (!plain) return r.Error(Format(Msg::kContentDoesNotOpen));
    constexpr std::string_view kOpen = "<Connections>", kClose = "</Connections>";
    std::string document;
    document.reserve(kOpen.size() + plain->size() + kClose.size());
    ((document += kOpen) += *plain) += kClose;
    WipeAndFree(*plain);
    std::string error;
    inner = ParseXml(document, error, kMremotengNames);
    WipeAndFree(document);
    if (!inner) return r.Error(Format(Msg::kContentError, error));
    nodes = inner.get();
  }

  std::vector<std::string_view> groups;
  SealedValues sealed;
  const std::size_t first = r.result.servers.size();
  const std::size_t most = Nodes(*nodes);
  r.result.servers.reserve(first + most);
  sealed.ofServer.reserve(most);
  Walk(r, *nodes, groups, sealed);
  if (r.stopped) return;
  auto opened = OpenAll(r, *sealing, sealed.values);
  std::vector<bool> fits(opened.size());
  for (std::size_t i = 0; i < opened.size(); ++i) fits[i] = opened[i] && IsUtf8(*opened[i]);
  for (std::size_t i = 0; i < sealed.ofServer.size(); ++i) {
    const std::size_t value = sealed.ofServer[i];
    ImportedServer& server = r.result.servers[first + i];
    if (value == kNone) continue;
    if (fits[value]) {
      server.password = *opened[value];
    } else {
      NoteUnopened(r.result, r.file + ": " + server.remark, Format(Msg::kDamagedPassword));
    }
  }
  for (auto& plain : opened) {
    if (plain) WipeText(*plain);
  }
}

}  // namespace

const XmlNames kMremotengNames = {
    "Connections", "Node", "Name", "Type", "Protocol", "Hostname", "Port", "Username", "Domain", "Password",
    "InheritProtocol", "InheritHostname", "InheritPort", "InheritUsername", "InheritDomain", "InheritPassword",
    "BlockCipherMode", "EncryptionEngine", "KdfIterations", "Protected", "FullFileEncryption"};

void ReadMremoteng(const std::string& file, const XmlElement& root, ImportContext& context, ImportResult& result) {
  result.source = "mRemoteNG";
  Reader r{file, context, result};
  ReadDocument(r, root);
  WipeText(r.password);
}

void ReadSealedMremoteng(const std::string& file, const std::string& sealedFile, ImportContext& context,
                         ImportResult& result) {
  result.source = "mRemoteNG";
  Reader r{file, context, result};
  // Before 2.6 a file sealed whole is one AES-CBC value holding the whole document.
  const Sealing sealing{Cipher::AesCbc, 0};
  const auto isDocument = [](const std::string& plain) {
    auto text = DecodeText(plain);
    const bool document = text && Trim(*text).substr(0, 1) == "<";
    if (text) WipeText(*text);
    return document;
  };
  if (ChoosePassword(r, sealing, sealedFile, isDocument)) {
    auto plain = mremoteng::Open(sealing, r.password, sealedFile);
    std::string error;
    const auto root = ParseXml(*plain, error, kMremotengNames);
    WipeText(*plain);
    if (!root) {
      r.Error(Format(Msg::kContentError, error));
    } else if (root->name != "Connections") {
      r.Error(Format(Msg::kContentNotConnections));
    } else {
      ReadDocument(r, *root);
    }
  }
  WipeText(r.password);
}

}  // namespace korvane::import
