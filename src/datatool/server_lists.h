// What import and team push say about the lists they add servers to (import/server_writer.h):
// the servers beside others, the counts, and a failure in the tool's words.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <utility>

#include "datatool/commands.h"
#include "import/server_writer.h"
#include "store/team.h"

namespace korvane::tool {

// "web-01 (host 10.0.0.7, port 3389, user ops)", for a message.
std::string RowLabel(const import::ImportedServer& row);

// " (1 already there, 2 skipped)": the counts that are not 0, each worded by its message;
// empty when all are 0.
std::string CountsText(std::initializer_list<std::pair<std::size_t, Msg>> counts);

// Says on `err` why the list of the file at `path` failed, and returns 1. `team` is the store
// of a team's list (null for the file's own); `cannotAdd` words a failed AddAll ({0} the path,
// {1} why).
int SayWriteFailure(const Invocation& call, const std::string& path, const import::WriteFailure& failure,
                    const TeamStore* team, Msg cannotAdd);

}  // namespace korvane::tool
