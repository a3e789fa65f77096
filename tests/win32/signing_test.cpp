// Signed connection files on real Wine: a self-signed certificate in the current user's
// personal store signs the file the stand-in client gets, and OpenSSL checks that signature
// over the content rebuilt from the file. Also the failures that fall back to the unsigned
// file, and korvane-data signing-certificate.
#include <gtest/gtest.h>
#include <windows.h>
#include <wincrypt.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>

#include "launch/connect.h"
#include "launch/rdp_signing.h"
#include "launch/signing_win32.h"
#include "platform/platform_win32.h"
#include "support/main_window_form.h"
#include "win32/support/drive_win32.h"
#include "win32/support/test_client.h"

namespace korvane {
namespace {

using testing::ReadAll;

void WriteAll(const std::string& path, const std::string& bytes) {
  const HANDLE file = CreateFileW(Widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
}

// A self-signed certificate "CN=Korvane Test" in the personal store ("MY"), valid from the first
// year to the second, with its private key or without; removed with its key at the end
// (through the registry store: the only deletion that lasts under Wine).
class TestCertificate {
 public:
  TestCertificate(WORD fromYear, WORD toYear, bool withKey) {
    BYTE name[64];
    CERT_NAME_BLOB subject{sizeof(name), name};
    CertStrToNameW(X509_ASN_ENCODING, L"CN=Korvane Test", CERT_X500_NAME_STR, nullptr, name, &subject.cbData, nullptr);
    // A new container: the certificate's own key is made there.
    CRYPT_KEY_PROV_INFO keyInfo{container_.data(), const_cast<LPWSTR>(MS_ENH_RSA_AES_PROV_W), PROV_RSA_AES,
                                CRYPT_NEWKEYSET, 0, nullptr, AT_SIGNATURE};
    CRYPT_ALGORITHM_IDENTIFIER algorithm{const_cast<LPSTR>(szOID_RSA_SHA256RSA), {}};
    SYSTEMTIME from{fromYear, 1, 0, 1}, to{toYear, 1, 0, 1};
    made_ = CertCreateSelfSignCertificate(0, &subject, 0, &keyInfo, &algorithm, &from, &to, nullptr);
    const HCERTSTORE my = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"MY");
    EXPECT_TRUE(withKey ? CertAddCertificateContextToStore(my, made_, CERT_STORE_ADD_NEW, nullptr)
                        : CertAddEncodedCertificateToStore(my, X509_ASN_ENCODING, made_->pbCertEncoded,
                                                           made_->cbCertEncoded, CERT_STORE_ADD_NEW, nullptr));
    CertCloseStore(my, 0);
    BYTE hash[32];
    DWORD size = sizeof(hash);
    CryptHashCertificate2(L"SHA256", 0, nullptr, made_->pbCertEncoded, made_->cbCertEncoded, hash, &size);
    thumbprint = HexUpper({hash, hash + size});
    size = sizeof(hash);
    CertGetCertificateContextProperty(made_, CERT_SHA1_HASH_PROP_ID, hash, &size);
    sha1 = HexUpper({hash, hash + size});
    der = std::string(reinterpret_cast<const char*>(made_->pbCertEncoded), made_->cbCertEncoded);
  }
  TestCertificate(const TestCertificate&) = delete;
  TestCertificate& operator=(const TestCertificate&) = delete;
  ~TestCertificate() {
    const HCERTSTORE my = CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"MY");
    const PCCERT_CONTEXT stored = CertFindCertificateInStore(my, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, made_, nullptr);
    if (stored != nullptr) CertDeleteCertificateFromStore(stored);
    CertCloseStore(my, 0);
    CertFreeCertificateContext(made_);
    HCRYPTPROV provider = 0;
    CryptAcquireContextW(&provider, container_.c_str(), MS_ENH_RSA_AES_PROV_W, PROV_RSA_AES, CRYPT_DELETEKEYSET);
  }

  std::string thumbprint, sha1, der;

 private:
  static inline int count_ = 0;
  std::wstring container_ = L"korvane-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++count_);
  PCCERT_CONTEXT made_ = nullptr;
};

// The stand-in client installed as the system's mstsc.exe; the temporary folder, the client's
// record and OpenSSL's files in one folder under /tmp; the setting removed at the end.
class Signing : public ::testing::Test {
 protected:
  void SetUp() override {
    CreateDirectoryW(Widen(dos_).c_str(), nullptr);
    ASSERT_TRUE(CopyFileA(testing::Dos(KORVANE_TEST_CLIENT).c_str(), testing::SystemClientPath().c_str(), FALSE));
  }
  void TearDown() override {
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kSettingsKey, kSigningCertificateValue);
    DeleteFileA(testing::SystemClientPath().c_str());
    std::filesystem::remove_all(unix_);
  }

