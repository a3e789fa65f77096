// The main window's handlers for a team's list: the list kept up with what other members
// change, and what the window says when the team's database refused or could not answer.
#include <algorithm>
#include <cstdlib>
#include <ctime>

#include "servers/main_window.h"
#include "servers/team_messages.h"

namespace korvane {
namespace {

constexpr ControlId kList = Id(MainControl::超级列表框1);

}  // namespace

bool MainWindow::ReportTeamFailure() {
  if (!数据库连接.InTeam()) return false;
  const TeamError& why = 数据库连接.TeamFailure();
  if (why.reason == TeamReason::kChangedByAnother || why.reason == TeamReason::kGone) {
    ReportChangedFile(kChangedByAnotherMessage);
  } else {
    const std::string message = TeamActionFailedMessage(数据库连接.TeamServerName(), why);
    Inform(message.c_str());
  }
  return true;
}

bool MainWindow::MayChangeServers() {
  // The copy is there to look and connect: the team's list can only change in its database.
  if (数据库连接.TeamOfflineSince()) {
    Inform(kTeamOfflineRefusal);
    return false;
  }
  if (数据库连接.TeamMayChange()) return true;
  if (数据库连接.TeamFailure().reason == TeamReason::kTimedOut) {
    ReportTeamFailure();
  } else {
    Inform(kReadOnlyMemberMessage);
  }
  return false;
}

void MainWindow::ShowTeamState() {
  const auto since = 数据库连接.TeamOfflineSince();
  if (captionShown_ && since == offlineShown_) return;
  captionShown_ = true;
  offlineShown_ = since;
  form_.SetText(Id(MainControl::分组框1), since ? TeamOfflineCaption(数据库连接.TeamName(), *since, std::time(nullptr))
                                                : kTeamListCaption + 数据库连接.TeamName());
}

void MainWindow::RefreshTeamList() {
  auto changes = 数据库连接.TeamListChanges();
  // The database answered again after a start without it: the list is the team's once more.
  if (offlineShown_) ShowTeamState();
  if (changes) {
    MergeTeamChanges(*changes);
    return;
  }
  // The question asked: a thread waits for its answer, and the window merges it as soon as it
  // is in. An answer that does not come in time gives up the connection, and the refresh waits
  // for the next action to connect again.
  if (refreshWaiting_) return;
  if (auto wait = 数据库连接.TeamListWait()) {
    refreshWaiting_ = true;
    form_.RunInBackground(std::move(wait), [this] {
      refreshWaiting_ = false;
      RefreshTeamList();
    });
  }
}

void MainWindow::MergeTeamChanges(const DBConnection::ListChanges& changes) {
  // Each change finds its row by a binary search and touches that row only, so a refresh
  // costs what changed, not the whole list.
  // A row put in or taken out above the selection or the top moves them with it.
  int current = form_.ListCurrentRow(kList), top = form_.ListTopRow(kList);
  for (const std::string& gone : changes.deleted) {
    const int row = ListPlace(std::atoll(gone.c_str()));
    if (row >= form_.ListRowCount(kList) || form_.ListCell(kList, row, 0) != gone) continue;
    form_.ListDeleteRow(kList, row);
    if (current == row) {
      current = -1;
    } else if (current > row) {
      --current;
    }
    if (top > row) --top;
  }
  for (const auto& changed : changes.changed) {
    const int row = ListPlace(std::atoll(changed[0].c_str()));
    if (row < form_.ListRowCount(kList) && form_.ListCell(kList, row, 0) == changed[0]) {
      form_.ListSetRow(kList, row, changed);
      continue;
    }
    form_.ListInsertRow(kList, row, changed);
    if (current >= row) ++current;
    if (top > row) ++top;
  }
  form_.ListShowAt(kList, current, top);
  // The details follow a change of the server they show, as the list does, unless the operator
  // typed in them since.
  if (!DetailsAsFilled()) return;
  const std::string shown = std::to_string(filled_.id);
  bool touched = std::find(changes.deleted.begin(), changes.deleted.end(), shown) != changes.deleted.end();
  for (const auto& changed : changes.changed) touched = touched || changed[0] == shown;
  if (!touched) return;
  if (windowOpen_) {
    detailsBehind_ = true;
    return;
  }
  RefillDetails();
}

void MainWindow::RefillDetails() {
  const int row = ListRowOf(filled_.id);
  if (row == -1) {
    ClearDetails();
  } else {
    FillDetails(row, true);
  }
}

int MainWindow::ListPlace(long long id) const {
  // The team's list is in id order, as it was read and as changes are merged into it.
  int low = 0, high = form_.ListRowCount(kList);
  while (low < high) {
    const int mid = low + (high - low) / 2;
    if (std::atoll(form_.ListCell(kList, mid, 0).c_str()) < id) low = mid + 1; else high = mid;
  }
  return low;
}

int MainWindow::ListRowOf(long long id) const {
  const int row = ListPlace(id);
  return row < form_.ListRowCount(kList) && form_.ListCell(kList, row, 0) == std::to_string(id) ? row : -1;
}

}  // namespace korvane
