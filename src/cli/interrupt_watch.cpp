#include "cli/interrupt_watch.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <pthread.h>
#include <signal.h>
#include <unistd.h>
#endif

#include <atomic>
#include <cerrno>
#include <cstdio>
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
#ifdef _WIN32
  std::fwrite(kText, 1, sizeof kText - 1, stderr);
  std::fflush(stderr);
#else
  [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, kText, sizeof kText - 1);
#endif
  std::_Exit(kInterruptedExit);
}

#ifdef _WIN32
// Windows has no signals to wait for: the console calls this on a thread it starts for each
// Ctrl+C, Ctrl+Break or closing of the window, which plays the watch's part.
BOOL WINAPI OnConsoleInterrupt(DWORD) {
  static std::atomic<bool> interrupted{false};
  if (interrupted.exchange(true)) {
    LeaveNow();  // a second interrupt: the session could not leave
  }
  {
    std::lock_guard lock(HandlerMutex());
    if (!Handler()) {
      LeaveNow();  // no session with workers to stop
    }
    Handler()();
  }
  // The session leaves by itself within the workers' grace period; the process ends with it.
  std::this_thread::sleep_for(kInterruptGrace);
  LeaveNow();
}
#else
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
#endif

}  // namespace

void StartInterruptWatch() {
#ifdef _WIN32
  ::SetConsoleCtrlHandler(OnConsoleInterrupt, TRUE);
#else
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::thread(Watch, signals).detach();
#endif
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
