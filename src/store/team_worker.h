// A team's store on a thread of its own, so that a database server that stops answering costs
// the window a few seconds at most instead of its thread.
//
// A server whose processes are stopped still has its kernel accept connections and acknowledge
// what is sent: no TCP timeout ever fires, and a call on it waits as long as the server stays
// stopped. So the calls run one after another on a worker thread that owns the store, and a
// caller waits for one at most the bound. When the bound passes, the worker is given up with
// its store: the call may still return one day, and the thread then frees the store and ends.
// The next call goes to a fresh worker with a copy of the store, which connects anew.
//
// A task owns everything it works on (copies of its arguments, and a shared place for its
// results): an abandoned task may run long after its caller has gone.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "store/team.h"

namespace korvane {

// How long a window waits for one call of the team's database. Longer than the driver's own
// connect timeout, so that a server that is merely down is reported with the driver's reason.
inline constexpr int kTeamCallSeconds = 6;

class TeamWorker {
 public:
  using Task = std::function<void(TeamStore&)>;
  using Clock = std::chrono::steady_clock;

  // A task started without waiting for it. It lives as long as anyone holds it, whatever
  // becomes of the worker, so that a thread other than the caller's may wait on it.
  class Job {
   public:
    bool Ended() const;
    // Returns when the task has ended (true) or at its deadline, whichever comes first.
    bool WaitUntilDeadline() const;
    Clock::time_point Deadline() const { return deadline_; }

   private:
    friend class TeamWorker;
    void Finish(TeamStore& store);
    Task task_;
    Clock::time_point deadline_;
    unsigned long long worker_ = 0;  // which of the workers it was started on
    mutable std::mutex mutex_;
    mutable std::condition_variable ended_;
    bool done_ = false;
  };

  explicit TeamWorker(std::unique_ptr<TeamStore> store,
                      std::chrono::milliseconds bound = std::chrono::seconds(kTeamCallSeconds));
  // Tasks not yet started are dropped; the one running finishes on its thread, unwaited.
  ~TeamWorker();
  TeamWorker(const TeamWorker&) = delete;
  TeamWorker& operator=(const TeamWorker&) = delete;

  // Runs `task` after those started before it and waits for it within the bound. False when
  // the bound passed: `error` then says so, the worker has been given up, and what the task
  // was to fill in must not be read, for it may still be running.
  bool Run(Task task, TeamError& error);
  // Starts `task` after those before it and returns at once.
  std::shared_ptr<const Job> Start(Task task);
  // Whether `job` was started on the worker in use now, not on one given up since: only then
  // is its answer as recent as the store's.
  bool Current(const std::shared_ptr<const Job>& job) const;
  // Leaves the worker and its store to the task running there, drops those waiting after it,
  // and sends the next call to a fresh worker with a copy of the store, not connected.
  void GiveUp();

  // The server named in the store's connection string, for messages.
  std::string ServerName() const;
  TeamError TimedOut() const;

 private:
  struct Line;
  static void Serve(const std::shared_ptr<Line>& line);
  std::shared_ptr<Line> CurrentLine();

  std::chrono::milliseconds bound_;
  std::shared_ptr<Line> line_;
  unsigned long long lines_ = 0;
  // The store the next worker takes; or, after a give-up, the one to copy it from.
  std::shared_ptr<TeamStore> next_, givenUp_;
};

}  // namespace korvane
