// The readers of each kind of file, as import.cpp hands them what it recognised.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "import/import.h"
#include "import/xml.h"

namespace korvane::import {

// The remark of a server named `name` inside `groups`: "机房A/Web/web-01", built no longer
// than kMaxRemarkBytes (never whole first: a file may give a thousand servers one folder of a
// megabyte). `shortened` tells whether the folders, or the name itself, had to give way.
std::string Remark(const std::vector<std::string_view>& groups, std::string_view name, bool& shortened);

// A field no longer than `limit` as it is, a longer one cut to one byte more: enough for Admit
// to leave its server out, without a copy of all of a value that a file may give every server.
inline std::string Bounded(std::string_view field, std::size_t limit) { return std::string(field.substr(0, limit + 1)); }

// A password that Windows protected for its user (DPAPI), as RDCMan and mstsc keep it, opened
// by the context; nullopt when it does not open. Every copy on the way is wiped.
std::optional<std::string> OpenProtected(const ImportContext& context, const std::string& blob);

// A note of each kind, kept up to kMaxNotes and counted beyond.
void NoteSkipped(ImportResult& result, std::string where, std::string what);
void NoteUnopened(ImportResult& result, std::string where, std::string what);

// Whether `server` keeps to the limits of ApplyLimits, its port made plain and a long remark
// shortened; false after naming it in `skipped`, its password wiped. `remarkShortened`: the
// reader cut its remark already, and it is named in `shortened`.
bool Admit(const std::string& file, ImportedServer& server, ImportResult& result, bool remarkShortened = false,
           PortCheck ports = PortCheck::kNumber);

// The element and attribute names each reader looks at (ParseXml leaves out the others).
extern const XmlNames kMremotengNames;
extern const XmlNames kRdcmanNames;

// mRemoteNG: `root` is a parsed Connections element; `sealedFile` a file that older
// mRemoteNG encrypted whole (base64 text). Servers, notes and errors go into `result`.
void ReadMremoteng(const std::string& file, const XmlElement& root, ImportContext& context, ImportResult& result);
void ReadSealedMremoteng(const std::string& file, const std::string& sealedFile, ImportContext& context,
                         ImportResult& result);

// RDCMan: `root` is a parsed RDCMan element.
void ReadRdcman(const std::string& file, const XmlElement& root, ImportContext& context, ImportResult& result);

// A Remote Desktop connection file's text (already UTF-8): `name` becomes the remark.
// `text` may be bytes that do not decode: only the ASCII names of its lines are looked at.
bool LooksLikeRdp(std::string_view text);
void ReadRdp(const std::string& file, const std::string& name, const std::string& text, ImportContext& context,
             ImportResult& result);

// A CSV of servers as export writes it; recognised only when its first line names the fields.
// Its limits are applied here, its ports taken as given.
void ReadCsvServers(const std::string& file, std::string_view bytes, ImportContext& context, ImportResult& result);

}  // namespace korvane::import
