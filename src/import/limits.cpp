// The bounds on what one imported server may bring (import.h), and the remark built within
// them: the readers call these as they meet each server, so that nothing a file repeats for
// thousands of servers is ever held whole for each of them.
#include <algorithm>

#include "import/readers.h"
#include "import/text.h"
#include "import/import_text.h"

namespace korvane::import {

namespace {

constexpr std::string_view kSeparator = "/";
constexpr std::string_view kLeftOut = "…/";  // stands for the folders that gave way
constexpr std::string_view kCut = "…";

// "3389" for "3389", " 3389 " or "03389"; nullopt for anything that is not a port.
std::optional<std::string> Port(std::string_view text) {
  text = Trim(text);
  while (text.size() > 1 && text.front() == '0') text.remove_prefix(1);
  if (text.empty() || text.size() > 5 || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  const long value = std::stol(std::string(text));
  if (value < 1 || value > 65535) return std::nullopt;
  return std::string(text);
}

void AddNote(std::vector<Note>& notes, std::size_t& more, std::string where, std::string what) {
  if (notes.size() < kMaxNotes) {
    notes.push_back({std::move(where), std::move(what)});
  } else {
    ++more;
  }
}

}  // namespace

void NoteSkipped(ImportResult& result, std::string where, std::string what) {
  AddNote(result.skipped, result.moreSkipped, std::move(where), std::move(what));
}

void NoteUnopened(ImportResult& result, std::string where, std::string what) {
  AddNote(result.unopened, result.moreUnopened, std::move(where), std::move(what));
}

std::string Remark(const std::vector<std::string_view>& groups, std::string_view name, bool& shortened) {
  std::size_t whole = name.size();
  for (const auto group : groups) whole += group.size() + kSeparator.size();
  shortened = whole > kMaxRemarkBytes;
  std::string remark;
  if (!shortened) {
    remark.reserve(whole);
    for (const auto group : groups) (remark += group) += kSeparator;
    return remark += name;
  }
  const std::string_view mark = groups.empty() ? std::string_view() : kLeftOut;
  if (mark.size() + name.size() > kMaxRemarkBytes) {
    // The name alone is too long: its start stays, as does a mark of the folders before it.
    return (remark += mark) += std::string(CutUtf8(name, kMaxRemarkBytes - mark.size() - kCut.size())) += kCut;
  }
  // The outer folders stay as long as they fit beside the name: they tell where it sat.
  std::size_t room = kMaxRemarkBytes - mark.size() - name.size();
  for (const auto group : groups) {
    if (group.size() + kSeparator.size() > room) break;
    (remark += group) += kSeparator;
    room -= group.size() + kSeparator.size();
  }
  return (remark += mark) += name;
}

namespace {

// A NUL, a line break or another control character in where a session goes: the program
// refuses to connect with one, and a NUL would show one host in the list while another is
// stored. A CSV is let be, as for its ports: it must give back what export took.
bool HasControlCharacter(const ImportedServer& server) {
  for (const std::string* value : {&server.host, &server.port, &server.user}) {
    for (const char c : *value) {
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
    }
  }
  return false;
}

}  // namespace

bool Admit(const std::string& file, ImportedServer& server, ImportResult& result, bool remarkShortened,
           PortCheck ports) {
  if (server.remark.size() > kMaxRemarkBytes) {
    // A remark from a CSV row: its folders are what stand before its last slash.
    std::vector<std::string_view> groups;
    std::string_view rest = server.remark;
    for (auto slash = rest.find(kSeparator); slash != std::string_view::npos; slash = rest.find(kSeparator)) {
      groups.push_back(rest.substr(0, slash));
      rest.remove_prefix(slash + kSeparator.size());
    }
    server.remark = Remark(groups, rest, remarkShortened);
  }
  const auto where = [&] { return file + ": " + server.remark; };
  std::optional<std::string> refusal;
  if (server.host.size() > kMaxHostBytes) {
    refusal = Format(Msg::kHostTooLong, kMaxHostBytes);
  } else if (ports == PortCheck::kNumber && HasControlCharacter(server)) {
    refusal = Format(Msg::kControlCharacter);
  } else if (server.user.size() > kMaxUserBytes) {
    refusal = Format(Msg::kUserTooLong, kMaxUserBytes);
  } else if (server.password.size() > kMaxPasswordBytes) {
    refusal = Format(Msg::kPasswordTooLong, kMaxPasswordBytes);
  } else if (ports == PortCheck::kNumber && !server.port.empty()) {
    if (auto port = Port(server.port)) {
      server.port = std::move(*port);
    } else {
      refusal = Format(Msg::kBadPort, Shown(server.port));
    }
  }
  if (refusal) {
    WipeText(server.password);
    NoteSkipped(result, where(), std::move(*refusal));
    return false;
  }
  if (remarkShortened) AddNote(result.shortened, result.moreShortened, where(), Format(Msg::kRemarkShortened, kMaxRemarkBytes));
  return true;
}

void ApplyLimits(const std::string& file, ImportResult& result, PortCheck ports) {
  // In place: the servers may be many, and a second list of them would double what they take.
  auto& servers = result.servers;
  std::size_t kept = 0;
  for (std::size_t i = 0; i < servers.size(); ++i) {
    if (!Admit(file, servers[i], result, false, ports)) continue;
    if (kept != i) {
      // A copy, then a wipe: a short password moved leaves its bytes where it was.
      servers[kept] = servers[i];
      WipeText(servers[i].password);
    }
    ++kept;
  }
  servers.resize(kept);
}

}  // namespace korvane::import
