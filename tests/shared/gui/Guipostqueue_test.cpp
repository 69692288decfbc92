// Calls posted to the window thread: every call runs once, in the order each thread posted them,
// and posting never waits for the window thread.
#include "Guipostqueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

TEST(PostQueue, CallsFromSeveralThreadsRunOnceInTheirOrder) {
  std::atomic<int> wakes{0};
  PostQueue queue([&] { ++wakes; });
  constexpr int kThreads = 4, kCalls = 500;
  std::vector<int> last(kThreads, -1);
  bool inOrder = true;
  int ran = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kCalls; ++i) {
        queue.post([&, t, i] {
          inOrder = inOrder && last[size_t(t)] == i - 1;
          last[size_t(t)] = i;
          ++ran;
        });
      }
    });
  }
  // The window thread runs the queue while the others post.
  while (ran < kThreads * kCalls) queue.runPending();
  for (auto& th : threads) th.join();
  EXPECT_TRUE(inOrder);
  EXPECT_EQ(queue.pending(), 0u);
  EXPECT_GE(wakes.load(), 1);
}

TEST(PostQueue, ACallThatPostsAgainRunsInTheNextRound) {
  int wakes = 0;
  PostQueue queue([&] { ++wakes; });
  std::vector<int> order;
  queue.post([&] {
    order.push_back(1);
    queue.post([&] { order.push_back(3); });
  });
  queue.post([&] { order.push_back(2); });
  EXPECT_EQ(wakes, 1);
  EXPECT_EQ(queue.runPending(), 2u);
  EXPECT_EQ(order, (std::vector<int>{1, 2}));
  EXPECT_EQ(wakes, 2);  // asked to come back for the rest
  queue.runPending();
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

TEST(PostQueue, ANestedLoopKeepsTheOrder) {
  PostQueue queue;
  std::vector<int> order;
  queue.post([&] {
    order.push_back(1);
    // A modal dialog's loop runs the queue too.
    queue.runPending();
    order.push_back(3);
  });
  queue.post([&] { order.push_back(2); });
  queue.post([&] { order.push_back(4); });
  queue.runPending();
  EXPECT_EQ(order, (std::vector<int>{1, 2, 4, 3}));
  EXPECT_EQ(queue.pending(), 0u);
}

}  // namespace
