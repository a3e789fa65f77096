#include "support/fake_platform.h"

#include <filesystem>

namespace korvane::testing {

MessageAnswer FakePlatform::ShowMessage(const std::string& text, const std::string& caption,
                                        MessageButtons buttons, MessageIcon icon) {
  messages.push_back({text, caption, buttons, icon});
  if (!answers.empty()) {
    const MessageAnswer answer = answers.front();
    answers.pop_front();
    return answer;
  }
  return buttons == MessageButtons::YesNo ? MessageAnswer::Yes : MessageAnswer::Ok;
}

bool FakePlatform::PathExists(const std::string& path) {
  std::error_code error;
  return std::filesystem::exists(std::filesystem::u8path(path), error);
}

std::string FakePlatform::ProtectPasswordHex(const std::string& password) {
  protectedPasswords.push_back(password);
  return protectedHex;
}

bool FakePlatform::WriteConnectionFile(const std::string& path, const std::string& text) {
  writtenFiles.push_back({path, text});
  return writeSucceeds;
}

bool FakePlatform::LaunchClient(const std::string& commandLine) {
  launchedCommandLines.push_back(commandLine);
  return launchSucceeds;
}

std::vector<std::string> FakePlatform::ChooseFilesToOpen(const std::string& title,
                                                         const std::vector<FileFilter>& filters) {
  fileDialogs.push_back({title, filters});
  return chosenFiles;
}

}  // namespace korvane::testing
