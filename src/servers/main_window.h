// The main window's handlers: the server list, the detail fields and the option controls.
#pragma once

#include <string>

#include "platform/platform.h"
#include "store/store.h"
#include "ui/form.h"
#include "servers/main_controls.h"

namespace korvane {

// Which server the editor changes: its id, or 0 for a new one.
inline int CurrentServerId = 0;

class MainWindow : public EventSink {
 public:
  MainWindow(Form& form, Platform& platform);

  void OnEvent(const Event& event) override;

  void OnMainWindowCreated();
  void OpenMainDatabase(const std::string& fileName);
  void LoadServerList();
  void FillDetailsFromRow();
  void ShowListMenu();
  void ClearDetails();
  void OnFullScreenClicked();
  void OnWindowedClicked();
  // Places another window centred over this one.
  void CentreOnMainWindow(Form& window) const;

  Form& form() { return form_; }
  DBConnection& connection() { return 数据库连接; }
  RecordSet& records() { return 记录集; }

 private:
  void Connect();

  Form& form_;
  Platform& platform_;
  DBConnection 数据库连接;
  RecordSet 记录集;
};

}  // namespace korvane
