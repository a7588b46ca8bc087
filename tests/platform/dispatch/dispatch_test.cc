#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/dispatch/main_queue.h"
#include "platform/dispatch/serial_queue.h"

namespace tavlune::platform {
namespace {

// Items posted from several threads run one at a time on the worker, each thread's in order, and all of
// them before the queue goes.
TEST(SerialQueue, RunsItemsInOrderOneAtATimeOffTheCaller) {
  std::vector<int> order;
  std::atomic<int> running{0};
  std::atomic<bool> overlappedOrOffWorker{false};
  {
    SerialQueue queue("com.tavlune.test");
    std::vector<std::thread> posters;
    for (int t = 0; t < 4; ++t) {
      posters.emplace_back([&, t] {
        for (int i = 0; i < 200; ++i) {
          queue.async([&, t, i] {
            if (running.fetch_add(1) != 0 || !queue.isCurrent()) overlappedOrOffWorker = true;
            std::this_thread::yield();
            order.push_back(t * 1000 + i);
            running.fetch_sub(1);
          });
        }
      });
    }
    for (auto& p : posters) p.join();
    EXPECT_FALSE(queue.isCurrent());
  }
  EXPECT_FALSE(overlappedOrOffWorker);
  ASSERT_EQ(order.size(), 800u);
  std::vector<int> last(4, -1);
  for (int item : order) EXPECT_GT(item % 1000, std::exchange(last[item / 1000], item % 1000));
}

// Run serves posts from other threads, a sync from another thread waits for the main thread, a sync on it
// runs at once, and items posted before stop still run; run can be entered again.
TEST(MainQueue, RunServesPostsUntilStopped) {
  MainQueue main;
  SerialQueue worker("com.tavlune.test");
  std::vector<std::string> seen;
  worker.async([&] {
    main.async([&] { seen.push_back("first"); });
    main.sync([&] {
      main.sync([&] { seen.push_back(main.isMainThread() ? "sync on main" : "sync elsewhere"); });
    });
    seen.push_back("after sync");  // the main thread is idle until the next post
    main.async([&] { main.stop(); });
  });
  main.run();
  main.async([&] { seen.push_back("before stop"); });
  main.stop();
  main.async([&] { seen.push_back("after stop"); });
  main.run();  // entered again
  EXPECT_EQ(seen, (std::vector<std::string>{"first", "sync on main", "after sync", "before stop", "after stop"}));
}

}  // namespace
}  // namespace tavlune::platform
