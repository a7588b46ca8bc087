#include "platform/dispatch/main_queue.h"

#include <future>

namespace tavlune::platform {

void MainQueue::async(std::function<void()> work) {
  {
    std::lock_guard lock(mutex_);
    items_.push_back(std::move(work));
  }
  wake_.notify_one();
  if (wakeOther_) wakeOther_(std::chrono::milliseconds(0));
}

void MainQueue::asyncAfter(std::chrono::milliseconds delay, std::function<void()> work) {
  {
    std::lock_guard lock(mutex_);
    delayed_.emplace(std::chrono::steady_clock::now() + delay, std::move(work));
  }
  wake_.notify_one();
  if (wakeOther_) wakeOther_(delay);
}

void MainQueue::releaseDueItems() {
  const auto now = std::chrono::steady_clock::now();
  while (!delayed_.empty() && delayed_.begin()->first <= now) {
    items_.push_back(std::move(delayed_.begin()->second));
    delayed_.erase(delayed_.begin());
  }
}

void MainQueue::sync(const std::function<void()>& work) {
  if (isMainThread()) {
    work();
    return;
  }
  std::promise<void> done;
  auto finished = done.get_future();
  async([&] {
    work();
    done.set_value();
  });
  finished.wait();
}

bool MainQueue::runOne(std::unique_lock<std::mutex>& lock) {
  releaseDueItems();
  if (items_.empty()) return false;
  auto work = std::move(items_.front());
  items_.pop_front();
  lock.unlock();
  work();
  lock.lock();
  return true;
}

void MainQueue::run() {
  adoptCurrentThread();
  std::unique_lock lock(mutex_);
  for (;;) {
    auto ready = [this] {
      releaseDueItems();
      return stopping_ || !items_.empty();
    };
    if (delayed_.empty()) {
      wake_.wait(lock, ready);
    } else {
      wake_.wait_until(lock, delayed_.begin()->first, ready);
    }
    if (runOne(lock)) continue;
    if (!stopping_) continue;  // woken for a delayed item that is now due
    stopping_ = false;
    return;
  }
}

void MainQueue::stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_one();
}

void MainQueue::drain() {
  std::unique_lock lock(mutex_);
  while (runOne(lock)) {
  }
}

void MainQueue::serveThrough(std::function<void(std::chrono::milliseconds delay)> wake) {
  adoptCurrentThread();
  wakeOther_ = std::move(wake);
}

bool MainQueue::isMainThread() const { return std::this_thread::get_id() == mainThread_.load(); }

void MainQueue::adoptCurrentThread() { mainThread_.store(std::this_thread::get_id()); }

}  // namespace tavlune::platform
