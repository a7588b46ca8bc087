#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/dispatch/clock.h"
#include "platform/dispatch/main_queue.h"
#include "platform/dispatch/serial_queue.h"

namespace tavlune::platform {
namespace {

TEST(SerialQueue, RunsItemsInOrderOneAtATimeOffTheCaller) {
  std::vector<int> order;
  std::atomic<int> running{0};
  std::atomic<bool> overlapped{false};
  std::atomic<bool> onWorker{true};
  SerialQueue queue("com.tavlune.test");
  // Posted from several threads at once; each thread's items keep their order.
  std::vector<std::thread> posters;
  std::mutex orderMutex;
  for (int t = 0; t < 4; ++t)
    posters.emplace_back([&, t] {
      for (int i = 0; i < 200; ++i)
        queue.async([&, t, i] {
          if (running.fetch_add(1) != 0) overlapped = true;
          if (!queue.isCurrent()) onWorker = false;
          std::this_thread::yield();
          {
            std::lock_guard lock(orderMutex);
            order.push_back(t * 1000 + i);
          }
          running.fetch_sub(1);
        });
    });
  for (auto& p : posters) p.join();
  queue.waitUntilIdle();
  EXPECT_FALSE(overlapped);
  EXPECT_TRUE(onWorker);
  EXPECT_FALSE(queue.isCurrent());
  ASSERT_EQ(order.size(), 800u);
  std::vector<int> last(4, -1);
  for (int item : order) {
    EXPECT_GT(item % 1000, last[item / 1000]);
    last[item / 1000] = item % 1000;
  }
}

TEST(SerialQueue, DestructionRunsWhatWasPosted) {
  std::atomic<int> ran{0};
  {
    SerialQueue queue("com.tavlune.test");
    for (int i = 0; i < 50; ++i) queue.async([&] { ran++; });
  }
  EXPECT_EQ(ran, 50);
}

TEST(MainQueue, RunServesPostsFromOtherThreadsUntilStopped) {
  MainQueue main;
  SerialQueue worker("com.tavlune.test");
  std::vector<std::string> seen;
  bool onMain = false;
  worker.async([&] {
    main.async([&] { seen.push_back("first"); });
    // A synchronous hop from the worker waits for the main thread to run it.
    main.sync([&] {
      onMain = main.isMainThread();
      seen.push_back("sync");
    });
    seen.push_back("after sync");  // safe: the main thread is idle until the next post
    main.async([&] { main.stop(); });
  });
  main.run();
  EXPECT_TRUE(onMain);
  EXPECT_EQ(seen, (std::vector<std::string>{"first", "sync", "after sync"}));
}

TEST(MainQueue, SyncOnTheMainThreadRunsDirectly) {
  MainQueue main;
  main.adoptCurrentThread();
  bool ran = false;
  main.sync([&] { ran = true; });  // would deadlock if it were posted
  EXPECT_TRUE(ran);
}

TEST(MainQueue, StopLetsEarlierItemsRunAndRunCanBeEnteredAgain) {
  MainQueue main;
  int count = 0;
  main.async([&] { count++; });
  main.stop();
  main.async([&] { count++; });
  main.run();
  EXPECT_EQ(count, 2);
  main.async([&] { count++; });
  main.async([&] { main.stop(); });
  main.run();
  EXPECT_EQ(count, 3);
}

TEST(Clock, SystemClockIsWallClockMilliseconds) {
  SystemClock clock;
  auto before = std::chrono::duration_cast<std::chrono::milliseconds>(
                    std::chrono::system_clock::now().time_since_epoch()).count();
  auto now = clock.nowMilliseconds();
  EXPECT_GE(now, before);
  EXPECT_LT(now - before, 5000);
}

}  // namespace
}  // namespace tavlune::platform
