// Signed connection files on real Wine: a self-signed certificate in the current user's
// personal store signs the file the stand-in client gets, and OpenSSL checks that signature
// over the content rebuilt from the file as a client does. Also the failures that fall back
// to the unsigned file, and korvane-data signing-certificate.
#include <gtest/gtest.h>
#include <windows.h>
#include <wincrypt.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "launch/connect.h"
#include "launch/signing_win32.h"
#include "platform/platform_win32.h"
#include "support/fake_form.h"
#include "support/main_window_form.h"
#include "win32/support/drive_win32.h"
#include "win32/support/test_client.h"

namespace korvane {
namespace {

using testing::Bytes;
using testing::ReadAll;

void WriteAll(const std::string& path, const std::string& bytes) {
  const HANDLE file = CreateFileW(Widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
}

// A self-signed certificate in the personal store ("MY") for one test, valid between the two
// years, with its private key or without; removed with its key at the end. Only the registry
// store's deletion lasts under Wine.
class TestCertificate {
 public:
  TestCertificate(WORD fromYear, WORD toYear, bool withKey) {
    HCRYPTPROV provider = 0;
    CryptAcquireContextW(&provider, container_.c_str(), MS_ENH_RSA_AES_PROV_W, PROV_RSA_AES, CRYPT_DELETEKEYSET);
    CryptAcquireContextW(&provider, container_.c_str(), MS_ENH_RSA_AES_PROV_W, PROV_RSA_AES, CRYPT_NEWKEYSET);
    HCRYPTKEY key = 0;
    CryptGenKey(provider, AT_SIGNATURE, 2048u << 16, &key);
    CryptDestroyKey(key);
    CryptReleaseContext(provider, 0);  // only now is the key stored for others to use
    BYTE name[128];
    DWORD nameSize = sizeof(name);
    CertStrToNameW(X509_ASN_ENCODING, L"CN=Korvane Test", CERT_X500_NAME_STR, nullptr, name, &nameSize, nullptr);
    CERT_NAME_BLOB subject{nameSize, name};
    CRYPT_KEY_PROV_INFO keyInfo{const_cast<LPWSTR>(container_.c_str()), const_cast<LPWSTR>(MS_ENH_RSA_AES_PROV_W),
                                PROV_RSA_AES, 0, 0, nullptr, AT_SIGNATURE};
    CRYPT_ALGORITHM_IDENTIFIER algorithm{const_cast<LPSTR>(szOID_RSA_SHA256RSA), {}};
    SYSTEMTIME from{fromYear, 1, 0, 1}, to{toYear, 1, 0, 1};
    PCCERT_CONTEXT made = CertCreateSelfSignCertificate(0, &subject, 0, &keyInfo, &algorithm, &from, &to, nullptr);
    EXPECT_NE(made, nullptr);
    const HCERTSTORE my = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"MY");
    EXPECT_TRUE(withKey ? CertAddCertificateContextToStore(my, made, CERT_STORE_ADD_REPLACE_EXISTING, nullptr)
                        : CertAddEncodedCertificateToStore(my, X509_ASN_ENCODING, made->pbCertEncoded,
                                                           made->cbCertEncoded, CERT_STORE_ADD_REPLACE_EXISTING, nullptr));
    CertCloseStore(my, 0);
    encoded_.assign(made->pbCertEncoded, made->pbCertEncoded + made->cbCertEncoded);
    BYTE hash[32];
    DWORD size = sizeof(hash);
    CryptHashCertificate2(L"SHA256", 0, nullptr, made->pbCertEncoded, made->cbCertEncoded, hash, &size);
    thumbprint = HexUpper(Bytes(hash, hash + size));
    CertFreeCertificateContext(made);
  }
  TestCertificate(const TestCertificate&) = delete;
  TestCertificate& operator=(const TestCertificate&) = delete;
  ~TestCertificate() {
    const HCERTSTORE my = CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"MY");
    PCCERT_CONTEXT own = CertCreateCertificateContext(X509_ASN_ENCODING, encoded_.data(), static_cast<DWORD>(encoded_.size()));
    PCCERT_CONTEXT stored = CertFindCertificateInStore(my, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, own, nullptr);
    if (stored != nullptr) CertDeleteCertificateFromStore(stored);
    CertFreeCertificateContext(own);
    CertCloseStore(my, 0);
    HCRYPTPROV provider = 0;
    CryptAcquireContextW(&provider, container_.c_str(), MS_ENH_RSA_AES_PROV_W, PROV_RSA_AES, CRYPT_DELETEKEYSET);
  }

