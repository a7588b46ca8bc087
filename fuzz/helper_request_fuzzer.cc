// The daemon's request path up to the point where something would run:
// framing over arbitrary chunking, JSON decoding, the fixed commands and the
// command-line tests.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>

#include "helperprotocol/framing.h"
#include "helperd/allowed_command_lines.h"
#include "helperd/request.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tavlune;
  if (size == 0) return 0;
  // The first byte picks chunk sizes and how the stream ends; the rest is the stream.
  const uint8_t shape = data[0];
  std::span<const uint8_t> stream(data + 1, size - 1);
  std::size_t offset = 0;
  std::size_t step = 1 + (shape & 0x3F) * 67;
  auto end = static_cast<helperprotocol::ReadChunkResult::Kind>(1 + (shape >> 6) % 3);
  helperprotocol::FramedMessage framed = helperprotocol::readMessage([&](std::span<uint8_t> buffer) -> helperprotocol::ReadChunkResult {
    if (offset >= stream.size()) return {end, 0};
    std::size_t n = std::min({buffer.size(), step, stream.size() - offset});
    std::memcpy(buffer.data(), stream.data() + offset, n);
    offset += n;
    return {helperprotocol::ReadChunkResult::Kind::bytes, n};
  });
  if (framed.outcome == helperprotocol::FramingOutcome::message && framed.bytes.size() > helperprotocol::kMaxMessageBytes + 4096)
    std::abort();

  helperd::Action action = helperd::classifyRequest(framed);
  if (action.kind == helperd::Action::Kind::runCommandLine) {
    // What may run must pass both tests and hold no NUL.
    if (!helperd::passesPrefixTest(action.commandLine) || !helperd::isAllowedCommandLine(action.commandLine) ||
        action.commandLine.find('\0') != std::string::npos)
      std::abort();
  }
  return 0;
}
