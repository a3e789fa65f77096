// Signing connection files with a certificate of the current user's personal store ("MY"),
// and the per-user setting that names it. The store is only ever read here.
#pragma once

#include <string>
#include <vector>

namespace korvane {

// HKEY_CURRENT_USER\Software\Korvane, value SigningCertificate (REG_SZ): the SHA-256
// thumbprint of the certificate to sign with. No value, or an empty one, means no signing.
inline constexpr const wchar_t* kSettingsKey = L"Software\\Korvane";
inline constexpr const wchar_t* kSigningCertificateValue = L"SigningCertificate";

// The setting as it stands, "" when it is not set. A value that is there but is not text
// comes back as "-": set, yet naming no certificate, so signing fails and says so.
std::string ReadSigningCertificateSetting();

// A detached PKCS#7 signature of the bytes: SHA-256, the certificate and its chain included,
// no signed attributes, made by CryptSignMessage with the certificate whose SHA-256
// thumbprint is given. Empty when there is no such certificate in the personal store, when
// it is not valid now, may not sign, has no usable private key, or when signing fails.
std::vector<unsigned char> SignWithPersonalCertificate(const std::string& thumbprint,
                                                       const std::vector<unsigned char>& content);

struct SigningCertificateInfo {
  std::string thumbprint;  // SHA-256, 64 uppercase hexadecimal digits
  std::string sha1;        // SHA-1, 40 uppercase hexadecimal digits, for clients that know no other
  std::string subject;     // e.g. "CN=Korvane, O=Example"
  std::string expires;     // the end of its validity, "YYYY-MM-DD HH:MM:SS UTC"
};

// The certificates of the personal store that SignWithPersonalCertificate can sign with now,
// in the store's order.
std::vector<SigningCertificateInfo> ListSigningCertificates();

}  // namespace korvane
