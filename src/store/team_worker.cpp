#include "store/team_worker.h"

#include <deque>
#include <system_error>
#include <thread>
#include <utility>

namespace korvane {

// One worker: its store, and the tasks waiting for it. Its thread holds it to the end, so a
// worker given up lives on as long as its running task does, and no longer.
struct TeamWorker::Line {
  explicit Line(std::shared_ptr<TeamStore> s) : store(std::move(s)) {}
  std::shared_ptr<TeamStore> store;
  std::mutex mutex;
  std::condition_variable wake;
  std::deque<std::shared_ptr<Job>> waiting;
  bool closed = false;
  bool threadless = false;
};

bool TeamWorker::Job::Ended() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return done_;
}

bool TeamWorker::Job::WaitUntilDeadline() const {
  std::unique_lock<std::mutex> lock(mutex_);
  return ended_.wait_until(lock, deadline_, [this] { return done_; });
}

void TeamWorker::Job::Finish(TeamStore& store) {
  {
    // Dropped before the end is told: what the task held (a password among it) goes with it.
    Task task = std::move(task_);
    task(store);
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    done_ = true;
  }
  ended_.notify_all();
}

void TeamWorker::Serve(const std::shared_ptr<Line>& line) {
  for (;;) {
    std::shared_ptr<Job> job;
    {
      std::unique_lock<std::mutex> lock(line->mutex);
      line->wake.wait(lock, [&] { return line->closed || !line->waiting.empty(); });
      if (line->closed) return;
      job = std::move(line->waiting.front());
      line->waiting.pop_front();
    }
    job->Finish(*line->store);
  }
}

TeamWorker::TeamWorker(std::unique_ptr<TeamStore> store, std::chrono::milliseconds bound)
    : bound_(bound), next_(std::move(store)) {}

TeamWorker::~TeamWorker() { GiveUp(); }

std::shared_ptr<TeamWorker::Line> TeamWorker::CurrentLine() {
  if (line_) return line_;
  // The store given up may still be in a call on its thread. A call never changes its
  // connection string, password or key, which is all that a copy reads.
  if (!next_) next_ = givenUp_->Copy();
  givenUp_.reset();
  line_ = std::make_shared<Line>(std::move(next_));
  ++lines_;
  try {
    std::thread([line = line_] { Serve(line); }).detach();
  } catch (const std::system_error&) {
    // No thread to be had: each task runs on the caller's thread, unbounded, as it would
    // have without a worker.
    line_->threadless = true;
  }
  return line_;
}

std::shared_ptr<const TeamWorker::Job> TeamWorker::Start(Task task) {
  const std::shared_ptr<Line> line = CurrentLine();
  auto job = std::make_shared<Job>();
  job->task_ = std::move(task);
  job->deadline_ = Clock::now() + bound_;
  job->worker_ = lines_;
  if (line->threadless) {
    job->Finish(*line->store);
    return job;
  }
  {
    std::lock_guard<std::mutex> lock(line->mutex);
    line->waiting.push_back(job);
  }
  line->wake.notify_one();
  return job;
}

bool TeamWorker::Run(Task task, TeamError& error) {
  const auto job = Start(std::move(task));
  if (job->WaitUntilDeadline()) return true;
  if (Current(job)) GiveUp();
  error = TimedOut();
  return false;
}

bool TeamWorker::Current(const std::shared_ptr<const Job>& job) const { return line_ && job->worker_ == lines_; }

void TeamWorker::GiveUp() {
  if (!line_) return;
  {
    std::lock_guard<std::mutex> lock(line_->mutex);
    line_->closed = true;
    // Never run: their callers are told that nothing was done.
    line_->waiting.clear();
  }
  line_->wake.notify_all();
  givenUp_ = line_->store;
  line_.reset();
}

std::string TeamWorker::ServerName() const {
  // Only read: the worker's thread may be in a call on the same store.
  const TeamStore* store = line_ ? line_->store.get() : next_ ? next_.get() : givenUp_.get();
  return store ? store->ServerName() : std::string();
}

TeamError TeamWorker::TimedOut() const {
  return {TeamReason::kTimedOut, std::to_string(std::chrono::duration_cast<std::chrono::seconds>(bound_).count())};
}

}  // namespace korvane
