// The signed connection file: what the Remote Desktop client checks a signature against, and
// the file that carries it. Portable: the signature itself is made by the platform.
//
// A signed file holds its settings, then "signscope:s:" naming the signed settings and
// "signature:s:" with the signature, one CR LF after each line, as UTF-16LE with a byte-order
// mark. The signed bytes are, as UTF-16LE, each named setting's line as written in the file
// followed by CR LF, in the order signscope names them, then the signscope line and CR LF,
// then one NUL character.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace korvane {

struct RdpSigning {
  // The file's setting lines, "alternate full address" added (UTF-8).
  std::vector<std::string> lines;
  // "signscope:s:Full Address,Alternate Full Address,..."
  std::string signscopeLine;
  // The bytes the signature covers (UTF-16LE).
  std::vector<unsigned char> content;
};

// Works out what to sign in an unsigned file's text (CR LF lines, UTF-8). A file with a full
// address and no alternate one gets "alternate full address" with the same value at the end
// of its settings: without it, the client would take an alternate address that someone adds
// after the signing. The signable settings are named in the signing tool's own order, not in
// the file's. Nothing when the text holds a signable setting twice, since the client might
// take the copy the signature does not cover.
std::optional<RdpSigning> PrepareRdpSigning(const std::string& rdpText);

// "signature:s:" and the base64 of the 12-byte header the client expects (0x00010001,
// 0x00000001 and the signature's length, each little-endian) followed by the signature.
std::string SignatureLine(const std::vector<unsigned char>& signature);

// The whole signed file: byte-order mark, then the settings, the signscope line and the
// signature line, each followed by CR LF, in UTF-16LE.
std::vector<unsigned char> SignedRdpFile(const RdpSigning& signing, const std::string& signatureLine);

// A certificate's SHA-256 thumbprint as 64 uppercase hexadecimal digits, from the forms people
// copy it in: any case, blanks or colons between the digits, the invisible direction marks
// the system's certificate dialog puts in front, and "sha256:" in front as the policy of
// trusted publishers takes it. Nothing when it is not 32 bytes of hex.
std::optional<std::string> NormalizeThumbprint(const std::string& text);

// UTF-8 text as UTF-16LE bytes, no byte-order mark and no terminator. A byte that does not
// belong to a well-formed UTF-8 sequence becomes U+FFFD.
std::vector<unsigned char> Utf16Le(const std::string& utf8);

}  // namespace korvane
