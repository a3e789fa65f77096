#include "servers/main_window.h"

#include <algorithm>
#include <charconv>
#include <ctime>
#include <memory>
#include <unordered_set>

#include "app/data_file_failure.h"
#include "app/program.h"
#include "launch/connect.h"
#include "servers/import_window.h"
#include "servers/team_messages.h"
#include "store/schema.h"
#include "store/sqlite_util.h"
#include "text/bilingual.h"

namespace korvane {
namespace {

using C = MainControl;
constexpr ControlId kList = Id(C::超级列表框1);

// The refusal, and the servers whose passwords stand in its way, so that the operator can
// type each anew with 修改 and try again.
std::string UnopenedServersMessage(const std::vector<ServerName>& servers) {
  std::string text = std::string(kPasswordChangeFailedMessage) + "\r\n" + kUnopenedServersIntro;
  for (const ServerName& server : servers) text += "\r\n" + server.remark + "（" + server.host + "）";
  return text;
}

// The list's column 0 holds the record's id as decimal digits. It is bound as an integer when
// it is one and as text otherwise, which then matches no row.
SqlValue IdValue(const std::string& text) {
  long long id = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), id);
  if (error == std::errc() && end == text.data() + text.size() && !text.empty()) return id;
  return text;
}

}  // namespace

MainWindow::MainWindow(Form& form, Platform& platform, EditorOpener& editors, LoginSession& session)
    : form_(form), platform_(platform), editors_(editors), session_(session) {}

void MainWindow::OnEvent(const Event& event) {
  switch (event.kind) {
    case EventKind::Created:
      OnMainWindowCreated();
      break;
    case EventKind::LeftClick:
      if (event.control == kList) FillDetailsFromRow();
      break;
    case EventKind::RightClick:
      if (event.control == kList) ShowListMenu();
      break;
    case EventKind::DoubleClick:
      if (event.control == kList) Connect();
      break;
    case EventKind::Clicked:
      if (event.control == Id(C::单选框_全屏)) OnFullScreenClicked();
      if (event.control == Id(C::单选框_窗口)) OnWindowedClicked();
      if (event.control == Id(C::按钮3)) ClearDetails();
      if (event.control == Id(C::按钮1)) Connect();
      if (event.control == Id(C::按钮4)) ShowPasswordBox();
      if (event.control == Id(C::改密码按钮)) ChangeLoginPassword();
      if (event.control == Id(C::按钮2)) ExitProgram();
      break;
    case EventKind::Timer:
    case EventKind::Activated:
      RefreshTeamList();
      break;
    case EventKind::MenuItem:
      // The editor and the delete write the servers the change is about to reseal, and their
      // boxes would stand open under the change's message: they are ignored until it has ended.
      if (changing_ && event.control != Id(MainMenuItem::关于)) break;
      if (event.control == Id(MainMenuItem::添加)) OpenEditorForAdd();
      if (event.control == Id(MainMenuItem::修改)) OpenEditorForModify();
      if (event.control == Id(MainMenuItem::删除)) DeleteServer();
      if (event.control == Id(MainMenuItem::关于)) ShowAbout();
      if (event.control == Id(MainMenuItem::导入)) ChooseImportFiles();
      break;
    case EventKind::FilesDropped:
      if (changing_) break;
      // The window is disabled under the editor or the preview, but Windows still hands it a
      // drop: a second preview over the first would import from two windows at once.
      if (windowOpen_) {
        Inform(kDropWhileOpenMessage);
        break;
      }
      ImportFiles(form_.DroppedFiles());
      break;
    default:
      break;
  }
}

