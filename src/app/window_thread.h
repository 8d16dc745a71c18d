// How workers hand their visible steps to the window thread: posted tasks that run there in
// the order they were posted. The wxWidgets window implements it with CallAfter; the command
// line and the tests pump a TaskQueue on their main thread.
#pragma once

#include <functional>

namespace korvan {

class WindowThread {
 public:
  virtual ~WindowThread() = default;
  // Queues `task` to run on the window thread after every task posted before it. Any thread.
  // Returns false when the window is gone; the task is then dropped unrun.
  virtual bool Post(std::function<void()> task) = 0;
};

// Runs `task` on the window thread and waits until it has run: for a modal message box that
// must block its worker until it is closed. Returns false when the task was dropped unrun
// (the window closed), so the worker can end instead of waiting for ever.
bool PostAndWait(WindowThread& window, std::function<void()> task);

}  // namespace korvan
