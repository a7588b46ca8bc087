#include "platform/dispatch/main_queue.h"

#include <future>

namespace tavlune::platform {

void MainQueue::async(std::function<void()> work) {
  {
    std::lock_guard lock(mutex_);
    items_.push_back(std::move(work));
  }
  wake_.notify_one();
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
    wake_.wait(lock, [this] { return stopping_ || !items_.empty(); });
    if (runOne(lock)) continue;
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

bool MainQueue::isMainThread() const { return std::this_thread::get_id() == mainThread_.load(); }

void MainQueue::adoptCurrentThread() { mainThread_.store(std::this_thread::get_id()); }

}  // namespace tavlune::platform
