// Reading and writing a message buffer. Alignment is measured from the start
// of the buffer, as Flutter's readers and writers measure it, so a value's
// padding depends on everything written before it in the same message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "platform/error.h"

namespace tavlune::channel::internal {

class ByteReader {
 public:
  explicit ByteReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  size_t offset() const { return offset_; }
  size_t remaining() const { return bytes_.size() - offset_; }
  bool AtEnd() const { return offset_ == bytes_.size(); }

  platform::Result<uint8_t> ReadByte() {
    if (remaining() < 1) return unexpected(Truncated(1));
    return bytes_[offset_++];
  }

  // The next count bytes, without copying; checked before anything is taken.
  platform::Result<std::span<const uint8_t>> Take(size_t count) {
    if (remaining() < count) return unexpected(Truncated(count));
    auto taken = bytes_.subspan(offset_, count);
    offset_ += count;
    return taken;
  }

  // A fixed-size value in host byte order; memcpy because the buffer may sit anywhere.
  template <typename T>
  platform::Result<T> Read() {
    auto taken = Take(sizeof(T));
    if (!taken) return unexpected(taken.error());
    T value;
    std::memcpy(&value, taken->data(), sizeof(T));
    return value;
  }

  // Skips the padding up to the next multiple of alignment.
  platform::Result<void> Align(size_t alignment) {
    const size_t padding = Padding(alignment);
    if (remaining() < padding) return unexpected(Truncated(padding));
    offset_ += padding;
    return {};
  }

  size_t Padding(size_t alignment) const {
    const size_t mod = offset_ % alignment;
    return mod == 0 ? 0 : alignment - mod;
  }

  platform::Error Fail(const std::string& what) const {
    return platform::Error{"malformed channel message at byte " + std::to_string(offset_) + ": " + what};
  }

 private:
  platform::Error Truncated(size_t needed) const {
    return Fail("needs " + std::to_string(needed) + " more bytes, " + std::to_string(remaining()) + " left");
  }

  std::span<const uint8_t> bytes_;
  size_t offset_ = 0;
};

class ByteWriter {
 public:
  explicit ByteWriter(std::vector<uint8_t>& out) : out_(out) {}

  void WriteByte(uint8_t byte) { out_.push_back(byte); }
  void WriteBytes(const void* data, size_t size) {
    const auto* begin = static_cast<const uint8_t*>(data);
    out_.insert(out_.end(), begin, begin + size);
  }
  template <typename T>
  void Write(T value) {
    WriteBytes(&value, sizeof(T));
  }
  // Zero padding up to the next multiple of alignment.
  void Align(size_t alignment) {
    const size_t mod = out_.size() % alignment;
    if (mod != 0) out_.insert(out_.end(), alignment - mod, 0);
  }

 private:
  std::vector<uint8_t>& out_;
};

}  // namespace tavlune::channel::internal