  void Set(const std::string& value) {
    const std::wstring wide = Widen(value);
    RegSetKeyValueW(HKEY_CURRENT_USER, kSettingsKey, kSigningCertificateValue, REG_SZ, wide.c_str(),
                    static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
  }

  // Connects and returns the file the client got; a message box is noted and answered.
  std::string Connect() {
    DeleteFileW(Widen(dos_ + "done.txt").c_str());
    shown_.clear();
    const testing::WindowWatcher boxes{L"#32770", [this](HWND box) {
                                         shown_ = testing::MessageBoxText(box);
                                         testing::PressMessageBoxButton(box, IDOK);
                                       }};
    ConnectToServer(form_, platform_);
    EXPECT_TRUE(testing::WaitForClientRecord(dos_));
    testing::WaitForClientExit(dos_);
    return ReadAll(dos_ + "text.rdp");
  }

  // Checks a signed file as a client does: the content rebuilt from the file's text (UTF-16LE
  // after the byte-order mark), the signature after its 12-byte header (checked natively). The machine's openssl
  // is a Linux program Wine starts by its Z: path and gives back no exit code for, so the shell
  // writes that to a file, last. Returns what openssl said and "rc=" its exit code.
  std::string OpensslVerify(const std::string& file, const TestCertificate& certificate) {
    const std::string text = Narrow({reinterpret_cast<const wchar_t*>(file.data() + 2), (file.size() - 2) / 2});
    const std::vector<unsigned char> content = PrepareRdpSigning(text).value_or(RdpSigning{}).content;
    const size_t at = text.find("signature:s:") + 12;
    WriteAll(dos_ + "content.bin", {content.begin(), content.end()});
    WriteAll(dos_ + "signature.b64", text.substr(at, text.find('\r', at) - at));
    WriteAll(dos_ + "certificate.der", certificate.der);
    DeleteFileW(Widen(dos_ + "rc.txt").c_str());
    std::wstring command = Widen(
        "sh -c \"cd " + unix_ + " && openssl base64 -d -A -in signature.b64 | tail -c +13 >signature.der &&"
        " openssl x509 -inform der -in certificate.der -out certificate.pem && openssl cms"
        " -verify -inform der -in signature.der -binary -content content.bin -CAfile certificate.pem -purpose any"
        " -out /dev/null >out.txt 2>&1; echo $? >rc.tmp; mv rc.tmp rc.txt\"");
    STARTUPINFOW startup{sizeof(startup)};
    PROCESS_INFORMATION process{};
    if (CreateProcessW(L"Z:\\bin\\sh", command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
      CloseHandle(process.hThread);
      CloseHandle(process.hProcess);
      for (int i = 0; i < 600 && !testing::Exists(dos_ + "rc.txt"); ++i) Sleep(50);  // a deadline for failure only
    }
    return ReadAll(dos_ + "out.txt") + "rc=" + ReadAll(dos_ + "rc.txt");
  }

  std::string unix_ = "/tmp/korvane-signing-" + std::to_string(GetCurrentProcessId()) + "/", dos_ = testing::Dos(unix_);
  testing::EnvOverride tmp_{"TMP", dos_}, temp_{"TEMP", dos_}, log_{"KORVANE_TEST_CLIENT_LOG", dos_};
  testing::FakeForm form_ = testing::OpenedMainWindow("10.20.30.40", "3389", "管理员", "Secr3t");
  Win32Platform platform_;
  std::wstring shown_;
};

TEST_F(Signing, TheClientGetsAFileWhoseSignatureOpensslAcceptsUntilOneByteChanges) {
  form_.SetChecked(Id(MainControl::选择框_磁盘), true);
  TestCertificate certificate(2020, 2090, true);
  Set(certificate.thumbprint);
  const std::string file = Connect();
  EXPECT_EQ(shown_, L"");
  ASSERT_EQ(file.substr(0, 2), "\xFF\xFE");
  const std::string text = Narrow({reinterpret_cast<const wchar_t*>(file.data() + 2), (file.size() - 2) / 2});
  EXPECT_NE(text.find("\r\nusername:s:管理员\r\n"), std::string::npos);
  EXPECT_NE(text.find("\r\nalternate full address:s:10.20.30.40:3389\r\nsignscope:s:Full Address,Alternate Full Address,"
                      "AutoReconnection Enabled,RedirectSmartCards,RedirectClipboard,DevicesToRedirect,"
                      "DrivesToRedirect\r\nsignature:s:"),
            std::string::npos);
  const std::string verified = OpensslVerify(file, certificate);
  EXPECT_NE(verified.find("Verification successful\nrc=0\n"), std::string::npos) << verified;

  std::string changed = file;
  const std::wstring end = L"40:3389";  // the full address's end, its first place in the file
  const size_t at = changed.find(std::string(reinterpret_cast<const char*>(end.data()), end.size() * 2));
  ASSERT_NE(at, std::string::npos);
  changed[at + 2] = '1';
  const std::string refused = OpensslVerify(changed, certificate);
  EXPECT_NE(refused.find("Verification failure"), std::string::npos) << refused;
  EXPECT_EQ(refused.find("rc=0"), std::string::npos) << refused;
}

TEST_F(Signing, WithoutAUsableCertificateTheMessageComesAndTheFileIsUnsigned) {
  TestCertificate expired(2000, 2001, true), keyless(2020, 2090, false);
  for (const std::string& setting : {expired.thumbprint, keyless.thumbprint, std::string(64, '0'), std::string("x")}) {
    Set(setting);
    const std::string file = Connect();
    EXPECT_EQ(shown_, L"无法签名连接文件，本次以未签名方式连接。") << setting;
    EXPECT_EQ(file.rfind("screen mode id:i:1\r\n", 0), 0u) << setting;
    EXPECT_EQ(file.find("signscope"), std::string::npos);
  }
  Set("");
  Connect();
  EXPECT_EQ(shown_, L"");
}

// korvane-data.exe through the C library's pipe: exit code and output.
std::pair<int, std::string> RunTool(const std::string& arguments) {
  // Now and then Wine's cmd, which the pipe runs the tool through, fails to start a program
  // that is there and answers 9009 ("Can't recognize ..."): the tool never ran, so it is
  // started once more. The tool itself never ends with 9009.
  constexpr int kCommandNotStarted = 9009;
  for (int attempt = 0;; ++attempt) {
    FILE* pipe = _wpopen(Widen(testing::Dos(KORVANE_DATA_EXE) + " signing-certificate " + arguments).c_str(), L"rb");
    std::string out;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof(buffer), pipe)) > 0;) out.append(buffer, n);
    const int code = _pclose(pipe);
    if (code != kCommandNotStarted || attempt == 1) return {code, out};
  }
}