void MainWindow::OnMainWindowCreated() {
  // The login checked the file moments ago; this catches one that vanished since.
  if (!platform_.PathExists(DataFilePath())) {
    platform_.ShowMessage("数据文件不存在!", kDefaultMessageCaption, MessageButtons::Ok, MessageIcon::None);
    platform_.EndProgram();
    return;
  }
  form_.SetChecked(Id(C::单选框_窗口), true);
  // The file turned unreadable or read-only since the login: an empty list whose saves would
  // all be lost is worse than the login's own report and end.
  if (!OpenMainDatabase(kDataFileName)) {
    EndAfterDataFileFailure(platform_, UnopenableDataFileMessage(DataFilePath()));
    return;
  }
  // A team's list that cannot be opened ends the run like a file that cannot: an empty list
  // would pass for the team's.
  TeamError why;
  const auto opening = 数据库连接.OpenTeam(session_, why);
  switch (opening) {
    case DBConnection::TeamOpening::kFailed:
      EndAfterDataFileFailure(platform_, TeamUnopenableMessage(数据库连接.TeamServerName(), why));
      return;
    case DBConnection::TeamOpening::kOpened:
    case DBConnection::TeamOpening::kOffline:
      ShowTeamState();
      form_.StartTimer(kTeamRefreshMilliseconds);
      break;
    case DBConnection::TeamOpening::kNoTeam:
      break;
  }
  LoadServerList();
  // Said once, over the list it speaks of.
  if (opening == DBConnection::TeamOpening::kOffline) {
    Inform(TeamOfflineMessage(数据库连接.TeamServerName(), why, *数据库连接.TeamOfflineSince(), std::time(nullptr))
               .c_str());
  }
}

bool MainWindow::OpenMainDatabase(const std::string& fileName) {
  const bool opened = 数据库连接.OpenAccess(ProgramFilePath(fileName), DatabasePassword());
  记录集.SetConnection(数据库连接);
  return opened;
}

void MainWindow::LoadServerList() {
  // Only the four columns the list shows, in table order: the snapshot then holds no password
  // for as long as it stays open.
  const bool read = 记录集.OpenSql("select id, 备注, 服务器名, 端口 from Server order by rowid", {});
  // A team's database out of reach: the list stays as it was, and the operator is told.
  if (!read && ReportTeamFailure()) return;
  // Counted from the record count; -1 (the table cannot be read) leaves the list empty.
  const int count = 记录集.RecordCount();
  std::vector<std::vector<std::string>> rows;
  rows.reserve(static_cast<size_t>(std::max(count, 0)));
  for (int i = 0; i < count; ++i) {
    std::vector<std::string>& cells = rows.emplace_back();
    cells.reserve(4);
    for (const char* field : {"id", "备注", "服务器名", "端口"}) cells.push_back(记录集.ReadText(field));
    记录集.MoveNext();
  }
  // Handed over whole: operators keep thousands of servers.
  form_.ListSetRows(kList, std::move(rows));
}

void MainWindow::FillDetailsFromRow() {
  const int row = form_.ListCurrentRow(kList);
  if (row == -1) return;
  FillDetails(row, false);
}

bool MainWindow::FillDetails(int row, bool quiet) {
  const std::string id = form_.ListCell(kList, row, 0);
  std::string host = form_.ListCell(kList, row, 2), port = form_.ListCell(kList, row, 3);
  const bool team = 数据库连接.InTeam();
  if (!记录集.OpenSql("select * from Server where id=?", {IdValue(id)})) {
    // A refresh that cannot read leaves the boxes alone: a connect reads the server again.
    if (quiet && team) return false;
    if (ReportTeamFailure()) {
      ClearDetails();
      return false;
    }
  }
  const bool gone = 记录集.RecordCount() <= 0;
  if (!gone && team && session_.Matches(数据库连接.Handle())) {
    // The team's database is the one truth: a row the refresh has not brought up to date yet
    // is mended here, and the details are the server as it is now.
    const std::string remark = 记录集.ReadText("备注");
    host = 记录集.ReadText("服务器名");
    port = 记录集.ReadText("端口");
    if (form_.ListCell(kList, row, 1) != remark || form_.ListCell(kList, row, 2) != host ||
        form_.ListCell(kList, row, 3) != port) {
      form_.ListSetRow(kList, row, {id, remark, host, port});
    }
  } else if (!gone && (记录集.ReadText("服务器名") != host || 记录集.ReadText("端口") != port ||
                       !session_.Matches(数据库连接.Handle()))) {
    // Host and port come from the list, user name and password from the file now. Should the
    // file hold another host or port for this id, or have been protected or unprotected since
    // the login, the two halves would make up a server that does not exist: a password beside
    // a host it was never meant for.
    if (quiet) return false;
    ReportChangedFile(kChangedFileMessage);
    return false;
  }
  // A team's server another member deleted: nothing is left to show or to connect to.
  if (gone && team) {
    if (quiet) {
      ClearDetails();
    } else {
      ReportChangedFile(kChangedByAnotherMessage);
    }
    return false;
  }
  form_.SetText(Id(C::编辑框_Host), host);
  form_.SetText(Id(C::编辑框_端口), port);
  // A team's password that does not open leaves its box empty, and the operator is told to
  // type it again: the host, port and user are the row's own.
  if (!gone && team && 数据库连接.TeamFailure().reason == TeamReason::kDoesNotOpen) {
    const std::string user = 记录集.ReadText("用户名");
    form_.SetText(Id(C::编辑框_用户名), user);
    form_.SetText(Id(C::编辑框_密码), "");
    filled_.Keep(std::atoll(id.c_str()), host, port, user, "");
    if (!quiet) Inform(kTeamPasswordDoesNotOpenMessage);
    return true;
  }
  // A protected file's password is opened only now, for the boxes. One that does not open
  // leaves every box empty: a connect must not go to this host with another server's details.
  auto password = session_.Open(记录集.ReadText("密码"), host);
  if (!password) {
    ClearDetails();
    if (!quiet) ReportSealedPassword();
    return false;
  }
  const std::string user = 记录集.ReadText("用户名");
  form_.SetText(Id(C::编辑框_用户名), user);
  form_.SetText(Id(C::编辑框_密码), *password);
  filled_.Keep(std::atoll(id.c_str()), host, port, user, *password);
  crypto::Wipe(password->data(), password->size());
  return true;
}