  std::string Pem() const {
    DWORD n = 0;
    CryptBinaryToStringA(encoded_.data(), static_cast<DWORD>(encoded_.size()), CRYPT_STRING_BASE64HEADER, nullptr, &n);
    std::string pem(n, '\0');
    CryptBinaryToStringA(encoded_.data(), static_cast<DWORD>(encoded_.size()), CRYPT_STRING_BASE64HEADER, pem.data(), &n);
    pem.resize(n);
    return pem;
  }

  std::string thumbprint;

 private:
  static inline int made_ = 0;
  std::wstring container_ = L"korvane-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++made_);
  Bytes encoded_;
};

// What a client checks: the signed lines the signscope names, found by name in the file (UTF-16LE
// with a byte-order mark), each with CR LF, then the signscope line, CR LF and one NUL. And the
// signature after its 12-byte header.
struct Rebuilt {
  std::string content, signature;
};

Rebuilt RebuildFromFile(const std::string& file) {
  const std::wstring text(reinterpret_cast<const wchar_t*>(file.data() + 2), (file.size() - 2) / 2);
  std::vector<std::wstring> lines;
  for (size_t at = 0, end; (end = text.find(L"\r\n", at)) != std::wstring::npos; at = end + 2) {
    lines.push_back(text.substr(at, end - at));
  }
  std::wstring scope, signature, content;
  for (const std::wstring& line : lines) {
    if (line.starts_with(L"signscope:s:")) scope = line;
    if (line.starts_with(L"signature:s:")) signature = line.substr(12);
  }
  for (size_t at = 12, end = 0; at < scope.size(); at = end + 1) {
    end = std::min(scope.find(L',', at), scope.size());
    const std::wstring name = scope.substr(at, end - at) + L":";
    for (const std::wstring& line : lines) {
      if (CompareStringOrdinal(line.c_str(), static_cast<int>(std::min(line.size(), name.size())), name.c_str(),
                               static_cast<int>(name.size()), TRUE) == CSTR_EQUAL) {
        content += line + L"\r\n";
      }
    }
  }
  content += scope + L"\r\n" + std::wstring(1, L'\0');
  DWORD n = 0;
  CryptStringToBinaryW(signature.c_str(), 0, CRYPT_STRING_BASE64, nullptr, &n, nullptr, nullptr);
  std::string blob(n, '\0');
  CryptStringToBinaryW(signature.c_str(), 0, CRYPT_STRING_BASE64, reinterpret_cast<BYTE*>(blob.data()), &n, nullptr, nullptr);
  EXPECT_EQ(blob.substr(0, 8), std::string("\x01\x00\x01\x00\x01\x00\x00\x00", 8));
  return {std::string(reinterpret_cast<const char*>(content.data()), content.size() * 2), blob.substr(std::min<size_t>(12, n))};
}

// Runs the machine's openssl (a Linux program Wine starts by its Z: path) in a folder under
// /tmp. Wine gives back no exit code for it, so the shell writes it to a file, last. Returns
// what openssl said and "rc=" its exit code.
std::string OpensslVerify(const Rebuilt& rebuilt, const std::string& pem) {
  const std::string unix = "/tmp/korvane-signing-" + std::to_string(GetCurrentProcessId()) + "/";
  const std::string dos = testing::Dos(unix);
  CreateDirectoryW(Widen(dos).c_str(), nullptr);
  WriteAll(dos + "content.bin", rebuilt.content);
  WriteAll(dos + "signature.der", rebuilt.signature);
  WriteAll(dos + "certificate.pem", pem);
  std::wstring command = Widen("sh -c \"cd " + unix + " && openssl cms -verify -inform der -in signature.der -binary"
                               " -content content.bin -CAfile certificate.pem -purpose any -out /dev/null"
                               " >out.txt 2>&1; echo $? >rc.tmp; mv rc.tmp rc.txt\"");
  STARTUPINFOW startup{sizeof(startup)};
  PROCESS_INFORMATION process{};
  if (CreateProcessW(L"Z:\\bin\\sh", command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    // A deadline for failure, not a measure of speed.
    for (int i = 0; i < 600 && !testing::Exists(dos + "rc.txt"); ++i) Sleep(50);
  }
  const std::string said = ReadAll(dos + "out.txt") + "rc=" + ReadAll(dos + "rc.txt");
  for (const char* name : {"rc.txt", "out.txt", "content.bin", "signature.der", "certificate.pem"}) {
    DeleteFileW(Widen(dos + name).c_str());
  }
  RemoveDirectoryW(Widen(dos).c_str());
  return said;
}

void SetSetting(const std::string& value) {
  if (value.empty()) {
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kSettingsKey, kSigningCertificateValue);
    return;
  }
  const std::wstring wide = Widen(value);
  RegSetKeyValueW(HKEY_CURRENT_USER, kSettingsKey, kSigningCertificateValue, REG_SZ, wide.c_str(),
                  static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
}

// The stand-in client installed as the system's mstsc.exe, the connection file in a folder of
// the test's own, and the setting removed at the end.
class SignedLaunch : public ::testing::Test {
 protected:
  void SetUp() override {
    CreateDirectoryW(Widen(temp_).c_str(), nullptr);
    CreateDirectoryW(Widen(log_).c_str(), nullptr);
    ASSERT_TRUE(CopyFileA(testing::Dos(KORVANE_TEST_CLIENT).c_str(), testing::SystemClientPath().c_str(), FALSE));
  }
  void TearDown() override {
    SetSetting("");
    DeleteFileA(testing::SystemClientPath().c_str());
    for (const std::string& folder : {log_, temp_}) {
      for (const char* name : {"text.rdp", "command_line.txt", "module.txt", "done.txt"}) DeleteFileW(Widen(folder + name).c_str());
      RemoveDirectoryW(Widen(folder).c_str());
    }
  }

  // Connects and returns the file the client got; any message box is noted and answered.
  std::string Connect() {
    DeleteFileW(Widen(log_ + "done.txt").c_str());
    shown_.clear();
    testing::WindowWatcher boxes{L"#32770", [this](HWND box) {
                                   shown_ = testing::MessageBoxText(box);
                                   testing::PressMessageBoxButton(box, IDOK);
                                 }};
    ConnectToServer(form_, platform_);
    EXPECT_TRUE(testing::WaitForClientRecord(log_));
    testing::WaitForClientExit(log_);
    return ReadAll(log_ + "text.rdp");
  }

  std::string base_ = testing::Dos("/tmp/") + "korvane-signed-" + std::to_string(GetCurrentProcessId());
  std::string temp_ = base_ + "-temp\\", log_ = base_ + "-log\\";
  testing::EnvOverride tmp_{"TMP", temp_}, tempVariable_{"TEMP", temp_}, logVariable_{"KORVANE_TEST_CLIENT_LOG", log_};
  testing::FakeForm form_ = testing::OpenedMainWindow("10.20.30.40", "3389", "管理员", "Secr3t");
  Win32Platform platform_;
  std::wstring shown_;
};

TEST_F(SignedLaunch, TheClientGetsAFileWhoseSignatureOpensslAccepts) {
  form_.SetChecked(Id(MainControl::选择框_磁盘), true);
  TestCertificate certificate(2020, 2090, true);
  SetSetting(certificate.thumbprint);
  const std::string file = Connect();
  EXPECT_EQ(shown_, L"");
  ASSERT_EQ(file.substr(0, 2), "\xFF\xFE");
  const std::wstring text(reinterpret_cast<const wchar_t*>(file.data() + 2), (file.size() - 2) / 2);
  EXPECT_NE(text.find(L"\r\nusername:s:管理员\r\n"), std::wstring::npos);
  EXPECT_NE(text.find(L"\r\nalternate full address:s:10.20.30.40:3389\r\nsignscope:s:Full Address,Alternate Full "
                      L"Address,AutoReconnection Enabled,RedirectSmartCards,RedirectClipboard,DevicesToRedirect,"
                      L"DrivesToRedirect\r\nsignature:s:"),
            std::wstring::npos);
  const std::string verified = OpensslVerify(RebuildFromFile(file), certificate.Pem());
  EXPECT_NE(verified.find("Verification successful\nrc=0\n"), std::string::npos) << verified;

  std::string changed = file;
  const std::wstring end = L"40:3389";  // the full address's end, its first place in the file
  const size_t at = changed.find(std::string(reinterpret_cast<const char*>(end.data()), end.size() * 2));
  ASSERT_NE(at, std::string::npos);
  changed[at + 2] = '1';
  const std::string refused = OpensslVerify(RebuildFromFile(changed), certificate.Pem());
  EXPECT_NE(refused.find("Verification failure"), std::string::npos) << refused;
  EXPECT_EQ(refused.find("rc=0"), std::string::npos) << refused;
}

TEST_F(SignedLaunch, WithoutAUsableCertificateTheMessageComesAndTheFileIsUnsigned) {
  TestCertificate expired(2000, 2001, true), keyless(2020, 2090, false);
  for (const std::string& thumbprint : {expired.thumbprint, keyless.thumbprint, std::string(64, '0'), std::string("x")}) {
    SetSetting(thumbprint);
    const std::string file = Connect();
    EXPECT_EQ(shown_, L"无法签名连接文件，本次以未签名方式连接。") << thumbprint;
    EXPECT_EQ(file.rfind("screen mode id:i:1\r\n", 0), 0u) << thumbprint;
    EXPECT_EQ(file.find("signscope"), std::string::npos);
  }
  SetSetting("");
  Connect();
  EXPECT_EQ(shown_, L"");
}

// ---- korvane-data signing-certificate ---------------------------------------------------

struct ToolRun {
  DWORD code = 99;
  std::string out;
};

ToolRun RunTool(const std::string& arguments) {
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  CreatePipe(&readEnd, &writeEnd, &inherit, 0);
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{sizeof(startup)};
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = startup.hStdError = writeEnd;
  std::wstring command = Widen("korvane-data " + arguments);
  PROCESS_INFORMATION process{};
  ToolRun run;
  if (CreateProcessW(Widen(testing::Dos(KORVANE_DATA_EXE)).c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                     nullptr, &startup, &process)) {
    CloseHandle(writeEnd);
    char buffer[4096];
    DWORD n = 0;
    while (ReadFile(readEnd, buffer, sizeof(buffer), &n, nullptr) && n > 0) run.out.append(buffer, n);
    WaitForSingleObject(process.hProcess, 30000);
    GetExitCodeProcess(process.hProcess, &run.code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
  }
  CloseHandle(readEnd);
  return run;
}

TEST(SigningCertificateTool, ListsSetsAndTurnsOff) {
  TestCertificate usable(2020, 2090, true), expired(2000, 2001, true), keyless(2020, 2090, false);
  const ToolRun list = RunTool("signing-certificate list");
  EXPECT_EQ(list.code, 0u);
  EXPECT_NE(list.out.find(" " + usable.thumbprint + "  2090-01-01 00:00:00 UTC  CN=Korvane Test\r\n"), std::string::npos)
      << list.out;
  EXPECT_EQ(list.out.find(expired.thumbprint), std::string::npos);
  EXPECT_EQ(list.out.find(keyless.thumbprint), std::string::npos);

  std::string spaced = usable.thumbprint;  // as copied from the certificate dialog: lower case, blanks
  for (size_t i = 62; i > 0; i -= 2) spaced.insert(i, " ");
  for (char& c : spaced) c = static_cast<char>(tolower(c));
  EXPECT_EQ(RunTool("signing-certificate set \"" + spaced + "\"").code, 0u);
  EXPECT_EQ(ReadSigningCertificateSetting(), usable.thumbprint);
  EXPECT_EQ(RunTool("signing-certificate list").out.find("*" + usable.thumbprint), 0u);
  for (const std::string& refused : {keyless.thumbprint, expired.thumbprint}) {
    EXPECT_EQ(RunTool("signing-certificate set " + refused).code, 1u);
  }
  EXPECT_EQ(RunTool("signing-certificate set 12AB").code, 2u);
  EXPECT_EQ(ReadSigningCertificateSetting(), usable.thumbprint);
  EXPECT_EQ(RunTool("signing-certificate off").code, 0u);
  EXPECT_EQ(ReadSigningCertificateSetting(), "");
  EXPECT_EQ(RunTool("signing-certificate off").code, 0u);

  for (const char* help : {"--help", "list --help", "set --help", "off --help"}) {
    const ToolRun run = RunTool(std::string("signing-certificate ") + help);
    EXPECT_EQ(run.code, 0u) << help;
    EXPECT_EQ(run.out.find("usage: korvane-data signing-certificate"), 0u) << help;
  }
  EXPECT_EQ(RunTool("signing-certificate").code, 2u);
  EXPECT_EQ(RunTool("signing-certificate list extra").code, 2u);
}

}  // namespace
}  // namespace korvane
