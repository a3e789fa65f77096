#include "launch/signing_win32.h"

#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <type_traits>

#include "launch/rdp_signing.h"
#include "platform/platform_win32.h"
#include "platform/text_win32.h"

namespace korvane {
namespace {

struct StoreCloser {
  void operator()(HCERTSTORE store) const { CertCloseStore(store, 0); }
};
using UniqueStore = std::unique_ptr<std::remove_pointer_t<HCERTSTORE>, StoreCloser>;

struct CertificateFreer {
  void operator()(PCCERT_CONTEXT certificate) const { CertFreeCertificateContext(certificate); }
};
using UniqueCertificate = std::unique_ptr<const CERT_CONTEXT, CertificateFreer>;

struct ChainFreer {
  void operator()(PCCERT_CHAIN_CONTEXT chain) const { CertFreeCertificateChain(chain); }
};
using UniqueChain = std::unique_ptr<const CERT_CHAIN_CONTEXT, ChainFreer>;

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

// Read-only: the program never adds to, changes or removes from a certificate store.
UniqueStore OpenPersonalStore() {
  return UniqueStore(CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0,
                                   CERT_SYSTEM_STORE_CURRENT_USER | CERT_STORE_READONLY_FLAG |
                                       CERT_STORE_OPEN_EXISTING_FLAG,
                                   L"MY"));
}

// A thumbprint in uppercase hexadecimal, by the name of its hash ("SHA256", "SHA1"), computed
// from the certificate's bytes: the store's own SHA-256 property is not there on every system
// this runs on.
std::optional<std::string> Thumbprint(PCCERT_CONTEXT certificate, const wchar_t* hashName, DWORD hashSize) {
  BYTE hash[32];
  DWORD size = sizeof(hash);
  if (!CryptHashCertificate2(hashName, 0, nullptr, certificate->pbCertEncoded, certificate->cbCertEncoded, hash,
                             &size) ||
      size != hashSize) {
    return std::nullopt;
  }
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (DWORD i = 0; i < size; ++i) {
    text += kDigits[hash[i] >> 4];
    text += kDigits[hash[i] & 0x0F];
  }
  return text;
}

std::optional<std::string> Sha256Thumbprint(PCCERT_CONTEXT certificate) {
  return Thumbprint(certificate, L"SHA256", 32);
}

// Valid now, allowed to make signatures by its key usage (when it names one), and with a
// private key this user can reach without being asked anything. The key is kept on the
// certificate's context (the cache flag), where CryptSignMessage looks for it; a CNG key is
// accepted as well as an older CryptoAPI one.
bool CanSign(PCCERT_CONTEXT certificate) {
  if (CertVerifyTimeValidity(nullptr, certificate->pCertInfo) != 0) return false;
  BYTE usage = 0;
  if (CertGetIntendedKeyUsage(X509_ASN_ENCODING, certificate->pCertInfo, &usage, 1) &&
      (usage & CERT_DIGITAL_SIGNATURE_KEY_USAGE) == 0) {
    return false;
  }
  HCRYPTPROV_OR_NCRYPT_KEY_HANDLE key = 0;
  DWORD keySpec = 0;
  BOOL callerFrees = FALSE;
  return CryptAcquireCertificatePrivateKey(
             certificate,
             CRYPT_ACQUIRE_CACHE_FLAG | CRYPT_ACQUIRE_SILENT_FLAG | CRYPT_ACQUIRE_ALLOW_NCRYPT_KEY_FLAG, nullptr,
             &key, &keySpec, &callerFrees) != FALSE;
}

UniqueCertificate FindByThumbprint(HCERTSTORE store, const std::string& thumbprint) {
  PCCERT_CONTEXT certificate = nullptr;
  while ((certificate = CertEnumCertificatesInStore(store, certificate)) != nullptr) {
    if (Sha256Thumbprint(certificate) == thumbprint) {
      return UniqueCertificate(CertDuplicateCertificateContext(certificate));
    }
  }
  return nullptr;
}

std::string UtcText(const FILETIME& time) {
  SYSTEMTIME t{};
  if (!FileTimeToSystemTime(&time, &t)) return "?";
  char text[32];
  std::snprintf(text, sizeof(text), "%04u-%02u-%02u %02u:%02u:%02u UTC", t.wYear, t.wMonth, t.wDay, t.wHour,
                t.wMinute, t.wSecond);
  return text;
}

std::string SubjectText(PCCERT_CONTEXT certificate) {
  CERT_NAME_BLOB* subject = &certificate->pCertInfo->Subject;
  const DWORD flags = CERT_X500_NAME_STR | CERT_NAME_STR_REVERSE_FLAG;
  const DWORD n = CertNameToStrW(X509_ASN_ENCODING, subject, flags, nullptr, 0);
  if (n <= 1) return {};
  std::wstring text(n, L'\0');
  CertNameToStrW(X509_ASN_ENCODING, subject, flags, text.data(), n);
  text.resize(n - 1);
  return Narrow(text);
}

}  // namespace

