#include "channel/socket_messenger_frame.h"

#include <utility>

#include "platform/text/utf8.h"

namespace tavlune::channel {
namespace {

using platform::Error;

void putLittleEndian(std::vector<uint8_t>& out, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

uint64_t getLittleEndian(const uint8_t* in, int bytes) {
  uint64_t value = 0;
  for (int i = 0; i < bytes; ++i) value |= static_cast<uint64_t>(in[i]) << (8 * i);
  return value;
}

platform::Result<void> checkChannelName(std::string_view name) {
  if (name.empty()) return unexpected(Error{"channel frame: empty channel name"});
  if (name.size() > kMaxChannelNameBytes)
    return unexpected(Error{"channel frame: channel name longer than " + std::to_string(kMaxChannelNameBytes) +
                            " bytes"});
  if (!platform::text::isValidUtf8(name)) return unexpected(Error{"channel frame: channel name is not UTF-8"});
  return {};
}

platform::Result<Frame> decodeBody(std::span<const uint8_t> body) {
  if (body.size() < kFrameFixedBodyBytes)
    return unexpected(Error{"channel frame: body of " + std::to_string(body.size()) + " bytes is too short"});
  Frame frame;
  frame.id = static_cast<uint32_t>(getLittleEndian(body.data(), 4));
  const uint8_t kind = body[4];
  if (kind != static_cast<uint8_t>(FrameKind::message) && kind != static_cast<uint8_t>(FrameKind::reply))
    return unexpected(Error{"channel frame: unknown kind " + std::to_string(kind)});
  frame.kind = static_cast<FrameKind>(kind);
  const size_t nameLength = getLittleEndian(body.data() + 5, 2);
  if (nameLength > body.size() - kFrameFixedBodyBytes)
    return unexpected(Error{"channel frame: channel name runs past the frame"});
  frame.channel.assign(reinterpret_cast<const char*>(body.data() + kFrameFixedBodyBytes), nameLength);
  if (auto checked = checkChannelName(frame.channel); !checked) return unexpected(checked.error());
  frame.payload.assign(body.begin() + static_cast<std::ptrdiff_t>(kFrameFixedBodyBytes + nameLength), body.end());
  return frame;
}

}  // namespace

platform::Result<std::vector<uint8_t>> encodeFrame(const Frame& frame) {
  if (auto checked = checkChannelName(frame.channel); !checked) return unexpected(checked.error());
  const size_t bodySize = kFrameFixedBodyBytes + frame.channel.size() + frame.payload.size();
  if (bodySize > kMaxFrameBodyBytes)
    return unexpected(Error{"channel frame: body of " + std::to_string(bodySize) + " bytes is over the limit"});
  std::vector<uint8_t> out;
  out.reserve(kFrameLengthBytes + bodySize);
  putLittleEndian(out, bodySize, 4);
  putLittleEndian(out, frame.id, 4);
  out.push_back(static_cast<uint8_t>(frame.kind));
  putLittleEndian(out, frame.channel.size(), 2);
  out.insert(out.end(), frame.channel.begin(), frame.channel.end());
  out.insert(out.end(), frame.payload.begin(), frame.payload.end());
  return out;
}

void FrameReader::append(const uint8_t* data, size_t size) {
  // Drop what was consumed before growing, so the buffer stays one frame's size.
  if (consumed_ > 0 && consumed_ == buffer_.size()) {
    buffer_.clear();
    consumed_ = 0;
  } else if (consumed_ > 64 * 1024) {
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(consumed_));
    consumed_ = 0;
  }
  buffer_.insert(buffer_.end(), data, data + size);
}

platform::Result<std::optional<Frame>> FrameReader::next() {
  if (buffered() < kFrameLengthBytes) return std::optional<Frame>();
  const uint8_t* start = buffer_.data() + consumed_;
  const size_t bodySize = getLittleEndian(start, 4);
  if (bodySize > kMaxFrameBodyBytes)
    return unexpected(Error{"channel frame: length " + std::to_string(bodySize) + " is over the limit"});
  if (buffered() < kFrameLengthBytes + bodySize) return std::optional<Frame>();
  auto frame = decodeBody(std::span<const uint8_t>(start + kFrameLengthBytes, bodySize));
  if (!frame) return unexpected(frame.error());
  consumed_ += kFrameLengthBytes + bodySize;
  return std::optional<Frame>(std::move(*frame));
}

}  // namespace tavlune::channel
