#include "store/sealed_value.h"
#include "store/team.h"

namespace korvane {
namespace {

using crypto::Bytes;
using crypto::Secret;

constexpr std::string_view kSealingLabel = "Korvane team server password sealing key";
constexpr std::string_view kCheckLabel = "Korvane team key check";

// What a sealed password is bound to, each part preceded by its length so that no two
// different bindings read alike (a host ending in a digit and a port, say).
std::string BindingText(const TeamSealing& of) {
  std::string text = std::string(sealed::kFormat) + "\nteam server 2\n" + std::to_string(of.row);
  for (std::string_view part : {of.host, of.port, of.user, of.team}) {
    text += '\n';
    text += std::to_string(part.size());
    text += ':';
    text += part;
  }
  return text;
}

}  // namespace

std::optional<TeamKey> TeamKey::FromMaster(Secret master) {
  TeamKey key;
  key.master_ = std::move(master);
  if (!crypto::HmacSha256(key.master_, kSealingLabel, key.sealing_) ||
      !crypto::HmacSha256(key.master_, kCheckLabel, key.check_)) {
    return std::nullopt;
  }
  return key;
}

std::optional<TeamKey> TeamKey::Derive(std::string_view passphrase, const Bytes& salt, unsigned long iterations) {
  Secret master(32);
  if (!crypto::Pbkdf2Sha256(passphrase, salt, iterations, master)) return std::nullopt;
  return FromMaster(std::move(master));
}

std::optional<TeamKey> TeamKey::FromText(std::string_view text) {
  auto bytes = sealed::FromHex(text);
  if (!bytes || bytes->size() != 32) return std::nullopt;
  Secret master(bytes->data(), bytes->size());
  crypto::Wipe(bytes->data(), bytes->size());
  return FromMaster(std::move(master));
}

std::string TeamKey::Text() const { return sealed::Hex(master_.data(), master_.size()); }
std::string TeamKey::CheckText() const { return sealed::Hex(check_.data(), check_.size()); }

bool TeamKey::Checks(const std::string& stored) const {
  // Not a secret: the check is in the database for every member to read.
  return stored == CheckText();
}

std::optional<std::string> TeamKey::Seal(std::string_view password, const TeamSealing& of) const {
  return sealed::Seal(sealing_, BindingText(of), password);
}

std::optional<std::string> TeamKey::Open(const std::string& stored, const TeamSealing& of) const {
  return sealed::Open(sealing_, BindingText(of), stored);
}

}  // namespace korvane
