// Posting to the window from other threads: order, and what a closed window does with tasks.
#include "ui/wx_window_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "tests/ui/ui_test_support.h"

namespace korvan::ui {
namespace {

using korvan::testing::PumpUntil;

TEST(WxWindowThreadTest, RunsTasksFromAnotherThreadInOrderOnTheGuiThread) {
  WxWindowThread window;
  const auto gui = std::this_thread::get_id();
  std::vector<int> ran;
  bool allOnGui = true;
  std::thread worker([&] {
    for (int i = 0; i < 100; ++i) {
      window.Post([&, i] {
        ran.push_back(i);
        allOnGui = allOnGui && std::this_thread::get_id() == gui;
      });
    }
  });
  worker.join();
  ASSERT_TRUE(PumpUntil([&] { return ran.size() == 100; }));
  EXPECT_TRUE(allOnGui);
  for (int i = 0; i < 100; ++i) {
    EXPECT_EQ(ran[static_cast<size_t>(i)], i);
  }
}

TEST(WxWindowThreadTest, AClosedWindowDropsTasksAndReleasesAWaitingWorker) {
  auto window = std::make_unique<WxWindowThread>();
  std::atomic<bool> ran{false};
  std::atomic<int> waited{-1};
  std::thread worker([&] { waited = PostAndWait(*window, [&] { ran = true; }) ? 1 : 0; });
  // The worker waits on a task the GUI thread has not run yet (no events are processed
  // here); then the window closes.
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  window->Close();
  worker.join();
  korvan::testing::PumpEvents();  // the wake-up left in the event queue finds nothing to run
  EXPECT_FALSE(ran);
  EXPECT_EQ(waited, 0);
  EXPECT_FALSE(window->Post([&] { ran = true; }));
  window.reset();
  korvan::testing::PumpEvents();
  EXPECT_FALSE(ran);
}

}  // namespace
}  // namespace korvan::ui
