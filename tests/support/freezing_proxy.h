// A TCP proxy on 127.0.0.1 in front of a server on 127.0.0.1, which can be frozen: it then
// stops accepting, reading and forwarding, and keeps every socket open. That is how a server
// whose processes were stopped looks from outside: its kernel still takes connections into
// the backlog and acknowledges what is sent, so no timeout of TCP's ever fires.
// POSIX sockets: the native tests use it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace korvane::testing {

class FreezingProxy {
 public:
  explicit FreezingProxy(int serverPort);
  ~FreezingProxy();
  FreezingProxy(const FreezingProxy&) = delete;
  FreezingProxy& operator=(const FreezingProxy&) = delete;

  // The port it listens on; 0 when it could not listen.
  int port() const { return port_; }
  // Returns once nothing more is forwarded. Should nobody thaw it within `limit`, it thaws by
  // itself, so that a program waiting on it ends its wait, and says so in ThawedByItself.
  void Freeze(std::chrono::seconds limit = std::chrono::seconds(60));
  void Thaw();
  bool ThawedByItself();

 private:
  void Forward();
  void Wake();

  int serverPort_, port_ = 0;
  int listener_ = -1;
  int wake_[2] = {-1, -1};
  std::vector<std::pair<int, int>> pairs_;  // client, server
  std::mutex mutex_;
  std::condition_variable changed_;
  bool frozen_ = false, parked_ = false, stop_ = false, thawedByItself_ = false;
  std::chrono::steady_clock::time_point thawAt_;
  std::thread thread_;
};

}  // namespace korvane::testing
