#include "cli/interrupt_watch.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <utility>

namespace korvan::cli {
namespace {

// The session's handler, the one piece the watch's thread shares with the main thread.
std::mutex& HandlerMutex() {
  static std::mutex mutex;
  return mutex;
}
std::function<void()>& Handler() {
  static std::function<void()> handler;
  return handler;
}

[[noreturn]] void LeaveNow() {
  static constexpr char kText[] = "\nkorvan: interrupted\n";
  [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, kText, sizeof kText - 1);
  std::_Exit(kInterruptedExit);
}

void Watch(sigset_t signals) {
  int signal = 0;
  while (sigwait(&signals, &signal) != 0) {
  }
  {
    std::lock_guard lock(HandlerMutex());
    if (!Handler()) {
      LeaveNow();  // no session with workers to stop
    }
    Handler()();
  }
  // The session leaves by itself within the workers' grace period; a second signal or the
  // end of this wait means it cannot (a device command holds its thread).
  timespec grace{};
  grace.tv_sec = kInterruptGrace.count() / 1000;
  grace.tv_nsec = (kInterruptGrace.count() % 1000) * 1000000L;
  siginfo_t info{};
  while (sigtimedwait(&signals, &info, &grace) < 0 && errno == EINTR) {
  }
  LeaveNow();
}

}  // namespace

void StartInterruptWatch() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::thread(Watch, signals).detach();
}

InterruptHandlerScope::InterruptHandlerScope(std::function<void()> onInterrupt) {
  std::lock_guard lock(HandlerMutex());
  Handler() = std::move(onInterrupt);
}

InterruptHandlerScope::~InterruptHandlerScope() {
  std::lock_guard lock(HandlerMutex());
  Handler() = nullptr;
}

}  // namespace korvan::cli
