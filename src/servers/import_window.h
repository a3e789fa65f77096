// The import preview's handlers: the files dropped on the main window, or chosen in the file
// dialog, are read in the background (an mRemoteNG master password asked for in a window of
// its own), sorted against the list in the background too, then shown: what would be added,
// and apart what would not and why. 导入 writes it all in one step, leaving out what the list
// has come to hold since; 取消, Esc or the close box write nothing, also while the files are
// read or sorted.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "import/import.h"
#include "import/server_writer.h"
#include "platform/platform.h"
#include "servers/import_controls.h"
#include "ui/form.h"

namespace korvane {

class MainWindow;

inline constexpr const char* kImportDialogTitle = "导入服务器列表";
inline constexpr const char* kImportReadingText = "正在读取“{0}”…";
inline constexpr const char* kImportOpeningText = "正在解开“{0}”中的密码：{1} / {2}";
inline constexpr const char* kImportAddHeading = "将添加 {0} 台服务器：";
inline constexpr const char* kImportNothingToAdd = "没有要添加的服务器。";
inline constexpr const char* kImportApartHeading = "不导入或需要留意的（{0} 项）：";
inline constexpr const char* kImportNotAList =
    "“{0}”不是可以导入的服务器列表。\r\n\r\n可以导入的有：mRemoteNG 的连接文件（confCons.xml）、RDCMan 的 .rdg "
    "文件、远程桌面连接文件（.rdp）或装有它们的文件夹，以及本程序导出的 CSV 文件。";
inline constexpr const char* kImportNotAListReason = "不是可以导入的服务器列表";
inline constexpr const char* kImportAlreadyThere = "列表中已有，主机、端口、用户和密码都相同";
inline constexpr const char* kImportBeside = "与列表中一台服务器只有密码不同；两台都保留";
inline constexpr const char* kImportWithoutPassword = "{0}；导入后没有密码，请用“修改”补上";
inline constexpr const char* kImportFailed = "导入失败，没有写入任何服务器：{0}";
inline constexpr const char* kImportListUnreadable = "无法读取服务器列表：{0}";
inline constexpr const char* kImportDone = "已导入 {0} 台服务器。";
inline constexpr const char* kImportSortingText = "正在与列表中的服务器比较…";
inline constexpr const char* kImportWritingText = "正在写入…";
inline constexpr const char* kImportAppearedMeanwhile = "{0} 台在预览后已出现在列表中，没有再添加。";

// What the preview needs of the system: opening a password protected for the current Windows
// user, and asking for a master password in a window of its own (`wrong`: the last one did not
// open the file; nullopt: the operator cancelled).
struct ImportServices {
  std::function<std::optional<std::string>(const std::string& blob)> unprotect;
  std::function<std::optional<std::string>(const std::string& file, bool wrong)> askMasterPassword;
};

class ImportWindow : public EventSink {
 public:
  // `added` gets the ids of the servers written, in their order; it stays empty when nothing was.
  ImportWindow(Form& form, MainWindow& main, Platform& platform, std::vector<std::string> paths,
               ImportServices services, std::vector<long long>& added);
  // A reading still running is stopped: it ends soon, and nothing of it is written. Work on
  // the list still running is stopped and waited for: it uses the data file's connection,
  // which the main window takes back as soon as this one has gone.
  ~ImportWindow() override;

  void OnEvent(const Event& event) override;

 private:
  struct Reading;
  struct ListWork;

  void ReadNext(std::optional<std::string> masterPassword = std::nullopt);
  void OnRead();
  void ShowProgress();
  void Sort();
  void ShowPreview();
  void Import();
  void OnWritten();
  void Cancel();
  // Runs `work` on the list off the window's thread, then `done` on it.
  void OnList(std::function<void()> work, std::function<void()> done);
  void SayFailure(const std::string& dataFileText);

  Form& form_;
  MainWindow& main_;
  Platform& platform_;
  std::vector<std::string> paths_;
  ImportServices services_;
  std::vector<long long>& added_;
  std::size_t next_ = 0;  // the path read now
  std::shared_ptr<Reading> reading_;
  // What the files read so far gave: their servers, each file's as it came, and the rows of
  // 跳过列表.
  std::vector<std::vector<import::ImportedServer>> servers_;
  std::vector<std::vector<std::string>> apart_;
  std::vector<std::string> notLists_;
  std::size_t lists_ = 0;
  // The list, and what the work on it found: shared with that work while it runs.
  std::shared_ptr<ListWork> work_;
  std::unique_ptr<import::ServerList> list_;
  std::vector<import::HeldServer> held_;
  bool sorted_ = false, writing_ = false, written_ = false;
  import::Sorting sorting_;
  std::vector<std::vector<std::string>> addRows_, sortedApart_;
  import::Addition addition_;
};

}  // namespace korvane
