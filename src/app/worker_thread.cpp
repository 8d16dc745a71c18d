#include "app/worker_thread.h"

#include <utility>

namespace korvan {

WorkerThread::~WorkerThread() {
  Stop(StopDeadlineFromNow());
}

void WorkerThread::Start(std::function<void(std::stop_token)> body) {
  auto ending = std::make_shared<Ending>();
  ending_ = ending;
  thread_ = std::jthread([ending, body = std::move(body)](std::stop_token stop) {
    body(stop);
    {
      std::lock_guard lock(ending->mutex);
      ending->done = true;
    }
    ending->ended.notify_all();
  });
}

bool WorkerThread::Stop(StopDeadline deadline) {
  if (!thread_.joinable()) {
    return true;
  }
  thread_.request_stop();
  bool done = false;
  {
    std::unique_lock lock(ending_->mutex);
    done = ending_->ended.wait_until(lock, deadline, [this] { return ending_->done; });
  }
  if (!done) {
    thread_.detach();
    return false;
  }
  thread_.join();
  return true;
}

}  // namespace korvan
