// The main window's handlers: the server list, the detail fields, the option controls, and
// the commands of its menu and buttons.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "servers/editor_window.h"
#include "store/protection.h"
#include "store/store.h"
#include "ui/form.h"
#include "servers/main_controls.h"

namespace korvane {

// Which server the editor changes: its id, or 0 for a new one.
inline int CurrentServerId = 0;

inline constexpr const char* kDeleteQuestion = "确认删除服务器？";
inline constexpr const char* kDeleteFailedMessage = "删除失败!服务器仍在列表中.";
inline constexpr const char* kPasswordChangedMessage = "密码已更新";
inline constexpr const char* kEmptyPasswordMessage = "新密码为空，密码未更改。";
inline constexpr const char* kPasswordChangeFailedMessage = "密码更新失败，原密码仍然有效!";
inline constexpr const char* kUnopenedServersIntro =
    "以下服务器的密码无法解开，请先用“修改”重新输入它们的密码，再更改登录密码：";
inline constexpr const char* kDropWhileOpenMessage =
    "另一个窗口（导入预览或服务器编辑）还开着，请先完成或关闭它，再拖入文件。";
inline constexpr const char* kChangedFileMessage =
    "数据文件已被其他程序改动，服务器列表已重新载入。请再次选择服务器。";
inline constexpr const char* kSealedPasswordMessage =
    "无法解开此服务器的密码：数据文件中的密文或主机已被改动，或不是用当前登录密码加密的。";

class MainWindow : public EventSink {
 public:
  // The session says whether the file is protected and holds its keys; without one the file
  // is taken as plain.
  MainWindow(Form& form, Platform& platform, EditorOpener& editors, LoginSession& session);
  MainWindow(Form& form, Platform& platform, EditorOpener& editors)
      : MainWindow(form, platform, editors, ownSession_) {}

  void OnEvent(const Event& event) override;

  void OnMainWindowCreated();
  // Opens 数据库连接 on the file in the program's folder and binds 记录集 to it; false when the
  // file cannot be opened.
  bool OpenMainDatabase(const std::string& fileName);
  void LoadServerList();
  void FillDetailsFromRow();
  void ShowListMenu();
  void ClearDetails();
  void OnFullScreenClicked();
  void OnWindowedClicked();
  // Places another window centred over this one.
  void CentreOnMainWindow(Form& window) const;

  void OpenEditorForAdd();
  void OpenEditorForModify();
  // Asks, then deletes the current row's server and rebuilds the list.
  void DeleteServer();
  // The two display states: Details (the detail group shown) and Password entry (the three
  // password-change controls shown in its place).
  void ShowPasswordBox();
  void ChangeLoginPassword();
  void ShowAbout();
  // Previews importing the files or folders and, once written, lists the servers anew with the
  // first new one selected and says how many were added.
  void ImportFiles(const std::vector<std::string>& paths);
  // 导入…: the system's file dialog, then ImportFiles.
  void ChooseImportFiles();
  void ExitProgram();

  Form& form() { return form_; }
  DBConnection& connection() { return 数据库连接; }
  RecordSet& records() { return 记录集; }
  LoginSession& session() { return session_; }
  // Shows that a sealed server password did not open.
  void ReportSealedPassword();
  // Empties the details, says that another program changed the data file and lists it anew.
  void ReportChangedFile(const char* message = kChangedFileMessage);
  // True while the file is protected (or plain) as at the login; otherwise ReportChangedFile.
  bool FileAsAtLogin();
  // After a failed read or write: for a team's servers, says why (another operator's change
  // lists them anew) and gives true; false for the data file's own, whose callers say it.
  bool ReportTeamFailure();
  // Merges what other members of the team changed into the list, keeping the operator's
  // selected server and scroll place; nothing for a file's own list. Never waits for the
  // database: the question goes to it, and its answer is merged when it comes.
  void RefreshTeamList();

 private:
  void Connect();
  // False, after saying so, for a member of a team who may only read, or when the team's
  // database did not answer.
  bool MayChangeServers();
  void MergeTeamChanges(const DBConnection::ListChanges& changes);
  // The list's caption as the team's list is now: live, or the file's copy and of when.
  void ShowTeamState();
  // The details of the list's row `row`, read from the store now; false when they could not be
  // shown. `quiet`: for a refresh, which says nothing and leaves the boxes alone when the store
  // cannot answer.
  bool FillDetails(int row, bool quiet);
  // Whether the boxes still hold what FillDetails put there: nothing typed over it since.
  bool DetailsAsFilled() const;
  // Where a server of this id stands in the list, or would; its row, or -1.
  int ListPlace(long long id) const;
  int ListRowOf(long long id) const;
  // The details of the server they show, read again quietly; empty when it is gone.
  void RefillDetails();
  // Runs the editor or the import preview over the window.
  void OverTheWindow(const std::function<void()>& run);
  void ShowDetails();
  void StartProtectedChange(const std::string& password);
  void ConcludePasswordChange(bool stored, const std::vector<ServerName>& unopened);
  void Inform(const char* text);

  Form& form_;
  Platform& platform_;
  EditorOpener& editors_;
  LoginSession ownSession_;
  LoginSession& session_;
  DBConnection 数据库连接;
  RecordSet 记录集;
  // While a protected file's new key is derived.
  bool changing_ = false;
  // While a thread waits for the answer to the refresh's question.
  bool refreshWaiting_ = false;
  // The caption shown: whether the list is the file's copy, and the copy's time.
  std::optional<long long> offlineShown_;
  bool captionShown_ = false;
  // The server the details were filled from, and what was put in the boxes.
  struct Filled {
    long long id = 0;
    std::string host, port, user, password;
    void Keep(long long server, std::string h, std::string p, std::string u, const std::string& pw);
    void Clear();
    ~Filled();
  };
  Filled filled_;
  // While the editor or the import preview is open over the window; and whether a refresh
  // meanwhile changed the server the details show.
  bool windowOpen_ = false;
  bool detailsBehind_ = false;
};

}  // namespace korvane
