// `WorkerThread`: a worker's thread that the program can always end on time. A device that
// stops answering holds its thread inside one command for the channel's whole time-out (over
// an hour), and no stop request reaches into the command; closing the program must not wait
// for it. The thread's stop request is a `StopSignal` the wrapper owns (see there why it is not
// std::jthread's stop token).
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "app/stop_signal.h"

namespace korvan {

// How long closing waits for the workers to end before it lets them go.
inline constexpr std::chrono::milliseconds kStopGrace{1000};

using StopDeadline = std::chrono::steady_clock::time_point;

inline StopDeadline StopDeadlineFromNow(std::chrono::milliseconds grace = kStopGrace) {
  return std::chrono::steady_clock::now() + grace;
}

class WorkerThread {
 public:
  WorkerThread() = default;
  // Stops the thread as Stop(StopDeadlineFromNow()) does.
  ~WorkerThread();
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  // Runs `body` on a new thread with that thread's stop signal, which stays alive as long as
  // the thread runs. A previous thread must have been stopped.
  void Start(std::function<void(const StopSignal&)> body);

  // Asks the thread to end and waits for it until `deadline`. True when no thread runs any
  // more. False when the thread is still busy at the deadline (stuck in a device command):
  // it is then let go, and whatever it uses must stay alive until the process ends, so the
  // front end leaves without destroying it.
  bool Stop(StopDeadline deadline);

 private:
  struct Shared {
    StopSignal stop;
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;  // guarded by mutex: the body has returned
  };

  std::shared_ptr<Shared> shared_;  // shared with the thread, which may outlive this object
  std::thread thread_;
};

}  // namespace korvan
