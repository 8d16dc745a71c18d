#include "app/stop_signal.h"

namespace korvan {

void StopSignal::Request() {
  // The token first: a wait that returns on the flag finds the pollers' view already stopped.
  source_.request_stop();
  {
    std::lock_guard lock(mutex_);
    requested_ = true;
  }
  wake_.notify_all();
}

bool StopSignal::SleepUnlessStopped(std::chrono::milliseconds duration) const {
  std::unique_lock lock(mutex_);
  return !wake_.wait_for(lock, duration, [this] { return requested_; });
}

void StopSignal::WaitForStop() const {
  std::unique_lock lock(mutex_);
  wake_.wait(lock, [this] { return requested_; });
}

}  // namespace korvan
