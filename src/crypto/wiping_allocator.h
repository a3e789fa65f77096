// Room for secrets that is overwritten before it goes back. A vector that grows moves its
// elements into new room and frees the old: a short string keeps its characters inside the
// element itself, so the old room would go back to the heap with a copy of every short
// password in it, and a moved-from string keeps all of its characters but the first.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "crypto/crypto.h"

namespace korvane::crypto {

template <typename T>
struct WipingAllocator {
  using value_type = T;

  WipingAllocator() = default;
  template <typename U>
  WipingAllocator(const WipingAllocator<U>&) noexcept {}

  T* allocate(std::size_t n) { return std::allocator<T>().allocate(n); }
  void deallocate(T* p, std::size_t n) noexcept {
    Wipe(p, n * sizeof(T));
    std::allocator<T>().deallocate(p, n);
  }

  template <typename U>
  bool operator==(const WipingAllocator<U>&) const noexcept {
    return true;
  }
};

// Texts of which some are secrets, such as the fields of a line of a CSV of servers.
using WipedStrings = std::vector<std::string, WipingAllocator<std::string>>;

}  // namespace korvane::crypto
