#include "platform/dispatch/serial_queue.h"

#if defined(__APPLE__)
#include <pthread.h>
#endif

#include <cassert>
#include <future>

namespace tavlune::platform {

SerialQueue::SerialQueue(std::string label) : label_(std::move(label)), worker_([this] { serve(); }) {}

SerialQueue::~SerialQueue() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_one();
  worker_.join();
}

void SerialQueue::async(std::function<void()> work) {
  {
    std::lock_guard lock(mutex_);
    items_.push_back(std::move(work));
  }
  wake_.notify_one();
}

bool SerialQueue::isCurrent() const { return std::this_thread::get_id() == worker_.get_id(); }

void SerialQueue::waitUntilIdle() {
  assert(!isCurrent());
  std::promise<void> done;
  auto finished = done.get_future();
  async([&done] { done.set_value(); });
  finished.wait();
}

void SerialQueue::serve() {
#if defined(__APPLE__)
  // The quality of service a dispatch queue made for work the user waits on
  // would have; a plain thread starts with the default.
  pthread_set_qos_class_self_np(QOS_CLASS_USER_INITIATED, 0);
#endif
  for (;;) {
    std::function<void()> work;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return stopping_ || !items_.empty(); });
      if (items_.empty()) return;
      work = std::move(items_.front());
      items_.pop_front();
    }
    work();
  }
}

}  // namespace tavlune::platform
