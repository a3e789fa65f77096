#include "servers/import_window.h"

#include <atomic>
#include <condition_variable>
#include <iterator>
#include <mutex>

#include "import/text.h"
#include "servers/main_window.h"
#include "servers/team_messages.h"
#include "store/store.h"
#include "text/bilingual.h"

namespace korvane {
namespace {

using C = ImportControl;

constexpr int kProgressMilliseconds = 100;

// "confCons.xml" of "Z:\tmp\confCons.xml".
std::string FileName(const std::string& path) {
  const auto slash = path.find_last_of("\\/");
  return slash == std::string::npos || slash + 1 == path.size() ? path : path.substr(slash + 1);
}

// A note's place with the file's folder left out: the operator dropped the file, and knows it.
std::string Where(const std::string& path, const std::string& where) {
  if (!where.starts_with(path)) return where;
  std::string rest = where.substr(path.size());
  // A file in a dropped folder is named by itself; a server of a dropped file by the file's name.
  if (!rest.empty() && (rest[0] == '\\' || rest[0] == '/')) return rest.substr(1);
  return FileName(path) + rest;
}

}  // namespace

// One path read on a thread of its own. The window and the thread share it: a window closed
// meanwhile stops the reading and leaves it to the thread, which frees it at its end. The
// thread also words the notes, so that a file of many leaves the window nothing to do that
// grows with it.
struct ImportWindow::Reading {
  std::string path;
  std::optional<std::string> masterPassword;
  std::function<std::optional<std::string>(const std::string&)> unprotect;
  std::atomic<bool> stop{false};
  std::atomic<std::size_t> done{0}, total{0};
  import::ImportResult result;
  std::vector<std::vector<std::string>> apart;

  ~Reading() {
    if (masterPassword) import::WipeText(*masterPassword);
  }

