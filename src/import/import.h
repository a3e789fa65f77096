// Servers from other tools' files: mRemoteNG's confCons.xml, RDCMan's .rdg, Remote Desktop
// .rdp files and a folder of them, and the CSV that export writes. The kind is told by the
// content, never by the file name. Nothing here writes anywhere: server_writer.h adds what was
// read to a list, and each program shows the notes in its own way.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace korvane::import {

struct ImportedServer {
  std::string host;
  std::string port;      // as the file has it; "3389" where it names none
  std::string user;      // "DOMAIN\user" where the file keeps a domain apart
  std::string password;  // empty when the file has none or it did not open
  std::string remark;    // the group path, then the name: "机房A/Web/web-01"

  bool operator==(const ImportedServer&) const = default;
  // Each one wipes its password when it goes, the room around it too. It has no move, so a
  // vector that grows copies its servers and the old ones wipe themselves: a moved short
  // password would leave its characters but the first in the old room, freed as it was.
  ~ImportedServer();
};

// Where, then what: "confCons.xml: server 机房A/ssh-01" and "an SSH2 connection; only
// Remote Desktop connections are imported"; "servers.rdg:12" and "not well-formed".
struct Note {
  std::string where;
  std::string what;
};

enum class MasterPassword { kNotAsked, kNotGiven, kWrong };

struct ImportResult {
  // False when the content is none of the kinds read here: no server list at all. `errors`
  // then say what a CSV would have needed.
  bool recognised = false;
  std::string source;  // "mRemoteNG", "RDCMan", "Remote Desktop file(s)", "CSV"
  std::vector<ImportedServer> servers;
  std::vector<Note> skipped;   // servers left out on purpose, and why
  std::vector<Note> unopened;  // servers taken with an empty password, and why it did not open
  std::vector<Note> shortened;  // servers taken with a remark cut to kMaxRemarkBytes
  // The notes of a kind beyond kMaxNotes, counted only: the whole count of skipped servers is
  // skipped.size() + moreSkipped.
  std::size_t moreSkipped = 0, moreUnopened = 0, moreShortened = 0;
  // What could not be read. A file with an error gives no servers; in a folder the other
  // files still do.
  std::vector<Note> errors;
  std::size_t derivations = 0;  // password-based key derivations done (mRemoteNG)
  // Why an mRemoteNG file under a master password gave nothing: none was given, or the one
  // given is wrong. A program that asks in a window of its own reads the file again with it.
  MasterPassword master = MasterPassword::kNotAsked;
};

// What a reader may ask of the person and of the system.
struct ImportContext {
  // Asked once for the master password of an mRemoteNG file that the default one does not
  // open; nullopt when none is given. Unset: such a file is refused.
  std::function<std::optional<std::string>(const std::string& prompt)> askPassword;
  // Opens a blob protected for the current Windows user (DPAPI, no extra entropy). Unset, or
  // nullopt: it did not open. UnprotectForCurrentUser (unprotect_win32.h) is the real one.
  std::function<std::optional<std::string>(const std::string& blob)> unprotect;
  // Called on the reader's own thread while passwords are being opened: so many of so many.
  std::function<void(std::size_t done, std::size_t total)> progress;
  // Set from any thread to stop opening passwords: the reading ends soon after, with an error,
  // so that nothing of it is written. Unset: never.
  std::function<bool()> stopped;
  bool Stopped() const { return stopped && stopped(); }
  // Threads that open passwords; 0: one per core.
  unsigned threads = 0;
  // A file that asks for more rounds of key derivation than this is refused: each value would
  // take minutes. mRemoteNG 1.80 writes 600,000.
  unsigned long maxKdfIterations = 5'000'000;
};

// Files larger than this are refused unread: a server list is far smaller, and the parser
// holds the whole document.
inline constexpr std::size_t kMaxFileSize = 32u << 20;

// Each kind of note names this many servers at most, and counts the rest: a file of a million
// nameless nodes would otherwise make as many notes, each larger than the node, and print them.
inline constexpr std::size_t kMaxNotes = 10'000;

// What one server may bring, in bytes of UTF-8. A file may come from anyone, and each value is
// kept for every server that takes it: bounded, a file cannot make the import hold more than a
// few times its own size. A host name has at most 255 bytes (DNS); a user name, "DOMAIN\user"
// or "user@dns.domain", fits in 512; a password of 256 characters, the most Windows takes,
// fits in 768 in any script. The remark holds the folders and the name.
inline constexpr std::size_t kMaxHostBytes = 255;
inline constexpr std::size_t kMaxUserBytes = 512;
inline constexpr std::size_t kMaxPasswordBytes = 768;
inline constexpr std::size_t kMaxRemarkBytes = 1024;

// Holds the servers of `result` to the limits above, `file` naming them in the notes: a server
// whose host, user or password is longer, or whose port is not a number from 1 to 65535 (an
// empty one is let be), moves to `skipped` with its password wiped; the port is kept without
// blanks or leading zeros; a longer remark keeps the server's own name and gives up its folders
// ("机房A/…/web-01"), named in `shortened`. ReadServers* have applied it.
// Ports are checked and tidied only where another tool wrote them: a CSV comes from export,
// which gives back whatever port the data file holds, and must come back byte for byte.
enum class PortCheck { kNumber, kAsGiven };
void ApplyLimits(const std::string& file, ImportResult& result, PortCheck ports = PortCheck::kNumber);

// Reads the servers of one file, or of every *.rdp file in a folder. `path` is UTF-8.
ImportResult ReadServers(const std::string& path, ImportContext& context);
// The same on bytes already read; `name` stands for the file in the notes.
ImportResult ReadServersFromBytes(const std::string& name, const std::string& bytes, ImportContext& context);

}  // namespace korvane::import
