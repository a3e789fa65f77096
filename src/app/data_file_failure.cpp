#include "app/data_file_failure.h"

#include "app/program.h"

namespace korvane {

std::string MissingDataFileMessage(const std::string& path) {
  return path + "失踪!\r\n请检查系统的完整性!本次运行将取消.";
}

std::string UnopenableDataFileMessage(const std::string& path) {
  return path + "打开失败!\r\n请系统管理员检查原因.本次运行将取消.";
}

void EndAfterDataFileFailure(Platform& platform, const std::string& message) {
  platform.ShowMessage(message, kDefaultMessageCaption, MessageButtons::Ok, MessageIcon::None);
  platform.OpenWithShell(kWebAddress);
  platform.EndProgram();
}

}  // namespace korvane