void MainWindow::Filled::Keep(long long server, std::string h, std::string p, std::string u, const std::string& pw) {
  Clear();
  id = server;
  host = std::move(h);
  port = std::move(p);
  user = std::move(u);
  password = pw;
}

void MainWindow::Filled::Clear() {
  id = 0;
  crypto::Wipe(password.data(), password.size());
  password.clear();
}

MainWindow::Filled::~Filled() { Clear(); }

bool MainWindow::DetailsAsFilled() const {
  if (filled_.id == 0) return false;
  std::string password = form_.Text(Id(C::编辑框_密码));
  const bool same = form_.Text(Id(C::编辑框_Host)) == filled_.host && form_.Text(Id(C::编辑框_端口)) == filled_.port &&
                    form_.Text(Id(C::编辑框_用户名)) == filled_.user && password == filled_.password;
  crypto::Wipe(password.data(), password.size());
  return same;
}

bool MainWindow::FileAsAtLogin() {
  if (session_.Matches(数据库连接.Handle())) return true;
  ReportChangedFile();
  return false;
}

void MainWindow::ReportChangedFile(const char* message) {
  ClearDetails();
  // Listed anew first, so the message stands over the list as the file holds it now.
  LoadServerList();
  Inform(message);
}

void MainWindow::ReportSealedPassword() { Inform(kSealedPasswordMessage); }

void MainWindow::ShowListMenu() {
  const bool hasRow = form_.ListCurrentRow(kList) != -1;
  form_.SetMenuItemEnabled(Id(MainMenuItem::修改), hasRow);
  form_.SetMenuItemEnabled(Id(MainMenuItem::删除), hasRow);
  const Point at = platform_.CursorPosition();
  form_.PopupMenuAt(at.x, at.y);
}

void MainWindow::ClearDetails() {
  for (C box : {C::编辑框_Host, C::编辑框_端口, C::编辑框_用户名, C::编辑框_密码}) form_.SetText(Id(box), "");
  filled_.Clear();
}

void MainWindow::OnFullScreenClicked() {
  if (form_.Checked(Id(C::单选框_全屏))) form_.SetEnabled(Id(C::组合框_分辨率), false);
}

void MainWindow::OnWindowedClicked() {
  if (form_.Checked(Id(C::单选框_窗口))) form_.SetEnabled(Id(C::组合框_分辨率), true);
}

void MainWindow::CentreOnMainWindow(Form& window) const {
  const Rect main = form_.WindowRect();
  const Rect w = window.WindowRect();
  // Computed in double precision and truncated toward zero; the top is set first.
  window.SetWindowTop(static_cast<int>(main.top + main.height / 2.0 - w.height / 2.0));
  window.SetWindowLeft(static_cast<int>(main.left + main.width / 2.0 - w.width / 2.0));
}

