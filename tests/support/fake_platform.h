// A Platform that records what the program asked of the system and answers message boxes
// from a script. Files are the real file system, so tests use real data files.
#pragma once

#include <deque>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace korvane::testing {

struct ShownMessage {
  std::string text;
  std::string caption;
  MessageButtons buttons;
  MessageIcon icon;
};

struct WrittenFile {
  std::string path;
  std::string text;
};

class FakePlatform : public Platform {
 public:
  MessageAnswer ShowMessage(const std::string& text, const std::string& caption,
                            MessageButtons buttons, MessageIcon icon) override;
  void OpenWithShell(const std::string& target) override { shellTargets.push_back(target); }
  void EndProgram(int exitCode) override {
    ++endProgramCalls;
    lastExitCode = exitCode;
  }
  bool PathExists(const std::string& path) override;
  std::string ExecutablePath() override { return executablePath; }
  Point CursorPosition() override { return cursor; }
  void ShowBusyPointer(bool) override {}
  std::string TempDirectory() override { return tempDirectory; }
  std::string ProtectPasswordHex(const std::string& password) override;
  bool FitsCodePage936(const std::string& text) override { return outsideCodePage936.count(text) == 0; }
  bool WriteConnectionFile(const std::string& path, const std::string& text) override;
  bool LaunchClient(const std::string& commandLine) override;
  // Connection files are never signed here: signing is tested on the real platform under Wine.
  std::string SigningCertificate() override { return {}; }
  std::vector<unsigned char> SignWithCertificate(const std::string&, const std::vector<unsigned char>&) override {
    return {};
  }
  bool WriteConnectionFileBytes(const std::string&, const std::vector<unsigned char>&) override { return false; }
  std::vector<std::string> ChooseFilesToOpen(const std::string& title,
                                             const std::vector<FileFilter>& filters) override;

  // Answers for the next message boxes, in order; Ok or Yes when the script runs out.
  std::deque<MessageAnswer> answers;
  std::vector<ShownMessage> messages;
  std::vector<std::string> shellTargets;
  int endProgramCalls = 0;
  int lastExitCode = -1;
  std::string executablePath = "C:\\korvane\\korvane.exe";
  Point cursor{};
  std::string tempDirectory = "C:\\Temp\\";
  // What ProtectPasswordHex returns; "" stands for a failed protection.
  std::string protectedHex = "0A0B";
  std::vector<std::string> protectedPasswords;
  // Texts the code page cannot hold; every other text fits.
  std::set<std::string> outsideCodePage936;
  bool writeSucceeds = true;
  std::vector<WrittenFile> writtenFiles;
  bool launchSucceeds = true;
  std::vector<std::string> launchedCommandLines;
  // The open-file dialog: what the operator chooses (empty: cancels), and each showing.
  std::vector<std::string> chosenFiles;
  struct FileDialog {
    std::string title;
    std::vector<FileFilter> filters;
  };
  std::vector<FileDialog> fileDialogs;
};

}  // namespace korvane::testing
