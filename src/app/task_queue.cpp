#include "app/task_queue.h"

#include <utility>

namespace korvan {

TaskQueue::~TaskQueue() {
  Close();
}

bool TaskQueue::Post(std::function<void()> task) {
  {
    std::lock_guard lock(mutex_);
    if (closed_) {
      return false;
    }
    tasks_.push_back(std::move(task));
  }
  arrived_.notify_all();
  return true;
}

int TaskQueue::RunPending() {
  int ran = 0;
  for (;;) {
    std::function<void()> task;
    {
      std::lock_guard lock(mutex_);
      if (tasks_.empty()) {
        return ran;
      }
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    task();
    ++ran;
  }
}

bool TaskQueue::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (done()) {
      return true;
    }
    std::function<void()> task;
    {
      std::unique_lock lock(mutex_);
      if (!arrived_.wait_until(lock, deadline, [this] { return !tasks_.empty() || closed_; }) ||
          tasks_.empty()) {
        return done();
      }
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    task();
  }
}

void TaskQueue::Close() {
  std::deque<std::function<void()>> dropped;
  {
    std::lock_guard lock(mutex_);
    closed_ = true;
    dropped.swap(tasks_);
  }
  arrived_.notify_all();
  // Destroyed outside the lock: a dropped task may release a waiting worker.
}

}  // namespace korvan
