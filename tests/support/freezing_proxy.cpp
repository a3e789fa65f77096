#include "support/freezing_proxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace korvane::testing {
namespace {

sockaddr_in Local(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

// All of it, or false when the other end has gone.
bool SendAll(int socket, const char* data, ssize_t size) {
  while (size > 0) {
    const ssize_t sent = send(socket, data, static_cast<size_t>(size), MSG_NOSIGNAL);
    if (sent <= 0) return false;
    data += sent;
    size -= sent;
  }
  return true;
}

}  // namespace

FreezingProxy::FreezingProxy(int serverPort) : serverPort_(serverPort) {
  listener_ = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = Local(0);
  socklen_t size = sizeof address;
  if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
      listen(listener_, 16) != 0 || getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0 ||
      pipe(wake_) != 0) {
    return;
  }
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { Forward(); });
}

FreezingProxy::~FreezingProxy() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  Wake();
  if (thread_.joinable()) thread_.join();
  for (auto [client, server] : pairs_) {
    close(client);
    close(server);
  }
  for (int fd : {listener_, wake_[0], wake_[1]}) {
    if (fd >= 0) close(fd);
  }
}

void FreezingProxy::Wake() {
  if (wake_[1] >= 0) (void)!write(wake_[1], "w", 1);
}

void FreezingProxy::Freeze(std::chrono::seconds limit) {
  std::unique_lock<std::mutex> lock(mutex_);
  frozen_ = true;
  thawAt_ = std::chrono::steady_clock::now() + limit;
  Wake();
  changed_.wait(lock, [this] { return parked_ || !thread_.joinable(); });
}

void FreezingProxy::Thaw() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    frozen_ = false;
  }
  changed_.notify_all();
}

bool FreezingProxy::ThawedByItself() {
  std::lock_guard<std::mutex> lock(mutex_);
  return thawedByItself_;
}

void FreezingProxy::Forward() {
  char buffer[16384];
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      parked_ = frozen_;
      changed_.notify_all();
      if (frozen_ && !changed_.wait_until(lock, thawAt_, [this] { return stop_ || !frozen_; })) {
        frozen_ = false;
        thawedByItself_ = true;
      }
      parked_ = false;
      if (stop_) return;
    }
    std::vector<pollfd> polled = {{wake_[0], POLLIN, 0}, {listener_, POLLIN, 0}};
    for (auto [client, server] : pairs_) {
      polled.push_back({client, POLLIN, 0});
      polled.push_back({server, POLLIN, 0});
    }
    if (poll(polled.data(), polled.size(), -1) <= 0) continue;
    if (polled[0].revents != 0) {
      (void)!read(wake_[0], buffer, sizeof buffer);
      continue;  // frozen or stopped meanwhile: seen at the top
    }
    if (polled[1].revents != 0) {
      const int client = accept(listener_, nullptr, nullptr);
      const int server = socket(AF_INET, SOCK_STREAM, 0);
      const sockaddr_in address = Local(serverPort_);
      if (client >= 0 && server >= 0 && connect(server, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        pairs_.emplace_back(client, server);
      } else {
        if (client >= 0) close(client);
        if (server >= 0) close(server);
      }
    }
    for (std::size_t i = 2; i < polled.size(); ++i) {
      if (polled[i].revents == 0) continue;
      auto& pair = pairs_[(i - 2) / 2];
      if (pair.first < 0) continue;
      const bool fromClient = (i - 2) % 2 == 0;
      const ssize_t got = read(polled[i].fd, buffer, sizeof buffer);
      if (got > 0 && SendAll(fromClient ? pair.second : pair.first, buffer, got)) continue;
      // One end went: the other is closed too, as the server's would be.
      close(pair.first);
      close(pair.second);
      pair = {-1, -1};
    }
    std::erase_if(pairs_, [](const auto& pair) { return pair.first < 0; });
  }
}

}  // namespace korvane::testing
