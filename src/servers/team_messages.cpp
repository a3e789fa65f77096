#include "servers/team_messages.h"

namespace korvane {

std::string TeamReasonText(const TeamError& error) {
  switch (error.reason) {
    case TeamReason::kCannotConnect:
      return "无法连接：" + error.detail;
    case TeamReason::kRefused:
      return "数据库拒绝执行或连接已中断：" + error.detail;
    case TeamReason::kNotATeam:
      return "该数据库中没有团队服务器列表";
    case TeamReason::kNewerSchema:
      return "团队列表由更新版本的程序建立（版本 " + error.detail + "），请先升级本程序";
    case TeamReason::kNotEmpty:
      return "该数据库不是空的";
    case TeamReason::kWrongPassphrase:
      return "团队口令不对";
    case TeamReason::kKeyChanged:
      return "团队口令已更换，请用 korvane-data 的 team leave 和 team join 重新加入团队";
    case TeamReason::kCryptographyRefused:
      return "系统的加密功能（" + error.detail + "）拒绝执行";
    case TeamReason::kChangedByAnother:
      return "服务器已被其他操作员修改";
    case TeamReason::kGone:
      return "服务器已被其他操作员删除";
    case TeamReason::kDoesNotOpen:
      return "服务器 " + std::to_string(error.row) + " 的密码无法解开";
    case TeamReason::kMembershipDoesNotOpen:
      return "数据文件中的团队成员信息无法用登录密码解开";
    case TeamReason::kTimedOut:
      return "数据库在 " + error.detail + " 秒内没有回答";
    case TeamReason::kServerTooOld:
      return "数据库服务器的版本（" + error.detail + "）太旧，团队列表需要 PostgreSQL 13 或更新的版本";
    case TeamReason::kOldSchema:
      return "团队列表由本程序的旧版本建立，请团队管理员用 korvane-data 的 team init 在新的数据库中重建";
    case TeamReason::kNotAdministrator:
      return "只有团队的管理员（数据库角色 " + error.detail + "）可以这样做";
    case TeamReason::kBadDatabaseName:
      return "数据库名“" + error.detail + "”不能用来命名团队的角色";
    case TeamReason::kNone:
    case TeamReason::kCount:
      break;
  }
  return error.detail;
}

namespace {
std::string Where(const std::string& server) { return server.empty() ? std::string() : "（" + server + "）"; }
}  // namespace

std::string TeamUnopenableMessage(const std::string& server, const TeamError& error) {
  return "无法打开团队服务器列表" + Where(server) + "：" + TeamReasonText(error) + "\r\n本次运行将取消.";
}

namespace {

// "14:02", or "12-07 14:02" for a copy of another day.
std::string CopyTime(long long at, long long now) {
  const std::time_t copied = static_cast<std::time_t>(at), today = static_cast<std::time_t>(now);
  std::tm made{}, current{};
#ifdef _WIN32
  localtime_s(&made, &copied);
  localtime_s(&current, &today);
#else
  localtime_r(&copied, &made);
  localtime_r(&today, &current);
#endif
  const bool sameDay = made.tm_year == current.tm_year && made.tm_yday == current.tm_yday;
  char text[32];
  std::strftime(text, sizeof text, sameDay ? "%H:%M" : "%m-%d %H:%M", &made);
  return text;
}

}  // namespace

std::string TeamOfflineCaption(const std::string& team, long long at, long long now) {
  return kTeamListCaption + team + "（离线，" + CopyTime(at, now) + " 的副本）";
}

std::string TeamOfflineMessage(const std::string& server, const TeamError& error, long long at, long long now) {
  return "团队服务器列表" + Where(server) + "现在打不开：" + TeamReasonText(error) + "\r\n现在显示的是本机在 " +
         CopyTime(at, now) +
         " 保存的离线副本：可以查看和连接服务器，不能添加、修改或删除。数据库恢复后列表会自动转为在线。";
}

std::string TeamActionFailedMessage(const std::string& server, const TeamError& error) {
  // A change sent to a database that then stopped answering may still be written when it
  // answers again: the operator is not told that nothing changed.
  const char* outcome = error.reason == TeamReason::kTimedOut
                            ? "如果刚才是在保存或删除，数据库恢复后此更改可能仍会生效，请届时查看列表"
                            : "没有做任何更改";
  return "团队服务器列表" + Where(server) + "操作失败：" + TeamReasonText(error) + "\r\n" + outcome +
         "；下次操作时将重新连接。";
}

}  // namespace korvane
