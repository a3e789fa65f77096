// Host, port and user: what makes two rows the same server, whatever their passwords. Both
// ways of adding many servers (the data file's and the team's) look rows up by it in a hash
// table, so that sorting thousands against thousands costs their sum, not their product.
#pragma once

#include <cstddef>
#include <functional>
#include <string_view>

namespace korvane {

// Views into the rows: no value, and so no password beside it, is copied.
struct ServerKey {
  std::string_view host, port, user;
  bool operator==(const ServerKey&) const = default;
};

struct ServerKeyHash {
  std::size_t operator()(const ServerKey& key) const {
    const std::hash<std::string_view> hash;
    std::size_t seed = hash(key.host);
    for (const std::string_view piece : {key.port, key.user}) seed ^= hash(piece) + 0x9e3779b97f4a7c15u + (seed << 6) + (seed >> 2);
    return seed;
  }
};

}  // namespace korvane
