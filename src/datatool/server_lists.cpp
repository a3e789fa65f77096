#include "datatool/server_lists.h"

#include "datatool/messages.h"

namespace korvane::tool {

std::string RowLabel(const import::ImportedServer& row) {
  return Format(Msg::kImportedServerLabel, Printable(row.remark), Printable(row.host), Printable(row.port),
                Printable(row.user));
}

std::string CountsText(std::initializer_list<std::pair<std::size_t, Msg>> counts) {
  std::string text;
  for (const auto& [count, what] : counts) {
    if (count > 0) text += Format(text.empty() ? Msg::kCountsOpen : Msg::kCountsSeparator) + Format(what, count);
  }
  if (!text.empty()) text += Format(Msg::kCountsClose);
  return text;
}

int SayWriteFailure(const Invocation& call, const std::string& path, const import::WriteFailure& failure,
                    const TeamStore* team, Msg cannotAdd) {
  using Step = import::WriteFailure::Step;
  const std::string why =
      failure.team && team ? Say(*failure.team, Printable(team->ServerName())) : failure.detail;
  switch (failure.step) {
    case Step::kKeys:  // whoever was asked for the login password said why
    case Step::kNone:
      return 1;
    case Step::kRead:
      return Fail(call.err, Format(failure.team ? Msg::kPathProblem : Msg::kCannotReadServers, path, why));
    case Step::kBegin:
      return Fail(call.err, Format(Msg::kCannotWriteNothingImported, path, why));
    case Step::kAdd:
      return Fail(call.err, Format(cannotAdd, path, why));
  }
  return 1;
}

}  // namespace korvane::tool
