// The real Platform over Win32. The connect's pieces (temporary directory, data protection,
// the connection file, its signature and the client's start) live in launch/*_win32.cpp.
#pragma once

#include "platform/platform.h"

namespace korvane {

class Win32Platform : public Platform {
 public:
  MessageAnswer ShowMessage(const std::string& text, const std::string& caption, MessageButtons buttons,
                            MessageIcon icon) override;
  void OpenWithShell(const std::string& target) override;
  void EndProgram(int exitCode) override;
  bool PathExists(const std::string& path) override;
  std::string ExecutablePath() override;
  Point CursorPosition() override;
  void ShowBusyPointer(bool busy) override;
  std::string TempDirectory() override;
  std::string ProtectPasswordHex(const std::string& password) override;
  bool FitsCodePage936(const std::string& text) override;
  bool WriteConnectionFile(const std::string& path, const std::string& text) override;
  bool LaunchClient(const std::string& commandLine) override;
  std::string SigningCertificate() override;
  std::vector<unsigned char> SignWithCertificate(const std::string& thumbprint,
                                                 const std::vector<unsigned char>& content) override;
  bool WriteConnectionFileBytes(const std::string& path, const std::vector<unsigned char>& bytes) override;
  std::vector<std::string> ChooseFilesToOpen(const std::string& title,
                                             const std::vector<FileFilter>& filters) override;
};

}  // namespace korvane
