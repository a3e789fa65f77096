#include "launch/connect.h"

#include "launch/rdp_signing.h"
#include "servers/main_controls.h"

namespace korvane {
namespace {

constexpr const char* kFileName = "text.rdp";

// Overwrites the password text in place before the string gives its memory back. Through a
// volatile pointer so the stores are not dropped as dead.
void Wipe(std::string& secret) {
  volatile char* p = secret.data();
  for (size_t i = 0; i < secret.size(); ++i) p[i] = 0;
  secret.clear();
}

void Inform(Platform& platform, const char* text) {
  platform.ShowMessage(text, kDefaultMessageCaption, MessageButtons::Ok, MessageIcon::None);
}

// The file signed with the certificate the setting names, or nothing when it cannot be.
std::vector<unsigned char> SignedFile(const std::string& text, const std::string& thumbprint, Platform& platform) {
  const std::optional<RdpSigning> signing = PrepareRdpSigning(text);
  if (!signing) return {};
  const std::vector<unsigned char> signature = platform.SignWithCertificate(thumbprint, signing->content);
  if (signature.empty()) return {};
  return SignedRdpFile(*signing, SignatureLine(signature));
}

}  // namespace

ConnectionSettings ReadConnectionSettings(const Form& w) {
  using C = MainControl;
  ConnectionSettings s;
  s.host = w.Text(Id(C::编辑框_Host));
  s.port = w.Text(Id(C::编辑框_端口));
  s.user = w.Text(Id(C::编辑框_用户名));
  s.password = w.Text(Id(C::编辑框_密码));
  s.resolution = w.ComboText(Id(C::组合框_分辨率));
  s.fullScreen = w.Checked(Id(C::单选框_全屏));
  s.windowed = w.Checked(Id(C::单选框_窗口));
  s.mapDisks = w.Checked(Id(C::选择框_磁盘));
  s.reconnect = w.Checked(Id(C::选择框_重连));
  return s;
}

void ConnectToServer(Form& mainWindow, Platform& platform) {
  ConnectionSettings settings = ReadConnectionSettings(mainWindow);
  // The settings' copy of the password is wiped on every way out of the connect. Copies made
  // elsewhere, such as the edit box's read buffer, are not this function's to wipe.
  struct PasswordWiper {
    std::string& password;
    ~PasswordWiper() { Wipe(password); }
  } wiper{settings.password};

  if (!CheckRequiredFields(settings)) {
    Inform(platform, kMissingFieldsMessage);
    return;
  }
  // A line break in host, port or user would end its line early and let the rest of the field
  // stand in the file as lines of its own. The password is not checked: it reaches the file
  // only as the hexadecimal of its protected form, so any character is safe there.
  if (HasControlCharacters(settings)) {
    Inform(platform, kControlCharacterMessage);
    return;
  }
  // The file holds code page 936 bytes: a character without one would turn into "?" and send
  // the client to another host or user.
  if (!platform.FitsCodePage936(settings.host) || !platform.FitsCodePage936(settings.port) ||
      !platform.FitsCodePage936(settings.user)) {
    Inform(platform, kOutsideCodePageMessage);
    return;
  }
  // The list always has a current item once the window is up; without one there is no
  // width and height to give the client.
  if (SplitResolution(settings.resolution).size() < 2) {
    Inform(platform, kNoResolutionMessage);
    return;
  }

  const std::string passwordHex = platform.ProtectPasswordHex(settings.password);
  const std::string path = platform.TempDirectory() + kFileName;
  const std::string text = BuildRdpText(settings, passwordHex);
  // Signing is the administrator's choice; without the setting the file is exactly as it
  // always was. A signing that fails costs the operator the client's security dialog, not
  // the connect.
  std::vector<unsigned char> signedFile;
  const std::string thumbprint = platform.SigningCertificate();
  if (!thumbprint.empty()) {
    signedFile = SignedFile(text, thumbprint, platform);
    if (signedFile.empty()) Inform(platform, kUnsignedConnectMessage);
  }
  // A file not written whole (a read-only text.rdp left by an earlier connect, a full disk)
  // holds an earlier server's settings or only part of this one's: no client on it.
  const bool written = signedFile.empty() ? platform.WriteConnectionFile(path, text)
                                          : platform.WriteConnectionFileBytes(path, signedFile);
  if (!written) {
    Inform(platform, kFileNotWrittenMessage);
    return;
  }

  // The client splits its command line at blanks, so a path with one (a profile named
  // "John Smith") is quoted; any other path goes in bare, as it always has. /admin is what
  // opens the console session: the client has ignored /console since 2008.
  std::string commandLine = "mstsc ";
  commandLine += path.find(' ') == std::string::npos ? path : '"' + path + '"';
  if (mainWindow.Checked(Id(MainControl::单选框_真实桌面))) commandLine += " /admin";
  if (!platform.LaunchClient(commandLine)) Inform(platform, kClientNotStartedMessage);
}

}  // namespace korvane
