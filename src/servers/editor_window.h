// The editor window's handlers: one window for adding a server and for changing one.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"
#include "servers/editor_controls.h"
#include "ui/form.h"

namespace korvane {

class MainWindow;

inline constexpr const char* kSaveFailedMessage = "保存失败!服务器信息未写入数据文件.";
// A team's server another member changed or deleted while it was being edited.
inline constexpr const char* kChangedWhileEditingMessage =
    "您编辑期间，其他操作员修改了此服务器，您的修改尚未保存。与窗口中您输入的不同之处：\r\n{0}\r\n"
    "再按“确认”将用您输入的内容覆盖这些修改；按“取消”则保留对方的修改。";
inline constexpr const char* kFieldDiffersLine = "  {0}：现为“{1}”\r\n";
inline constexpr const char* kPasswordDiffersLine = "  {0}：已改为另一个\r\n";
inline constexpr const char* kNoDifferenceLine = "  （没有不同：对方保存的与您输入的相同）\r\n";
inline constexpr const char* kDeletedWhileEditingMessage =
    "您编辑期间，其他操作员删除了此服务器，您的修改尚未保存。再按“确认”将把窗口中的内容作为新服务器添加；按“取消”则不添加。";

class EditorWindow : public EventSink {
 public:
  // Works through the main window's record set and list; has no database objects of its own.
  EditorWindow(Form& form, MainWindow& main, Platform& platform);

  void OnEvent(const Event& event) override;

  // Caption and, when a server is changed, its five values; centred on the main window with
  // the focus in the host box.
  void InitEditor();
  // Adds or changes the record, rebuilds the main window's list and closes. A write the data
  // file refuses is reported and the window stays open with everything as typed.
  void SaveServer();
  void CloseEditor();

 private:
  // Names what another member saved over the server being edited; the boxes keep what was typed.
  void ReportOtherChange();

  Form& form_;
  MainWindow& main_;
  Platform& platform_;
};

// Opens the main window's modal windows over the program's windows and returns once they are
// gone: the editor, and the import preview. The Win32 side makes the real windows; tests make
// recorded ones.
class EditorOpener {
 public:
  virtual ~EditorOpener() = default;
  virtual void RunEditor(MainWindow& main) = 0;
  // The preview of importing the files or folders; `added` gets the ids of the servers
  // written, and stays empty when nothing was.
  virtual void RunImport(MainWindow& main, const std::vector<std::string>& paths, std::vector<long long>& added) = 0;
};

}  // namespace korvane
