#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <stop_token>
#include <thread>

#include "app/worker_thread.h"

namespace korvan {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TEST(StopSignalTest, SleepRunsItsCourseWithoutARequestAndEndsAtOnceAfterOne) {
  StopSignal signal;
  EXPECT_TRUE(signal.SleepUnlessStopped(10ms));
  EXPECT_FALSE(signal.Requested());
  signal.Request();
  const auto start = Clock::now();
  EXPECT_FALSE(signal.SleepUnlessStopped(60s));
  signal.WaitForStop();  // returns: the request came before the wait
  EXPECT_LT(Clock::now() - start, 5s);
  EXPECT_TRUE(signal.Token().stop_requested());
}

// Stop reaches a worker inside each of its waits, again and again: a lost wake-up would leave
// Stop waiting out its deadline (and report the thread as let go).
TEST(WorkerThreadTest, StopEndsAWaitingWorkerEveryTime) {
  const std::function<void(const StopSignal&)> bodies[] = {
      [](const StopSignal& stop) { stop.WaitForStop(); },
      [](const StopSignal& stop) { EXPECT_FALSE(stop.SleepUnlessStopped(60s)); },
      [](const StopSignal& stop) {
        const std::stop_token token = stop.Token();
        while (!token.stop_requested()) {
          std::this_thread::yield();
        }
      },
  };
  for (const auto& body : bodies) {
    WorkerThread worker;
    for (int round = 0; round < 200; ++round) {
      worker.Start(body);
      ASSERT_TRUE(worker.Stop(StopDeadlineFromNow(10s))) << "round " << round;
    }
  }
}

TEST(WorkerThreadTest, StartAgainAfterARunThatEndedOnItsOwn) {
  WorkerThread worker;
  std::atomic<int> runs{0};
  for (int i = 0; i < 3; ++i) {
    std::promise<void> ran;
    worker.Start([&](const StopSignal&) {
      ++runs;
      ran.set_value();
    });
    ran.get_future().wait();
  }
  EXPECT_TRUE(worker.Stop(StopDeadlineFromNow()));
  EXPECT_EQ(runs, 3);
}

// A worker held in a device command past the deadline is let go; its stop signal stays alive
// for it after the wrapper is gone, and it sees the request once the command returns.
TEST(WorkerThreadTest, AWorkerPastTheDeadlineIsLetGoAndStillSeesTheRequest) {
  auto command = std::make_shared<std::promise<void>>();
  auto released = command->get_future().share();
  // Shared with the thread, which outlives this test's frame.
  auto sawStop = std::make_shared<std::promise<bool>>();
  auto sawStopResult = sawStop->get_future();
  {
    WorkerThread worker;
    worker.Start([released, sawStop](const StopSignal& stop) {
      released.wait();  // the stuck command
      sawStop->set_value(stop.Requested() && !stop.SleepUnlessStopped(60s));
    });
    const auto start = Clock::now();
    EXPECT_FALSE(worker.Stop(StopDeadlineFromNow(100ms)));
    EXPECT_LT(Clock::now() - start, 5s);
  }
  command->set_value();
  ASSERT_EQ(sawStopResult.wait_for(10s), std::future_status::ready);
  EXPECT_TRUE(sawStopResult.get());
}

}  // namespace
}  // namespace korvan