TEST_F(Signing, TheToolListsSetsAndTurnsOff) {
  TestCertificate usable(2020, 2090, true), expired(2000, 2001, true), keyless(2020, 2090, false);
  const std::string list = RunTool("list").second;
  // The policy's entry for updated clients, then the SHA-1 thumbprint for the others.
  EXPECT_NE(list.find(" sha256:" + usable.thumbprint + "  " + usable.sha1 + "  2090-01-01 00:00:00 UTC  CN=Korvane Test\r\n"),
            std::string::npos) << list;
  EXPECT_EQ(list.find(expired.thumbprint), std::string::npos) << list;
  EXPECT_EQ(list.find(keyless.thumbprint), std::string::npos) << list;

  std::string spaced = usable.thumbprint;  // as the certificate dialog shows it
  for (size_t i = 62; i > 0; i -= 2) spaced.insert(i, " ");
  std::transform(spaced.begin(), spaced.end(), spaced.begin(), ::tolower);
  EXPECT_EQ(RunTool("set \"" + spaced + "\""), std::make_pair(0, usable.thumbprint + "\r\n"));
  EXPECT_EQ(RunTool("list").second.find("*sha256:" + usable.thumbprint), 0u);
  const std::pair<const char*, int> refusals[] = {{"set 12AB", 2}, {"", 2}, {"list extra", 2}};
  for (const auto& [arguments, code] : refusals) EXPECT_EQ(RunTool(arguments).first, code) << arguments;
  for (const std::string& cannot : {keyless.thumbprint, expired.thumbprint}) EXPECT_EQ(RunTool("set " + cannot).first, 1);
  EXPECT_EQ(ReadSigningCertificateSetting(), usable.thumbprint);
  for (int i = 0; i < 2; ++i) EXPECT_EQ(RunTool("off").first, 0);
  EXPECT_EQ(ReadSigningCertificateSetting(), "");
  for (const char* help : {"--help", "list --help", "set --help", "off --help"}) {
    const auto [code, out] = RunTool(help);
    EXPECT_EQ(code, 0) << help;
    EXPECT_EQ(out.find("usage: korvane-data signing-certificate"), 0u) << help;
  }
}

}  // namespace
}  // namespace korvane
