#include "app/worker_thread.h"

#include <utility>

namespace korvan {

WorkerThread::~WorkerThread() {
  Stop(StopDeadlineFromNow());
}

void WorkerThread::Start(std::function<void(const StopSignal&)> body) {
  if (thread_.joinable()) {
    // The previous run has ended (see Start's contract) but its thread may still be returning
    // from the body; a std::thread must be joined before it is replaced.
    shared_->stop.Request();
    thread_.join();
  }
  auto shared = std::make_shared<Shared>();
  shared_ = shared;
  thread_ = std::thread([shared, body = std::move(body)] {
    body(shared->stop);
    {
      std::lock_guard lock(shared->mutex);
      shared->done = true;
    }
    shared->ended.notify_all();
  });
}

bool WorkerThread::Stop(StopDeadline deadline) {
  if (!thread_.joinable()) {
    return true;
  }
  shared_->stop.Request();
  bool done = false;
  {
    std::unique_lock lock(shared_->mutex);
    done = shared_->ended.wait_until(lock, deadline, [this] { return shared_->done; });
  }
  if (!done) {
    thread_.detach();
    return false;
  }
  thread_.join();
  return true;
}

}  // namespace korvan
