// The main queue: items posted from any thread run on the thread that serves
// the run loop, in the order posted. Replies to the front end and the
// administrator prompt happen there.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

namespace tavlune::platform {

class MainQueue {
 public:
  MainQueue() = default;
  MainQueue(const MainQueue&) = delete;
  MainQueue& operator=(const MainQueue&) = delete;

  void async(std::function<void()> work);
  // Posts work once delay has passed (measured on a steady clock), behind
  // what is posted by then.
  void asyncAfter(std::chrono::milliseconds delay, std::function<void()> work);

  // Runs work on the main thread and waits for it: directly when already there,
  // otherwise by posting it and blocking until the run loop has run it.
  void sync(const std::function<void()>& work);

  // Serves items on the calling thread, which becomes the main thread, until
  // stop() is called; items posted before stop() still run.
  void run();
  void stop();

  // Runs the items already posted (and delayed items already due), without
  // waiting for more. For tests that drive the loop by hand from their own
  // (main) thread.
  void drain();

  // Hands the serving to another loop (on macOS, AppKit's, through the main
  // dispatch queue): after every post, wake(delay) asks that loop to call
  // drain() on the main thread once delay has passed. Set once, on the main
  // thread, before anything is posted.
  void serveThrough(std::function<void(std::chrono::milliseconds delay)> wake);

  bool isMainThread() const;
  // Marks the calling thread as the main thread without running the loop.
  void adoptCurrentThread();

 private:
  using TimePoint = std::chrono::steady_clock::time_point;
  bool runOne(std::unique_lock<std::mutex>& lock);
  // Moves delayed items that are due to the back of items_.
  void releaseDueItems();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> items_;
  std::multimap<TimePoint, std::function<void()>> delayed_;
  bool stopping_ = false;
  std::function<void(std::chrono::milliseconds)> wakeOther_;
  std::atomic<std::thread::id> mainThread_{std::this_thread::get_id()};
};

}  // namespace tavlune::platform
