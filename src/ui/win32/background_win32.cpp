// Work that would hold up a window runs on a thread of its own; its end comes back to the
// window as a posted message, so that what follows runs on the window's thread. And the busy
// pointer, which has to outlast the message loop running meanwhile.
#include <system_error>
#include <thread>

#include "ui/win32/ids_win32.h"
#include "ui/win32/window_win32.h"

namespace korvane {
namespace {

bool busyPointer = false;

}  // namespace

void Win32Window::RunInBackground(std::function<void()> work, std::function<void()> done) {
  if (!hwnd_) return;
  const WPARAM job = ++nextJob_;
  pendingDone_[job] = std::move(done);
  // The thread holds the mailbox, never the window: it may outlive both the window and this
  // object, and it ends with the process if the program ends first.
  auto run = [work = std::move(work), mailbox = mailbox_, job] {
    work();
    std::lock_guard<std::mutex> lock(mailbox->mutex);
    if (mailbox->window) PostMessageW(mailbox->window, kBackgroundDoneMessage, job, 0);
  };
  try {
    std::thread(run).detach();
  } catch (const std::system_error&) {
    // No thread to be had: the window waits for the work, as it would have without one.
    run();
  }
}

void Win32Window::OnBackgroundDone(WPARAM job) {
  // Taking the lock the thread posted under makes what its work wrote visible here.
  { std::lock_guard<std::mutex> lock(mailbox_->mutex); }
  const auto found = pendingDone_.find(job);
  if (found == pendingDone_.end()) return;
  const std::function<void()> done = std::move(found->second);
  pendingDone_.erase(found);
  // May destroy the window, and this object with it.
  done();
}

void SetBusyPointer(bool busy) {
  busyPointer = busy;
  SetCursor(LoadCursorW(nullptr, busy ? IDC_WAIT : IDC_ARROW));
}

bool Win32Window::BusyPointerShown() { return busyPointer; }

}  // namespace korvane