std::string ReadSigningCertificateSetting() {
  DWORD bytes = 0;
  LSTATUS status = RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, kSigningCertificateValue, RRF_RT_REG_SZ, nullptr,
                                nullptr, &bytes);
  if (status == ERROR_FILE_NOT_FOUND) return {};
  if (status != ERROR_SUCCESS) return "-";
  std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
  bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
  status = RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, kSigningCertificateValue, RRF_RT_REG_SZ, nullptr,
                        text.data(), &bytes);
  if (status != ERROR_SUCCESS) return "-";
  text.resize(wcsnlen(text.c_str(), text.size()));
  return Narrow(text);
}

std::vector<unsigned char> SignWithPersonalCertificate(const std::string& thumbprint,
                                                       const std::vector<unsigned char>& content) {
  const std::optional<std::string> wanted = NormalizeThumbprint(thumbprint);
  if (!wanted || content.empty()) return {};
  const UniqueStore store = OpenPersonalStore();
  if (!store) return {};
  const UniqueCertificate certificate = FindByThumbprint(store.get(), *wanted);
  if (!certificate || !CanSign(certificate.get())) return {};

  // The chain goes into the signature, as the system's own signing tool puts it there, so a
  // client can tell who issued the certificate. Without a chain the certificate goes alone.
  std::vector<PCCERT_CONTEXT> included;
  CERT_CHAIN_PARA chainPara{};
  chainPara.cbSize = sizeof(chainPara);
  PCCERT_CHAIN_CONTEXT rawChain = nullptr;
  UniqueChain chain;
  if (CertGetCertificateChain(nullptr, certificate.get(), nullptr, nullptr, &chainPara, 0, nullptr, &rawChain)) {
    chain.reset(rawChain);
    if (chain->cChain > 0) {
      const CERT_SIMPLE_CHAIN* simple = chain->rgpChain[0];
      for (DWORD i = 0; i < simple->cElement; ++i) included.push_back(simple->rgpElement[i]->pCertContext);
    }
  }
  if (included.empty()) included.push_back(certificate.get());

  CRYPT_SIGN_MESSAGE_PARA para{};
  para.cbSize = sizeof(para);
  para.dwMsgEncodingType = kEncoding;
  para.pSigningCert = certificate.get();
  para.HashAlgorithm.pszObjId = const_cast<LPSTR>(szOID_NIST_sha256);
  para.cMsgCert = static_cast<DWORD>(included.size());
  para.rgpMsgCert = included.data();
  const BYTE* parts[] = {content.data()};
  DWORD partSizes[] = {static_cast<DWORD>(content.size())};
  DWORD size = 0;
  if (!CryptSignMessage(&para, TRUE, 1, parts, partSizes, nullptr, &size)) return {};
  std::vector<unsigned char> signature(size);
  if (!CryptSignMessage(&para, TRUE, 1, parts, partSizes, signature.data(), &size)) return {};
  signature.resize(size);
  return signature;
}

std::vector<SigningCertificateInfo> ListSigningCertificates() {
  std::vector<SigningCertificateInfo> list;
  const UniqueStore store = OpenPersonalStore();
  if (!store) return list;
  PCCERT_CONTEXT certificate = nullptr;
  while ((certificate = CertEnumCertificatesInStore(store.get(), certificate)) != nullptr) {
    const std::optional<std::string> thumbprint = Sha256Thumbprint(certificate);
    const std::optional<std::string> sha1 = Thumbprint(certificate, L"SHA1", 20);
    if (!thumbprint || !sha1 || !CanSign(certificate)) continue;
    list.push_back({*thumbprint, *sha1, SubjectText(certificate), UtcText(certificate->pCertInfo->NotAfter)});
  }
  return list;
}

// ---- The Win32 platform's side ---------------------------------------------------------

std::string Win32Platform::SigningCertificate() { return ReadSigningCertificateSetting(); }

std::vector<unsigned char> Win32Platform::SignWithCertificate(const std::string& thumbprint,
                                                              const std::vector<unsigned char>& content) {
  return SignWithPersonalCertificate(thumbprint, content);
}

}  // namespace korvane
