// The reasons the team store gives, as korvane-data says them.
#include <iterator>
#include <string>

#include "datatool/messages.h"

namespace korvane::tool {

// clang-format off
const TeamReasonText kTeamReasonTable[] = {
    {TeamReason::kCannotConnect, "cannot connect to the database server {0}: {2}",
     "无法连接数据库服务器 {0}：{2}"},
    {TeamReason::kRefused, "the database server {0} refused: {2}",
     "数据库服务器 {0} 拒绝执行：{2}"},
    {TeamReason::kNotATeam, "the database holds no team's server list",
     "该数据库中没有团队的服务器列表"},
    {TeamReason::kNewerSchema, "the team's list was made by a newer version of this program (schema {2}): update it first",
     "团队的列表由本程序的更新版本建立（架构版本 {2}）：请先更新本程序"},
    {TeamReason::kNotEmpty, "the database holds {2} tables, views or sequences of its own already: a team needs an empty database of its own",
     "该数据库中已有 {2} 个其自己的表、视图或序列：团队需要一个属于它自己的空数据库"},
    {TeamReason::kWrongPassphrase, "that is not the team's passphrase",
     "这不是团队的口令"},
    {TeamReason::kKeyChanged, "the team has a new passphrase since this file joined: leave the team and join again with it",
     "自该文件加入以来，团队已换了新口令：请退出团队，再用新口令重新加入"},
    {TeamReason::kCryptographyRefused, "the system's cryptography ({2}) refused",
     "系统的加密功能（{2}）拒绝执行"},
    {TeamReason::kChangedByAnother, "team server {1} was changed by someone else meanwhile",
     "团队服务器 {1} 在此期间已被他人改动"},
    {TeamReason::kGone, "team server {1} was deleted meanwhile",
     "团队服务器 {1} 在此期间已被删除"},
    {TeamReason::kDoesNotOpen, "the password of team server {1} does not open: it was changed, or sealed under another key",
     "团队服务器 {1} 的密码无法解开：它被改动过，或是用另一个密钥加密的"},
    {TeamReason::kMembershipDoesNotOpen, "the file's team membership does not open with its login key: it or its connection string was changed",
     "该文件的团队成员信息无法用其登录密钥解开：它或其连接字符串被改动过"},
    {TeamReason::kTimedOut, "the database server {0} did not answer within {2} seconds",
     "数据库服务器 {0} 在 {2} 秒内没有回答"},
    {TeamReason::kServerTooOld, "the database server {0} runs PostgreSQL {2}: a team needs PostgreSQL 13 or later",
     "数据库服务器 {0} 的版本是 {2}：团队需要 13 或更新的版本"},
    {TeamReason::kOldSchema, "the team's list was made by an earlier version of this program: make it anew with team init in a new database, and push the servers to it",
     "团队的列表由本程序的旧版本建立：请用 team init 在新的数据库中重建，再把服务器推送过去"},
    {TeamReason::kNotAdministrator, "only the team's administrator (a member of the database role {2}) may do this",
     "只有团队的管理员（数据库角色 {2} 的成员）可以这样做"},
    {TeamReason::kBadDatabaseName, "the team's roles are named after its database, and \"{2}\" cannot name them: use a database whose name has only lower-case letters, digits and _, at most 50 of them, not starting with a digit",
     "团队的角色以其数据库命名，而“{2}”不能用来命名角色：请使用名称只含小写字母、数字和 _、最多 50 个字符且不以数字开头的数据库"},
};
// clang-format on

const std::size_t kTeamReasonTableSize = std::size(kTeamReasonTable);
static_assert(std::size(kTeamReasonTable) == static_cast<std::size_t>(TeamReason::kCount) - 1,
              "every reason but kNone has its line in the table");

std::string Say(const TeamError& error, const std::string& server) {
  const auto index = static_cast<std::size_t>(error.reason);
  if (index == 0 || index > kTeamReasonTableSize) return error.detail;
  const TeamReasonText& entry = kTeamReasonTable[index - 1];
  const std::string row = std::to_string(error.row);
  return FillIn(CurrentLanguage() == Language::kChinese ? entry.chinese : entry.english,
                {server, row, error.detail});
}

}  // namespace korvane::tool