void MainWindow::Connect() {
  const bool team = 数据库连接.InTeam();
  // Another member may have changed the server since its details were filled: the connect
  // goes with what the team holds for it now, read again, never with what the window showed
  // earlier. Details the operator typed over are theirs, and go as typed.
  const long long server = team && DetailsAsFilled() ? filled_.id : 0;
  if (server != 0) {
    const int row = ListRowOf(server);
    if (row == -1) {
      ReportChangedFile(kChangedByAnotherMessage);
      return;
    }
    if (!FillDetails(row, false)) return;
  }
  ConnectToServer(form_, platform_);
  // A team keeps a record of who connected where. The record is no gate: a line that cannot
  // be written costs the operator nothing.
  if (team) {
    const int row = form_.ListCurrentRow(kList);
    // The database names the server's host and port itself, from its row.
    数据库连接.TeamLogConnection(server != 0 ? std::to_string(server)
                                          : row == -1 ? std::string() : form_.ListCell(kList, row, 0));
  }
}

void MainWindow::Inform(const char* text) {
  platform_.ShowMessage(text, kDefaultMessageCaption, MessageButtons::Ok, MessageIcon::None);
}

void MainWindow::ChooseImportFiles() {
  ImportFiles(platform_.ChooseFilesToOpen(kImportDialogTitle, {
      {"所有可导入的文件 (*.xml;*.rdg;*.rdp;*.csv)", "*.xml;*.rdg;*.rdp;*.csv"},
      {"mRemoteNG 连接文件 (*.xml)", "*.xml"},
      {"RDCMan 文件 (*.rdg)", "*.rdg"},
      {"远程桌面连接文件 (*.rdp)", "*.rdp"},
      {"导出的 CSV 文件 (*.csv)", "*.csv"},
      {"所有文件 (*.*)", "*.*"},
  }));
}

void MainWindow::ImportFiles(const std::vector<std::string>& paths) {
  // As for the editor: a file whose protection changed since the login, or a team member who
  // may only read, gets nothing written.
  if (paths.empty() || !FileAsAtLogin() || !MayChangeServers()) return;
  std::vector<long long> added;
  OverTheWindow([&] { editors_.RunImport(*this, paths, added); });
  if (added.empty()) return;
  LoadServerList();
  // The list selects one row at most: the first new server, shown at the top of the view with
  // the others after it, as far as the rows allow.
  const std::unordered_set<long long> ids(added.begin(), added.end());
  for (int row = 0; row < form_.ListRowCount(kList); ++row) {
    if (!ids.count(std::atoll(form_.ListCell(kList, row, 0).c_str()))) continue;
    form_.ListShowAt(kList, row, row);
    // The details show the server selected, as after a click: a connect never takes the boxes
    // of another server for the one marked in the list.
    FillDetailsFromRow();
    break;
  }
  Inform(FillIn(kImportDone, {std::to_string(added.size())}).c_str());
  // A list without the focus does not show its selection; and the window, whose message box
  // has just gone, is made the active one again by it.
  form_.SetFocus(kList);
}

void MainWindow::OpenEditorForAdd() {
  // An editor over a file protected or unprotected since the login could only refuse to save.
  if (!FileAsAtLogin() || !MayChangeServers()) return;
  CurrentServerId = 0;
  OverTheWindow([&] { editors_.RunEditor(*this); });
}

void MainWindow::OpenEditorForModify() {
  // Column 0 holds the id as LoadServerList wrote it; no current row gives 0, an add.
  const int row = form_.ListCurrentRow(kList);
  const std::string text = row == -1 ? std::string() : form_.ListCell(kList, row, 0);
  int id = 0;
  std::from_chars(text.data(), text.data() + text.size(), id);
  if (!FileAsAtLogin() || !MayChangeServers()) return;
  CurrentServerId = id;
  OverTheWindow([&] { editors_.RunEditor(*this); });
}

void MainWindow::DeleteServer() {
  if (!MayChangeServers()) return;
  const MessageAnswer answer =
      platform_.ShowMessage(kDeleteQuestion, "询问", MessageButtons::YesNo, MessageIcon::Question);
  if (answer != MessageAnswer::Yes) return;
  const int row = form_.ListCurrentRow(kList);
  if (row == -1) return;
  const bool deleted = 数据库连接.ExecuteSql("delete from Server where id=?", {IdValue(form_.ListCell(kList, row, 0))});
  if (!deleted && ReportTeamFailure()) return;
  // Rebuilt either way, so the list shows what the table holds.
  LoadServerList();
  if (!deleted) Inform(kDeleteFailedMessage);
}

