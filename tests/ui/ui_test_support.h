// Helpers of the window tests: pumping the event loop until something holds.
#pragma once

#include <wx/app.h>
#include <wx/utils.h>

#include <chrono>
#include <functional>
#include <thread>

namespace korvan::testing {

// Processes pending events (posted tasks, paints, timers) for about `duration`.
inline void PumpEvents(std::chrono::milliseconds duration = std::chrono::milliseconds(50)) {
  const auto end = std::chrono::steady_clock::now() + duration;
  do {
    wxTheApp->ProcessPendingEvents();
    wxYield();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  } while (std::chrono::steady_clock::now() < end);
}

// Processes events until `done()` holds or `timeout` passes; returns whether it held.
inline bool PumpUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds timeout = std::chrono::seconds(30)) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end) {
      return false;
    }
    wxTheApp->ProcessPendingEvents();
    wxYield();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

}  // namespace korvan::testing
