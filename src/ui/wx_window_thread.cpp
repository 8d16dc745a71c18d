#include "ui/wx_window_thread.h"

#include <wx/app.h>

namespace korvan::ui {

WxWindowThread::WxWindowThread() : queue_(std::make_shared<TaskQueue>()) {}

WxWindowThread::~WxWindowThread() {
  Close();
}

bool WxWindowThread::Post(std::function<void()> task) {
  if (!queue_->Post(std::move(task))) {
    return false;
  }
  // CallAfter queues an event, which is safe from any thread. The queue runs everything posted
  // so far; a wake-up that finds nothing left does nothing.
  if (wxTheApp != nullptr) {
    wxTheApp->CallAfter([queue = queue_] { queue->RunPending(); });
  }
  return true;
}

void WxWindowThread::Close() {
  queue_->Close();
}

}  // namespace korvan::ui
