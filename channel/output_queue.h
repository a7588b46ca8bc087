// Bytes waiting to be written to a socket, kept in fixed-size blocks.
// Appending never moves what is queued already, and a block is freed as soon
// as everything in it has been written, so the memory held follows the bytes
// still unsent: a peer that reads slowly cannot make the writer keep what it
// has read, nor make it hold two copies while a buffer grows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <span>

namespace tavlune::channel {

class OutputQueue {
 public:
  static constexpr size_t kBlockBytes = 64 * 1024;

  void append(std::span<const uint8_t> bytes);

  // Bytes appended and not consumed yet.
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }

  // The memory held for them: whole blocks, partly written or partly filled.
  size_t heldBytes() const { return blocks_.size() * kBlockBytes; }
  // What heldBytes() would be once count more bytes were appended.
  size_t heldBytesAfter(size_t count) const;

  // The unsent bytes at the front that lie together; empty only when the queue is.
  std::span<const uint8_t> front() const;
  // Drops count bytes from the front (at most size()), freeing written blocks.
  void consume(size_t count);
  // Drops everything and frees every block.
  void clear();

 private:
  std::deque<std::unique_ptr<uint8_t[]>> blocks_;
  // Offset of the first unsent byte in the first block.
  size_t head_ = 0;
  // Bytes filled in the last block.
  size_t tail_ = 0;
  size_t size_ = 0;
};

}  // namespace tavlune::channel
