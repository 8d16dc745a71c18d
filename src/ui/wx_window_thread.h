// The window thread of the wxWidgets program: tasks posted from any thread run on the GUI
// thread in the order they were posted. Each post queues the task and wakes the event loop
// with CallAfter; closing drops the queued tasks and refuses new ones, so a worker waiting for
// a message box is released and a late task never touches a closed dialog.
#pragma once

#include <functional>
#include <memory>

#include "app/task_queue.h"
#include "app/window_thread.h"

namespace korvan::ui {

class WxWindowThread final : public WindowThread {
 public:
  WxWindowThread();
  ~WxWindowThread() override;

  bool Post(std::function<void()> task) override;
  // GUI thread. Idempotent.
  void Close();

 private:
  // Shared with the wake-up calls still in the event queue, which may run after this object
  // has gone: they then find the queue closed and empty.
  std::shared_ptr<TaskQueue> queue_;
};

}  // namespace korvan::ui