void MainWindow::OverTheWindow(const std::function<void()>& run) {
  windowOpen_ = true;
  run();
  windowOpen_ = false;
  // A refresh meanwhile left the details for now: a read of the server would have counted as
  // seeing its new version, and the editor would then write over it unawares.
  if (detailsBehind_ && DetailsAsFilled()) RefillDetails();
  detailsBehind_ = false;
}

void MainWindow::ShowPasswordBox() {
  form_.SetVisible(Id(C::分组框3), false);
  for (C c : {C::登录密码框, C::新密码标签, C::改密码按钮}) form_.SetVisible(Id(c), true);
}

void MainWindow::ShowDetails() {
  for (C c : {C::登录密码框, C::新密码标签, C::改密码按钮}) form_.SetVisible(Id(c), false);
  form_.SetVisible(Id(C::分组框3), true);
}

void MainWindow::ChangeLoginPassword() {
  // A protected file's change is under way: a second one would derive and write all over again.
  if (changing_) return;
  const std::string password = form_.Text(Id(C::登录密码框));
  // An empty password would be stored as null, which no login ever matches: the operator
  // would be locked out for good. It is also the way back for a click on 改密 by mistake.
  if (password.empty()) {
    Inform(kEmptyPasswordMessage);
    ShowDetails();
    return;
  }
  记录集.SetConnection(数据库连接);
  // The file is opened anew, and the open connection kept until the new one stands. A file
  // that no longer opens cannot take the servers the operator saves from now on either: the
  // program ends with the login's report, as when the window first opened.
  if (!数据库连接.Reopen(DataFilePath(), DatabasePassword())) {
    EndAfterDataFileFailure(platform_, platform_.PathExists(DataFilePath())
                                           ? UnopenableDataFileMessage(DataFilePath())
                                           : MissingDataFileMessage(DataFilePath()));
    return;
  }
  if (session_.IsProtected()) {
    StartProtectedChange(password);
    return;
  }
  // On a plain file, every row the login reads: the login takes any row with the key, so an
  // old password left in a second one would still let its holder in.
  const bool stored =
      session_.Matches(数据库连接.Handle()) &&
      数据库连接.ExecuteSql("update Login set Pass=? where \"Key\"=?", {password, std::string(kLoginKey)}) &&
      sqlite3_changes(数据库连接.Handle()) > 0;
  ConcludePasswordChange(stored, {});
}

// A protected file gets a new verifier and every server password sealed anew, all at once.
// Deriving the new key takes most of a second, on purpose: it runs in the background on a copy
// of the password, so that the window keeps painting and answering. The file is written only
// afterwards, on the window's thread, which owns the connection, in one transaction: a window
// closed meanwhile never gets there and leaves the file as it was.
void MainWindow::StartProtectedChange(const std::string& password) {
  struct Change {
    std::string password;
    unsigned long iterations = 0;
    std::optional<LoginKeys> keys;
  };
  auto change = std::make_shared<Change>();
  change->password = password;
  change->iterations = session_.Iterations();
  changing_ = true;
  platform_.ShowBusyPointer(true);
  form_.RunInBackground(
      [change] {
        change->keys = DeriveNewLoginKeys(change->password, change->iterations);
        crypto::Wipe(change->password.data(), change->password.size());
      },
      [this, change] {
        std::vector<ServerName> unopened;
        const bool stored =
            change->keys && session_.ChangeLoginPassword(数据库连接.Handle(), std::move(*change->keys), &unopened);
        changing_ = false;
        platform_.ShowBusyPointer(false);
        ConcludePasswordChange(stored, unopened);
      });
}

void MainWindow::ConcludePasswordChange(bool stored, const std::vector<ServerName>& unopened) {
  if (!stored) {
    Inform(unopened.empty() ? kPasswordChangeFailedMessage : UnopenedServersMessage(unopened).c_str());
    return;
  }
  Inform(kPasswordChangedMessage);
  ShowDetails();
}

void MainWindow::ShowAbout() { platform_.OpenWithShell(kWebAddress); }

void MainWindow::ExitProgram() { platform_.EndProgram(); }

}  // namespace korvane
