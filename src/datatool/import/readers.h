// The readers of each kind of file, as import.cpp hands them what it recognised.
#pragma once

#include <string>

#include "datatool/import/import.h"
#include "datatool/import/xml.h"

namespace korvane::import {

// mRemoteNG: `root` is a parsed Connections element; `sealedFile` a file that older
// mRemoteNG encrypted whole (base64 text). Servers, notes and errors go into `result`.
void ReadMremoteng(const std::string& file, const XmlElement& root, ImportContext& context, ImportResult& result);
void ReadSealedMremoteng(const std::string& file, const std::string& sealedFile, ImportContext& context,
                         ImportResult& result);

// RDCMan: `root` is a parsed RDCMan element.
void ReadRdcman(const std::string& file, const XmlElement& root, ImportContext& context, ImportResult& result);

// A Remote Desktop connection file's text (already UTF-8): `name` becomes the remark.
bool LooksLikeRdp(const std::string& text);
void ReadRdp(const std::string& file, const std::string& name, const std::string& text, ImportContext& context,
             ImportResult& result);

}  // namespace korvane::import
