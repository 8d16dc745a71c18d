// `StopSignal`: a worker's stop request as its own thread sees it. `WorkerThread` owns one per
// thread; the worker polls it between steps and its waits end at once when the request comes.
//
// WARNING: it is a mutex, a condition variable and a flag of our own on purpose. Waiting on a
// std::stop_token (std::condition_variable_any's stop_token waits) registers a stop_callback,
// and mingw-w64's libstdc++ (GCC 12) can lose a wake-up inside ~stop_callback: the thread that
// asked for the stop then hangs joining the worker. No wait here relies on a stop_callback.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stop_token>

namespace korvan {

class StopSignal {
 public:
  StopSignal() = default;
  StopSignal(const StopSignal&) = delete;
  StopSignal& operator=(const StopSignal&) = delete;

  // Asks the worker to end: every wait returns and Token() reports the stop. Any thread; a
  // second request changes nothing.
  void Request();

  // True once Request() was called. Any thread; does not block.
  bool Requested() const { return source_.stop_requested(); }

  // For code below the workers that only polls a std::stop_token between commands (the copies,
  // the region writers): it stops together with this signal. Never wait on it.
  std::stop_token Token() const { return source_.get_token(); }

  // Sleeps for `duration`; false when the request ended the sleep early (or came before).
  bool SleepUnlessStopped(std::chrono::milliseconds duration) const;

  // A parked worker: does nothing more until the request comes.
  void WaitForStop() const;

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable wake_;
  bool requested_ = false;  // guarded by mutex_; the waits' condition
  std::stop_source source_;
};

}  // namespace korvan
