#include "platform/plist/binary_check.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/plist/limits.h"

namespace tavlune::platform::plist {
namespace {

constexpr size_t kHeaderSize = 8;
constexpr size_t kTrailerSize = 32;

uint64_t readBigEndian(const uint8_t* p, size_t size) {
  uint64_t value = 0;
  for (size_t i = 0; i < size; ++i) value = (value << 8) | p[i];
  return value;
}

Unexpected<Error> malformed(const std::string& why) {
  return unexpected(Error{"The property list is malformed: " + why + "."});
}

class Checker {
 public:
  explicit Checker(std::span<const uint8_t> bytes) : data_(bytes.data()), size_(bytes.size()) {}

  Result<void> run() {
    if (size_ < kHeaderSize + kTrailerSize) return malformed("too short");
    if (std::memcmp(data_, "bplist00", kHeaderSize) != 0) return malformed("unknown binary version");
    const uint8_t* trailer = data_ + size_ - kTrailerSize;
    offsetSize_ = trailer[6];
    refSize_ = trailer[7];
    const uint64_t objects = readBigEndian(trailer + 8, 8);
    const uint64_t root = readBigEndian(trailer + 16, 8);
    tableOffset_ = readBigEndian(trailer + 24, 8);
    if (offsetSize_ < 1 || offsetSize_ > 8 || refSize_ < 1 || refSize_ > 8) return malformed("bad trailer sizes");
    const uint64_t tableEnd = size_ - kTrailerSize;
    if (tableOffset_ < kHeaderSize || tableOffset_ > tableEnd) return malformed("offset table out of bounds");
    if (objects == 0 || objects > (tableEnd - tableOffset_) / offsetSize_) return malformed("bad object count");
    if (root >= objects) return malformed("root object out of range");
    objects_ = objects;
    state_.assign(objects, State{});
    if (auto r = visit(root, 0); !r) return r;
    return {};
  }

 private:
  enum class Mark : uint8_t { kNew, kActive, kDone };
  struct State {
    Mark mark = Mark::kNew;
    uint8_t height = 0;  // containers on the longest path down from here
    uint64_t nodes = 0;  // values in the expanded subtree
  };

  // depth: containers above this object. Recursion stays within kMaxDepth.
  Result<void> visit(uint64_t index, size_t depth) {
    State& s = state_[index];
    if (s.mark == Mark::kActive) return malformed("object refers to itself");
    if (s.mark == Mark::kNew) {
      s.mark = Mark::kActive;
      if (auto r = describe(index, depth); !r) return r;
      state_[index].mark = Mark::kDone;
    }
    if (depth + state_[index].height > kMaxDepth) return malformed("nested too deeply");
    return {};
  }

