#include "servers/import_window.h"

#include <atomic>
#include <unordered_set>

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

}  // namespace

// One path read on a thread of its own. The window and the thread share it: a window closed
// meanwhile stops the reading and leaves it to the thread, which frees it at its end.
struct ImportWindow::Reading {
  std::string path;
  std::optional<std::string> masterPassword;
  std::function<std::optional<std::string>(const std::string&)> unprotect;
  std::atomic<bool> stop{false};
  std::atomic<std::size_t> done{0}, total{0};
  import::ImportResult result;

  ~Reading() {
    if (masterPassword) import::WipeText(*masterPassword);
    for (auto& server : result.servers) import::WipeText(server.password);
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
  }
};

ImportWindow::ImportWindow(Form& form, MainWindow& main, Platform& platform, std::vector<std::string> paths,
                           ImportServices services, std::vector<long long>& added)
    : form_(form),
      main_(main),
      platform_(platform),
      paths_(std::move(paths)),
      services_(std::move(services)),
      added_(added) {}

ImportWindow::~ImportWindow() {
  if (reading_) reading_->stop = true;
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
  const std::string& path = reading_->path;
  if (read.master != import::MasterPassword::kNotAsked) {
    // A file under a master password: asked for, then read again with it, until it opens or
    // the operator gives up; giving up leaves the file out, with its reason.
    auto typed = services_.askMasterPassword(FileName(path), read.master == import::MasterPassword::kWrong);
    if (typed) return ReadNext(std::move(typed));
  }
  if (!read.recognised) {
    notLists_.push_back(FileName(path));
    Apart(path, kImportNotAListReason);
  } else if (!read.errors.empty()) {
    // A file that could not be read whole gives none of its servers.
    ++lists_;
    for (const auto& note : read.errors) Apart(note.where, note.what);
  } else {
    ++lists_;
    for (const auto* notes : {&read.skipped, &read.shortened}) {
      for (const auto& note : *notes) Apart(note.where, note.what);
    }
    for (const auto& note : read.unopened) Apart(note.where, FillIn(kImportWithoutPassword, {note.what}));
    for (auto& server : read.servers) servers_.push_back(std::move(server));
  }
  if (++next_ < paths_.size()) return ReadNext();
  reading_.reset();
  ShowPreview();
}

void ImportWindow::Apart(const std::string& where, const std::string& why) { apart_.push_back({Where(where), why}); }

std::string ImportWindow::Where(const std::string& where) const {
  const std::string& path = paths_[next_];
  if (!where.starts_with(path)) return where;
  std::string rest = where.substr(path.size());
  // A file in a dropped folder is named by itself; a server of a dropped file by the file's name.
  if (!rest.empty() && (rest[0] == '\\' || rest[0] == '/')) return rest.substr(1);
  return FileName(path) + rest;
}

void ImportWindow::ShowPreview() {
  form_.StartTimer(0);
  form_.SetText(Id(C::进度标签), "");
  if (lists_ == 0) {
    std::string names;
    for (const auto& name : notLists_) names += (names.empty() ? "" : "”、“") + name;
    platform_.ShowMessage(FillIn(kImportNotAList, {names}), kDefaultMessageCaption, MessageButtons::Ok,
                          MessageIcon::None);
    form_.Destroy();
    return;
  }
  DBConnection& connection = main_.connection();
  if (TeamWorker* team = connection.Team()) {
    list_ = std::make_unique<import::TeamServers>(*team);
  } else {
    LoginSession& session = main_.session();
    list_ = std::make_unique<import::FileServers>(connection.Handle(), [&session](const LoginKeys*& keys) {
      keys = session.keys();
      return true;
    });
  }
  if (!SortRows(*list_, servers_, sorting_)) {
    const auto& failure = list_->failure();
    platform_.ShowMessage(failure.team ? TeamActionFailedMessage(connection.TeamServerName(), *failure.team)
                                       : FillIn(kImportListUnreadable, {failure.detail}),
                          kDefaultMessageCaption, MessageButtons::Ok, MessageIcon::None);
    form_.Destroy();
    return;
  }
  for (const auto* server : sorting_.there) apart_.push_back({server->remark, kImportAlreadyThere});
  for (const auto* server : sorting_.beside) apart_.push_back({server->remark, kImportBeside});
  std::vector<std::vector<std::string>> rows;
  for (const auto* server : sorting_.added) rows.push_back({server->remark, server->host, server->port, server->user});
  const bool any = !rows.empty();
  form_.SetText(Id(C::添加标签), any ? FillIn(kImportAddHeading, {std::to_string(rows.size())}) : kImportNothingToAdd);
  form_.ListSetRows(Id(C::添加列表), std::move(rows));
  form_.SetText(Id(C::跳过标签), FillIn(kImportApartHeading, {std::to_string(apart_.size())}));
  form_.ListSetRows(Id(C::跳过列表), apart_);
  form_.SetEnabled(Id(C::导入按钮), any);
  form_.SetFocus(Id(any ? C::导入按钮 : C::取消按钮));
}

void ImportWindow::Import() {
  if (!list_ || sorting_.added.empty()) return;
  // A file protected or unprotected since the login would take the passwords the wrong way:
  // the main window says so, and nothing is written.
  if (!main_.FileAsAtLogin()) {
    form_.Destroy();
    return;
  }
  std::vector<long long> ids;
  if (!list_->AddAll(sorting_.added, ids)) {
    const auto& failure = list_->failure();
    platform_.ShowMessage(failure.team ? TeamActionFailedMessage(main_.connection().TeamServerName(), *failure.team)
                                       : FillIn(kImportFailed, {failure.detail}),
                          kDefaultMessageCaption, MessageButtons::Ok, MessageIcon::None);
    return;
  }
  added_ = std::move(ids);
  form_.Destroy();
}

void ImportWindow::Cancel() {
  if (reading_) reading_->stop = true;
  form_.Destroy();
}

}  // namespace korvane
