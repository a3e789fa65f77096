// The reasons the data file's code gives, as korvane-data says them.
#include <iterator>
#include <string>

#include "datatool/messages.h"

namespace korvane::tool {

// The English texts are the ones the tool has always printed: scripts may read them.
// clang-format off
const StoreReasonText kStoreReasonTable[] = {
    {StoreReason::kNoPath, "no path given",
     "没有给出路径"},
    {StoreReason::kCannotLookAtPath, "{0}: cannot look at the path: {2}",
     "{0}：无法查看该路径：{2}"},
    {StoreReason::kExists, "{0}: already exists; the tool never overwrites a data file",
     "{0}：已存在；本工具绝不覆盖数据文件"},
    {StoreReason::kScratchInTheWay, "{0}: cannot create: a file of the same scratch name is in the way",
     "{0}：无法创建：有一个同名的临时文件挡住了"},
    {StoreReason::kCannotCreate, "{0}: cannot create: {2}",
     "{0}：无法创建：{2}"},
    {StoreReason::kCannotFill, "{0}: cannot fill the new data file: {2}",
     "{0}：无法填充新的数据文件：{2}"},
    {StoreReason::kProtectedAlready, "the file is protected already",
     "文件已受保护"},
    {StoreReason::kNotProtected, "the file is not protected",
     "文件未受保护"},
    {StoreReason::kNotLoginPassword, "that is not the login password",
     "这不是登录密码"},
    {StoreReason::kProtectionChanged, "the file's protection or login password changed since the login",
     "自登录以来，文件的保护或登录密码已被改动"},
    {StoreReason::kCryptographyRefused, "the system's cryptography ({2}) refused",
     "系统的加密功能（{2}）拒绝执行"},
    {StoreReason::kServerCannotBeSealed, "the password of server {1} cannot be sealed: the system's cryptography refused",
     "服务器 {1} 的密码无法加密：系统的加密功能拒绝执行"},
    {StoreReason::kServerDoesNotOpen, "the password of server {1} does not open: it was changed, sealed under another key, or its host was changed",
     "服务器 {1} 的密码无法解开：它被改动过、用另一个密钥加密，或其主机被改动过"},
    {StoreReason::kCannotWrite, "cannot write: {2}",
     "无法写入：{2}"},
    {StoreReason::kCannotMarkProtected, "cannot mark the file as protected: {2}",
     "无法将文件标记为受保护：{2}"},
    {StoreReason::kCannotReadPasswords, "cannot read the server passwords: {2}",
     "无法读取服务器密码：{2}"},
    {StoreReason::kCannotWritePasswords, "cannot write the server passwords: {2}",
     "无法写入服务器密码：{2}"},
    {StoreReason::kCannotWriteServerPassword, "cannot write the password of server {1}: {2}",
     "无法写入服务器 {1} 的密码：{2}"},
    {StoreReason::kCannotWriteLoginPassword, "cannot write the login password: {2}",
     "无法写入登录密码：{2}"},
    {StoreReason::kRebuildFailed, "protected, but rebuilding the file failed: {2}; old passwords may remain in plain text in its free space",
     "已受保护，但重建文件失败：{2}；其空闲空间中可能仍留有明文的旧密码"},
    {StoreReason::kNotTeamMember, "the file belongs to no team",
     "该文件不属于任何团队"},
    {StoreReason::kTeamMember, "the file belongs to a team: leave the team first (team leave)",
     "该文件属于一个团队：请先退出团队"},
    {StoreReason::kMembershipDoesNotOpen, "the file's team membership does not open with its login key: it was changed or copied from another file",
     "该文件的团队成员信息无法用其登录密钥解开：它被改动过，或是从另一个文件复制来的"},
    {StoreReason::kCannotReadMembership, "cannot read the file's team membership: {2}",
     "无法读取文件的团队成员信息：{2}"},
};
// clang-format on

const std::size_t kStoreReasonTableSize = std::size(kStoreReasonTable);
static_assert(std::size(kStoreReasonTable) == static_cast<std::size_t>(StoreReason::kCount) - 1,
              "every reason but kNone has its line in the table");

std::string Say(const StoreError& error) {
  const auto index = static_cast<std::size_t>(error.reason);
  // kNone: nothing was refused, or code that forgot to say why; the tool still says something.
  if (index == 0 || index > kStoreReasonTableSize) return error.detail;
  const StoreReasonText& entry = kStoreReasonTable[index - 1];
  const std::string server = std::to_string(error.server);
  return FillIn(CurrentLanguage() == Language::kChinese ? entry.chinese : entry.english,
                {error.path, server, error.detail});
}

}  // namespace korvane::tool