  // Checks one object and its children, filling in its height and node count.
  Result<void> describe(uint64_t index, size_t depth) {
    const uint64_t offset = readBigEndian(data_ + tableOffset_ + index * offsetSize_, offsetSize_);
    if (offset < kHeaderSize || offset >= tableOffset_) return malformed("object offset out of bounds");
    const uint8_t* p = data_ + offset;
    const uint8_t* end = data_ + tableOffset_;
    const uint8_t marker = *p++;
    const uint8_t kind = marker >> 4;
    const uint8_t info = marker & 0x0F;
    auto fits = [&](uint64_t bytes) { return bytes <= static_cast<uint64_t>(end - p); };
    State& s = state_[index];
    s.nodes = 1;

    switch (kind) {
      case 0x0:
        if (info != 0x8 && info != 0x9) return malformed("unsupported simple object");
        return {};
      case 0x1: {
        if (info > 4) return malformed("bad integer size");
        const size_t bytes = size_t{1} << info;
        if (!fits(bytes)) return malformed("integer out of bounds");
        if (bytes == 16) {
          // Only the low 8 bytes survive libplist: the high ones must be their sign.
          const uint8_t fill = (p[8] & 0x80) ? 0xFF : 0x00;
          for (size_t i = 0; i < 8; ++i) {
            if (p[i] != fill) return malformed("integer beyond 64 bits");
          }
        }
        return {};
      }
      case 0x2:
        if (info != 2 && info != 3) return malformed("bad real size");
        if (!fits(size_t{1} << info)) return malformed("real out of bounds");
        return {};
      case 0x3: {
        if (info != 3 || !fits(8)) return malformed("bad date");
        uint64_t bits = readBigEndian(p, 8);
        double seconds;
        std::memcpy(&seconds, &bits, sizeof seconds);
        if (!(seconds > INT32_MIN && seconds < INT32_MAX + 1.0)) return malformed("date out of range");
        return {};
      }
      case 0x8: {
        if (info > 7 || !fits(info + 1u)) return malformed("bad UID");
        if (readBigEndian(p, info + 1u) > UINT32_MAX) return malformed("UID beyond 32 bits");
        return {};
      }
      case 0x4:
      case 0x5:
      case 0x6:
      case 0xA:
      case 0xD:
        break;
      default:
        return malformed("unsupported object type");
    }

    uint64_t count = info;
    if (info == 0x0F) {
      if (!fits(1)) return malformed("length out of bounds");
      const uint8_t lengthMarker = *p++;
      if ((lengthMarker >> 4) != 0x1 || (lengthMarker & 0x0F) > 3) return malformed("bad length");
      const size_t bytes = size_t{1} << (lengthMarker & 0x0F);
      if (!fits(bytes)) return malformed("length out of bounds");
      count = readBigEndian(p, bytes);
      p += bytes;
    }
    const uint64_t unit = kind == 0x6 ? 2 : kind == 0xA ? refSize_ : kind == 0xD ? 2u * refSize_ : 1;
    if (count > static_cast<uint64_t>(end - p) / unit) return malformed("contents out of bounds");

    if (kind == 0x4) return {};
    if (kind == 0x5) {
      if (std::memchr(p, 0, count) != nullptr) return malformed("NUL in string");
      return {};
    }
    if (kind == 0x6) return checkUtf16(p, count);

    if (depth + 1 > kMaxDepth) return malformed("nested too deeply");
    const uint64_t refs = kind == 0xD ? 2 * count : count;
    uint64_t nodes = 1;
    uint8_t height = 0;
    for (uint64_t i = 0; i < refs; ++i) {
      const uint64_t child = readBigEndian(p + i * refSize_, refSize_);
      if (child >= objects_) return malformed("reference out of range");
      if (kind == 0xD && i < count && !isString(child)) return malformed("dictionary key is not a string");
      if (auto r = visit(child, depth + 1); !r) return r;
      // Keys count too: libplist allocates a node for each.
      nodes = std::min(nodes + state_[child].nodes, kMaxNodes + 1);
      height = std::max(height, state_[child].height);
    }
    if (nodes > kMaxNodes) return malformed("too many values");
    State& container = state_[index];
    container.nodes = nodes;
    container.height = static_cast<uint8_t>(height + 1);
    return {};
  }

  bool isString(uint64_t index) const {
    const uint64_t offset = readBigEndian(data_ + tableOffset_ + index * offsetSize_, offsetSize_);
    if (offset < kHeaderSize || offset >= tableOffset_) return false;
    const uint8_t kind = data_[offset] >> 4;
    return kind == 0x5 || kind == 0x6;
  }

  static Result<void> checkUtf16(const uint8_t* p, uint64_t units) {
    bool wantLow = false;
    for (uint64_t i = 0; i < units; ++i) {
      const uint16_t u = static_cast<uint16_t>(p[2 * i] << 8 | p[2 * i + 1]);
      const bool high = u >= 0xD800 && u <= 0xDBFF;
      const bool low = u >= 0xDC00 && u <= 0xDFFF;
      if (u == 0) return malformed("NUL in string");
      if (wantLow != low) return malformed("unpaired surrogate in string");
      wantLow = high;
    }
    if (wantLow) return malformed("unpaired surrogate in string");
    return {};
  }

  const uint8_t* data_;
  uint64_t size_;
  uint8_t offsetSize_ = 0;
  uint8_t refSize_ = 0;
  uint64_t tableOffset_ = 0;
  uint64_t objects_ = 0;
  std::vector<State> state_;
};

}  // namespace

Result<void> checkBinary(std::span<const uint8_t> bytes) { return Checker(bytes).run(); }

}  // namespace tavlune::platform::plist
