// What the windows say when the servers are a team's and its database refused or could not be
// reached.
#pragma once

#include <ctime>
#include <string>

#include "store/team.h"

namespace korvane {

inline constexpr const char* kTeamListCaption = "服务器列表 — 团队 ";
inline constexpr const char* kChangedByAnotherMessage =
    "此服务器刚被其他操作员修改或删除，您的操作未执行。服务器列表已重新载入，请查看后再试。";

inline constexpr const char* kTeamPasswordDoesNotOpenMessage =
    "无法解开此服务器的密码：它在团队数据库中被改动过，或是为另一个主机、端口或用户加密的。请用“修改”重新输入密码。";
inline constexpr const char* kReadOnlyMemberMessage =
    "您在此团队中只能查看和连接服务器，不能添加、修改或删除服务器。如需更改，请联系团队数据库的管理员。";
inline constexpr const char* kTeamOfflineRefusal =
    "团队数据库现在无法连接，列表是本机保存的离线副本：只能查看和连接服务器，不能添加、修改、删除或导入。"
    "数据库恢复后列表会自动转为在线，届时请再试。";
// How often an open list asks the team's database whether another member changed it.
inline constexpr int kTeamRefreshMilliseconds = 3000;

// Why, in a few words.
std::string TeamReasonText(const TeamError& error);
// At the start: the team's list cannot be opened and the program ends.
std::string TeamUnopenableMessage(const std::string& server, const TeamError& error);
// The list's caption while it is the file's copy, made at `at` (local time; the date too when
// that is not the day of `now`).
std::string TeamOfflineCaption(const std::string& team, long long at, long long now);
// At the start: the database cannot be reached, and the copy is shown instead.
std::string TeamOfflineMessage(const std::string& server, const TeamError& error, long long at, long long now);
// During work: an action failed; nothing changed, and the next one connects again.
std::string TeamActionFailedMessage(const std::string& server, const TeamError& error);

}  // namespace korvane