  void Run() {
    import::ImportContext context;
    context.unprotect = unprotect;
    // Asked only when the file's default password does not open it: the one typed in the
    // window, or none the first time, which sends the window to ask.
    context.askPassword = [this](const std::string&) { return masterPassword; };
    context.progress = [this](std::size_t d, std::size_t t) {
      total = t;
      done = d;
    };
    context.stopped = [this] { return stop.load(); };
    result = import::ReadServers(path, context);
    const auto note = [&](const import::Note& n, const std::string& why) { apart.push_back({Where(path, n.where), why}); };
    if (!result.recognised) {
      apart.push_back({Where(path, path), kImportNotAListReason});
    } else if (!result.errors.empty()) {
      // A file that could not be read whole gives none of its servers.
      for (const auto& n : result.errors) note(n, n.what);
    } else {
      for (const auto* notes : {&result.skipped, &result.shortened}) {
        for (const auto& n : *notes) note(n, n.what);
      }
      for (const auto& n : result.unopened) note(n, FillIn(kImportWithoutPassword, {n.what}));
    }
  }
};

// Work on the list off the window's thread: the sorting, and the writing to a data file. The
// program uses the data file's connection from one thread at a time, so the window, when it
// goes, tells the work to stop and waits until it has (it looks between servers); work that
// had not begun by then never does.
struct ImportWindow::ListWork {
  std::mutex mutex;
  std::condition_variable ended;
  bool running = false;
  std::atomic<bool> stop{false};
};

ImportWindow::ImportWindow(Form& form, MainWindow& main, Platform& platform, std::vector<std::string> paths,
                           ImportServices services, std::vector<long long>& added)
    : form_(form),
      main_(main),
      platform_(platform),
      paths_(std::move(paths)),
      services_(std::move(services)),
      added_(added),
      work_(std::make_shared<ListWork>()) {}

ImportWindow::~ImportWindow() {
  if (reading_) reading_->stop = true;
  std::unique_lock<std::mutex> lock(work_->mutex);
  work_->stop = true;
  work_->ended.wait(lock, [this] { return !work_->running; });
  // Written just before the window went, its end unseen: the main window shows them still.
  if (written_ && added_.empty()) added_ = addition_.ids;
}

void ImportWindow::OnEvent(const Event& event) {
  switch (event.kind) {
    case EventKind::Created:
      main_.CentreOnMainWindow(form_);
      form_.SetFocus(Id(C::取消按钮));
      form_.StartTimer(kProgressMilliseconds);
      ReadNext();
      break;
    case EventKind::Timer:
      ShowProgress();
      break;
    case EventKind::Clicked:
      if (event.control == Id(C::导入按钮)) Import();
      if (event.control == Id(C::取消按钮)) Cancel();
      break;
    default:
      break;
  }
}

void ImportWindow::ReadNext(std::optional<std::string> masterPassword) {
  reading_ = std::make_shared<Reading>();
  reading_->path = paths_[next_];
  reading_->masterPassword = std::move(masterPassword);
  reading_->unprotect = services_.unprotect;
  ShowProgress();
  // The thread holds the reading for as long as it runs, whatever becomes of the window.
  std::shared_ptr<Reading> reading = reading_;
  form_.RunInBackground([reading] { reading->Run(); }, [this] { OnRead(); });
}

void ImportWindow::ShowProgress() {
  if (!reading_) return;
  const std::string name = FileName(reading_->path);
  const std::size_t total = reading_->total;
  form_.SetText(Id(C::进度标签), total == 0 ? FillIn(kImportReadingText, {name})
                                            : FillIn(kImportOpeningText, {name, std::to_string(reading_->done.load()),
                                                                          std::to_string(total)}));
}

void ImportWindow::OnRead() {
  import::ImportResult& read = reading_->result;
  if (read.master != import::MasterPassword::kNotAsked) {
    // A file under a master password: asked for, then read again with it, until it opens or
    // the operator gives up; giving up leaves the file out, with its reason.
    auto typed = services_.askMasterPassword(FileName(reading_->path), read.master == import::MasterPassword::kWrong);
    if (typed) return ReadNext(std::move(typed));
  }
  if (!read.recognised) notLists_.push_back(FileName(reading_->path));
  if (read.recognised) ++lists_;
  if (read.recognised && read.errors.empty()) servers_.push_back(std::move(read.servers));
  std::move(reading_->apart.begin(), reading_->apart.end(), std::back_inserter(apart_));
  if (++next_ < paths_.size()) return ReadNext();
  reading_.reset();
  Sort();
}

void ImportWindow::OnList(std::function<void()> work, std::function<void()> done) {
  std::shared_ptr<ListWork> shared = work_;
  form_.RunInBackground(
      [shared, work = std::move(work)] {
        {
          std::lock_guard<std::mutex> lock(shared->mutex);
          if (shared->stop) return;
          shared->running = true;
        }
        work();
        {
          std::lock_guard<std::mutex> lock(shared->mutex);
          shared->running = false;
        }
        shared->ended.notify_all();
      },
      std::move(done));
}

void ImportWindow::SayFailure(const std::string& dataFileText) {
  const auto& failure = list_->failure();
  if (failure.stopped) return;
  platform_.ShowMessage(failure.team ? TeamActionFailedMessage(main_.connection().TeamServerName(), *failure.team)
                                     : FillIn(dataFileText, {failure.detail}),
                        kDefaultMessageCaption, MessageButtons::Ok, MessageIcon::None);
}

void ImportWindow::Sort() {
  form_.StartTimer(0);
  if (lists_ == 0) {
    form_.SetText(Id(C::进度标签), "");
    std::string names;
    for (const auto& name : notLists_) names += (names.empty() ? "" : "”、“") + name;
    platform_.ShowMessage(FillIn(kImportNotAList, {names}), kDefaultMessageCaption, MessageButtons::Ok,
                          MessageIcon::None);
    form_.Destroy();
    return;
  }
  DBConnection& connection = main_.connection();
  TeamWorker* team = connection.Team();
  if (team) {
    list_ = std::make_unique<import::TeamServers>(*team);
  } else {
    LoginSession& session = main_.session();
    list_ = std::make_unique<import::FileServers>(connection.Handle(), [&session](const LoginKeys*& keys) {
      keys = session.keys();
      return true;
    });
  }
  std::shared_ptr<ListWork> shared = work_;
  list_->StopWhen([shared] { return shared->stop.load(); });
  form_.SetText(Id(C::进度标签), kImportSortingText);
  // A team's list is read through its worker, which only the window's thread may use; it
  // waits for it its bound at most.
  if (team && !list_->Read(held_)) {
    SayFailure(kImportListUnreadable);
    form_.Destroy();
    return;
  }
  OnList(
      [this, team] {
        std::vector<const import::ImportedServer*> rows;
        for (const auto& file : servers_) {
          for (const auto& server : file) rows.push_back(&server);
        }
        sorted_ = (team || list_->Read(held_)) && SortRows(*list_, held_, rows, sorting_);
        held_.clear();
        if (!sorted_) return;
        for (const auto* server : sorting_.there) sortedApart_.push_back({server->remark, kImportAlreadyThere});
        for (const auto* server : sorting_.beside) sortedApart_.push_back({server->remark, kImportBeside});
        for (const auto* server : sorting_.added) addRows_.push_back({server->remark, server->host, server->port, server->user});
      },
      [this] { ShowPreview(); });
}

void ImportWindow::ShowPreview() {
  form_.SetText(Id(C::进度标签), "");
  if (!sorted_) {
    SayFailure(kImportListUnreadable);
    form_.Destroy();
    return;
  }
  std::move(sortedApart_.begin(), sortedApart_.end(), std::back_inserter(apart_));
  sortedApart_.clear();
  const bool any = !addRows_.empty();
  form_.SetText(Id(C::添加标签), any ? FillIn(kImportAddHeading, {std::to_string(addRows_.size())}) : kImportNothingToAdd);
  form_.ListSetRows(Id(C::添加列表), std::move(addRows_));
  form_.SetText(Id(C::跳过标签), FillIn(kImportApartHeading, {std::to_string(apart_.size())}));
  form_.ListSetRows(Id(C::跳过列表), std::move(apart_));
  form_.SetEnabled(Id(C::导入按钮), any);
  form_.SetFocus(Id(any ? C::导入按钮 : C::取消按钮));
}

void ImportWindow::Import() {
  if (!list_ || !sorted_ || sorting_.added.empty() || writing_) return;
  // A file protected or unprotected since the login would take the passwords the wrong way:
  // the main window says so, and nothing is written.
  if (!main_.FileAsAtLogin()) {
    form_.Destroy();
    return;
  }
  writing_ = true;
  form_.SetEnabled(Id(C::导入按钮), false);
  form_.SetText(Id(C::进度标签), kImportWritingText);
  // What was sorted is decided again inside the write: another program may have added some
  // of the same servers since.
  if (main_.connection().Team()) {
    written_ = list_->AddNew(sorting_.added, addition_);
    OnWritten();
  } else {
    OnList([this] { written_ = list_->AddNew(sorting_.added, addition_); }, [this] { OnWritten(); });
  }
}

void ImportWindow::OnWritten() {
  writing_ = false;
  form_.SetText(Id(C::进度标签), "");
  if (!written_) {
    SayFailure(kImportFailed);
    form_.SetEnabled(Id(C::导入按钮), true);
    return;
  }
  if (!addition_.there.empty()) {
    platform_.ShowMessage(FillIn(kImportAppearedMeanwhile, {std::to_string(addition_.there.size())}),
                          kDefaultMessageCaption, MessageButtons::Ok, MessageIcon::None);
  }
  added_ = addition_.ids;
  form_.Destroy();
}

void ImportWindow::Cancel() {
  if (reading_) reading_->stop = true;
  work_->stop = true;
  form_.Destroy();
}

}  // namespace korvane
