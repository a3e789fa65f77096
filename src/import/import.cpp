#include "import/import.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "import/readers.h"
#include "import/text.h"
#include "import/xml.h"
#include "import/import_text.h"

namespace korvane::import {

namespace {

namespace fs = std::filesystem;

fs::path PathFromUtf8(const std::string& path) {
  return fs::path(std::u8string(path.begin(), path.end()));
}

std::string Utf8Name(const fs::path& path) {
  const std::u8string name = path.u8string();
  return std::string(name.begin(), name.end());
}

// The bytes of a file no larger than kMaxFileSize; false with the reason otherwise.
bool ReadFile(const fs::path& path, std::string& bytes, std::string& error) {
  std::error_code ec;
  const auto size = fs::file_size(path, ec);
  if (ec) {
    error = Format(Msg::kImportCannotReadBecause, ec.message());
    return false;
  }
  if (size > kMaxFileSize) {
    error = Format(Msg::kImportTooLarge, kMaxFileSize >> 20);
    return false;
  }
  // Read into room of the size the file has, and one byte more to see that it has not grown
  // since: a buffer that grew as it read would leave copies of the content (maybe a CSV of
  // passwords in clear) behind, unwiped.
  std::ifstream in(path, std::ios::binary);
  bytes.resize(static_cast<std::size_t>(size) + 1);
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  const auto got = static_cast<std::size_t>(in.gcount());
  if (!in.is_open() || in.bad() || got != size) {
    WipeAndFree(bytes);
    error = Format(Msg::kImportCannotRead);
    return false;
  }
  bytes.resize(got);
  return true;
}

// Text that older mRemoteNG wrote when it sealed the whole file: one base64 value.
bool IsBase64Text(std::string_view text) {
  text = Trim(text);
  return text.size() >= 44 && std::all_of(text.begin(), text.end(), [](char c) {
           return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
                  c == '/' || c == '=' || c == '\r' || c == '\n';
         });
}

// The ASCII characters of UTF-16LE text in their places, '?' for every other unit: enough to
// tell the lines of a connection file in text that does not decode. Wiped when it goes.
struct AsciiOfUtf16 {
  explicit AsciiOfUtf16(std::string_view bytes) {
    ascii.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
      const bool plain = bytes[i + 1] == '\0' && static_cast<unsigned char>(bytes[i]) < 0x80;
      ascii += plain ? bytes[i] : '?';
    }
  }
  ~AsciiOfUtf16() { WipeText(ascii); }
  operator std::string_view() const { return ascii; }
  std::string ascii;
};

std::string Stem(const std::string& fileName) {
  const auto dot = fileName.rfind('.');
  return dot == std::string::npos || dot == 0 ? fileName : fileName.substr(0, dot);
}

void ReadFolder(const std::string& folder, ImportContext& context, ImportResult& result) {
  result.recognised = true;
  result.source = "Remote Desktop files";
  std::vector<fs::path> files;
  std::error_code ec;
  for (fs::directory_iterator it(PathFromUtf8(folder), ec), end; !ec && it != end; it.increment(ec)) {
    const std::string extension = Utf8Name(it->path().extension());
    if (EqualsIgnoringCase(extension, ".rdp") && it->is_regular_file(ec)) files.push_back(it->path());
  }
  if (ec) return result.errors.push_back({folder, Format(Msg::kImportCannotListFolder, ec.message())});
  if (files.empty()) return result.errors.push_back({folder, Format(Msg::kImportNoRdpFile)});
  std::sort(files.begin(), files.end());
  result.servers.reserve(files.size());  // never moved as it grows: a moved short password leaves its bytes
  for (const auto& path : files) {
    if (context.Stopped()) return result.errors.push_back({folder, Format(Msg::kStopped)});
    const std::string file = Utf8Name(path);
    std::string bytes, error;
    if (!ReadFile(path, bytes, error)) {
      result.errors.push_back({file, error});
    } else if (auto text = DecodeText(bytes); !text) {
      result.errors.push_back({file, Format(Msg::kBrokenRdpText)});
    } else {
      ReadRdp(file, Stem(Utf8Name(path.filename())), *text, context, result);
      WipeText(*text);
    }
    WipeText(bytes);
  }
}

}  // namespace

