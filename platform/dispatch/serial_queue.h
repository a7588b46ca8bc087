// A serial work queue: one worker thread runs the items in the order they were
// posted, one at a time, never overlapping.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace tavlune::platform {

class SerialQueue {
 public:
  explicit SerialQueue(std::string label);
  // Runs every item already posted, then ends the worker.
  ~SerialQueue();
  SerialQueue(const SerialQueue&) = delete;
  SerialQueue& operator=(const SerialQueue&) = delete;

  const std::string& label() const { return label_; }
  void async(std::function<void()> work);
  // True on the worker thread, that is inside one of this queue's items.
  bool isCurrent() const;
  // Blocks until every item posted before this call has run. Not from an item.
  void waitUntilIdle();

 private:
  void serve();

  const std::string label_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> items_;
  bool stopping_ = false;
  std::thread worker_;
};

}  // namespace tavlune::platform
