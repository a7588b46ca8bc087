#include "channel/output_queue.h"

#include <algorithm>
#include <cstring>

namespace tavlune::channel {

void OutputQueue::append(std::span<const uint8_t> bytes) {
  while (!bytes.empty()) {
    if (blocks_.empty() || tail_ == kBlockBytes) {
      blocks_.push_back(std::make_unique_for_overwrite<uint8_t[]>(kBlockBytes));
      tail_ = 0;
    }
    const size_t count = std::min(bytes.size(), kBlockBytes - tail_);
    std::memcpy(blocks_.back().get() + tail_, bytes.data(), count);
    tail_ += count;
    size_ += count;
    bytes = bytes.subspan(count);
  }
}

size_t OutputQueue::heldBytesAfter(size_t count) const {
  const size_t room = blocks_.empty() ? 0 : kBlockBytes - tail_;
  const size_t more = count > room ? (count - room + kBlockBytes - 1) / kBlockBytes : 0;
  return heldBytes() + more * kBlockBytes;
}

std::span<const uint8_t> OutputQueue::front() const {
  if (blocks_.empty()) return {};
  const size_t end = blocks_.size() == 1 ? tail_ : kBlockBytes;
  return {blocks_.front().get() + head_, end - head_};
}

void OutputQueue::consume(size_t count) {
  count = std::min(count, size_);
  size_ -= count;
  while (count > 0) {
    const size_t here = front().size();
    const size_t taken = std::min(count, here);
    head_ += taken;
    count -= taken;
    if (taken == here) {
      blocks_.pop_front();
      head_ = 0;
    }
  }
  // Nothing left to write: the last, partly filled block goes too.
  if (size_ == 0) clear();
}

void OutputQueue::clear() {
  blocks_.clear();
  head_ = tail_ = size_ = 0;
}

}  // namespace tavlune::channel
