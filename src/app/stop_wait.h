// Waits of the workers that end at once when the program closes (the thread's stop request).
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stop_token>

namespace korvan {

// Sleeps for `duration`; false when the stop request ended the sleep early (or came before).
inline bool SleepUnlessStopped(std::stop_token stop, std::chrono::milliseconds duration) {
  std::mutex mutex;
  std::condition_variable_any wake;
  std::unique_lock lock(mutex);
  return !wake.wait_for(lock, stop, duration, [] { return false; }) && !stop.stop_requested();
}

// A parked worker: does nothing more until the program asks it to end.
inline void WaitForStop(std::stop_token stop) {
  std::mutex mutex;
  std::condition_variable_any wake;
  std::unique_lock lock(mutex);
  wake.wait(lock, stop, [] { return false; });
}

}  // namespace korvan
