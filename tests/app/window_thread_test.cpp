#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "app/task_queue.h"

namespace korvan {
namespace {

using namespace std::chrono_literals;

TEST(TaskQueueTest, TasksFromOtherThreadsRunInOrderOnThePumpingThread) {
  TaskQueue queue;
  std::vector<int> seen;  // touched only by the pumping thread
  const auto pumpingThread = std::this_thread::get_id();
  std::thread worker([&] {
    for (int i = 0; i < 100; ++i) {
      queue.Post([&seen, i, pumpingThread] {
        EXPECT_EQ(std::this_thread::get_id(), pumpingThread);
        seen.push_back(i);
      });
    }
  });
  EXPECT_TRUE(queue.RunUntil([&] { return seen.size() == 100; }, 10s));
  worker.join();
  for (int i = 0; i < 100; ++i) {
    EXPECT_EQ(seen[static_cast<size_t>(i)], i);
  }
}

TEST(TaskQueueTest, PostAndWaitBlocksUntilTheTaskHasRun) {
  TaskQueue queue;
  std::atomic<bool> returned{false};
  bool ran = false;
  std::thread worker([&] {
    EXPECT_TRUE(PostAndWait(queue, [&ran] { ran = true; }));
    returned = true;
  });
  EXPECT_TRUE(queue.RunUntil([&] { return ran; }, 10s));
  worker.join();
  EXPECT_TRUE(returned);
}

TEST(TaskQueueTest, ClosingReleasesAWaitingWorker) {
  // Whether the window closes before the worker posts or while its task waits in the queue,
  // the worker is released with "not run" instead of waiting for ever.
  TaskQueue queue;
  std::atomic<int> result{-1};
  std::thread worker([&] {
    result = PostAndWait(queue, [] { ADD_FAILURE() << "a dropped task never runs"; }) ? 1 : 0;
  });
  queue.Close();
  worker.join();
  EXPECT_EQ(result, 0);
  EXPECT_FALSE(queue.Post([] {}));
}

}  // namespace
}  // namespace korvan
