// The fields of a server as the data file's table Server names them and as a CSV of servers
// heads them, in the order both give them.
#pragma once

#include <cstddef>
#include <iterator>

namespace korvane::import {

// The server fields that list, export and import show, in their order, with the names the
// tool gives them. The id is left out of a CSV: an imported server gets a new one.
struct ServerField {
  const char* column;
  const char* name;
};
inline constexpr ServerField kServerFields[] = {
    {"服务器名", "host"}, {"端口", "port"}, {"用户名", "user"}, {"密码", "password"}, {"备注", "remark"}};
inline constexpr std::size_t kServerFieldCount = std::size(kServerFields);

}  // namespace korvane::import
