// The connect: from the main window's detail fields and options to a running Remote Desktop
// client on a freshly written connection file.
#pragma once

#include "launch/rdp_file.h"
#include "platform/platform.h"
#include "ui/form.h"

namespace korvane {

// The four detail fields, the resolution list's current text and the display options, as
// the main window holds them now.
ConnectionSettings ReadConnectionSettings(const Form& mainWindow);

// Bound to 连接 and to a double click on the server list. Checks the fields, writes
// TempDirectory + "text.rdp" and starts the client on it, as a console session when
// 真实桌面 is checked. Refusals are shown as messages, and so are a file that could not be
// written (the client is then not started) and a client that could not be started. A failed
// protection of the password is not reported: the file then holds an empty password value.
// With a signing certificate set (Platform::SigningCertificate), the file is signed and
// written in UTF-16LE; when it cannot be signed, a message says so and the unsigned file of
// old goes to the client.
void ConnectToServer(Form& mainWindow, Platform& platform);

inline constexpr const char* kMissingFieldsMessage = "该填的还没填完整,填完了再说!";
inline constexpr const char* kControlCharacterMessage = "主机、端口和用户名中不能含有换行等控制字符!";
inline constexpr const char* kNoResolutionMessage = "请先选择分辨率!";
inline constexpr const char* kOutsideCodePageMessage = "主机、端口和用户名中含有无法写入连接文件的字符!";
inline constexpr const char* kFileNotWrittenMessage = "无法写入连接文件，本次连接已取消!";
inline constexpr const char* kClientNotStartedMessage = "无法启动远程桌面连接程序!";
inline constexpr const char* kUnsignedConnectMessage = "无法签名连接文件，本次以未签名方式连接。";

}  // namespace korvane
