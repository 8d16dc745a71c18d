// Ctrl+C (SIGINT) and SIGTERM on the command line. The signals are taken by a thread of their
// own instead of a handler, so that what they do is ordinary code: the running session is told
// on its own thread (its workers stop and the program leaves with 130), and if that has not
// happened within a short time, because a device that stopped answering holds the main thread
// inside a command, the watch ends the process itself.
#pragma once

#include <chrono>
#include <functional>

namespace korvan::cli {

inline constexpr int kInterruptedExit = 130;  // as a shell reports a run ended by Ctrl+C
// How long the watch gives the session to leave before it ends the process.
inline constexpr std::chrono::milliseconds kInterruptGrace{1500};

// Blocks SIGINT and SIGTERM in the calling thread (and so in every thread started after it)
// and starts the thread that takes them. Call once, first thing in main, before any other
// thread exists. Without it (as in tests) the signals keep their usual effect.
void StartInterruptWatch();

// While an object lives, a signal calls `onInterrupt` (from the watch's thread; it should post
// to the session's own thread). One at a time; the last one made wins.
class InterruptHandlerScope {
 public:
  explicit InterruptHandlerScope(std::function<void()> onInterrupt);
  ~InterruptHandlerScope();
  InterruptHandlerScope(const InterruptHandlerScope&) = delete;
  InterruptHandlerScope& operator=(const InterruptHandlerScope&) = delete;
};

}  // namespace korvan::cli