ImportedServer::~ImportedServer() { WipeText(password); }

std::optional<std::string> OpenProtected(const ImportContext& context, const std::string& blob) {
  if (!context.unprotect) return std::nullopt;
  std::optional<std::string> wide = context.unprotect(blob);
  if (!wide) return std::nullopt;
  std::optional<std::string> text = WidePasswordToUtf8(*wide);
  WipeText(*wide);
  return text;
}

ImportResult ReadServersFromBytes(const std::string& name, const std::string& bytes, ImportContext& context) {
  ImportResult result;
  // The text is a copy of the file, which may be a CSV of passwords in clear: wiped however
  // this ends.
  struct Text {
    std::optional<std::string> text;
    ~Text() {
      if (text) WipeText(*text);
    }
  } decoded{DecodeText(bytes)};
  const std::optional<std::string>& text = decoded.text;
  const std::string_view start = text ? Trim(*text) : std::string_view();
  if (!start.empty() && start.front() == '<') {
    // Only an XML file that names itself as one of the two is taken to be one.
    const bool ours = start.find("<Connections") != std::string_view::npos ||
                      start.find(":Connections") != std::string_view::npos || start.find("<RDCMan") != std::string_view::npos;
    // expat reads the raw bytes: it follows the byte order mark and the encoding declared.
    WipeAndFree(*decoded.text);
    std::string error;
    static const XmlNames names = [] {
      XmlNames both = kMremotengNames;
      both.insert(kRdcmanNames.begin(), kRdcmanNames.end());
      return both;
    }();
    const auto root = ParseXml(bytes, error, names);
    if (!root && ours) {
      result.recognised = true;
      result.source = "XML";
      result.errors.push_back({name, Format(Msg::kImportBadXml, error)});
      return result;
    }
    if (root && root->name == "Connections") {
      result.recognised = true;
      ReadMremoteng(name, *root, context, result);
    } else if (root && root->name == "RDCMan") {
      result.recognised = true;
      ReadRdcman(name, *root, context, result);
    }
  } else if (text && LooksLikeRdp(*text)) {
    result.recognised = true;
    result.source = "Remote Desktop file";
    const std::string fileName = Utf8Name(PathFromUtf8(name).filename());
    ReadRdp(name, Stem(fileName), *text, context, result);
  } else if (text && IsBase64Text(*text)) {
    result.recognised = true;
    ReadSealedMremoteng(name, *text, context, result);
  } else if (!text) {
    // Text that does not decode is named as what it was meant to be, never held against a
    // CSV's rules: a connection file, or text that a byte order mark says is UTF-16.
    const bool utf16 = bytes.starts_with("\xFF\xFE");
    const AsciiOfUtf16 ascii(utf16 ? std::string_view(bytes).substr(2) : std::string_view());
    if (LooksLikeRdp(utf16 ? std::string_view(ascii) : std::string_view(bytes))) {
      result.recognised = true;
      result.source = "Remote Desktop file";
      result.errors.push_back({name, Format(Msg::kBrokenRdpText)});
    } else if (utf16) {
      result.recognised = true;
      result.source = "text";
      result.errors.push_back({name, Format(Msg::kBrokenUtf16)});
    }
  }
  if (!result.recognised) {
    ReadCsvServers(name, bytes, context, result);
    return result;
  }
  ApplyLimits(name, result);
  return result;
}

ImportResult ReadServers(const std::string& path, ImportContext& context) {
  std::error_code ec;
  const fs::path where = PathFromUtf8(path);
  if (fs::is_directory(where, ec)) {
    ImportResult result;
    ReadFolder(path, context, result);
    return result;
  }
  std::string bytes, error;
  if (!ReadFile(where, bytes, error)) {
    ImportResult result;
    result.recognised = true;
    result.errors.push_back({path, error});
    return result;
  }
  ImportResult result = ReadServersFromBytes(path, bytes, context);
  WipeText(bytes);
  return result;
}

}  // namespace korvane::import
