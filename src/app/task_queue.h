// A WindowThread whose "window thread" is whichever thread calls the Run functions: the
// command line's main thread, or a test. Tasks posted from any thread run there in order.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

#include "app/window_thread.h"

namespace korvan {

class TaskQueue final : public WindowThread {
 public:
  ~TaskQueue() override;

  bool Post(std::function<void()> task) override;

  // Runs the tasks queued now and those they queue, until the queue is empty. Returns how
  // many ran.
  int RunPending();
  // Runs tasks as they arrive until `done()` holds after a task (or before the first) or
  // `timeout` passes. Returns whether `done()` held.
  bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
  // Refuses further tasks and drops the queued ones (their waiters are released).
  void Close();

 private:
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::deque<std::function<void()>> tasks_;
  bool closed_ = false;
};

}  // namespace korvan
