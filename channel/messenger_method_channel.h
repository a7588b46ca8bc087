// A method channel over a binary messenger: incoming messages are decoded with
// the standard method codec and handed to the handler with a result whose
// answer is encoded back as the reply envelope.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "channel/messenger.h"
#include "channel/method_call.h"
#include "channel/method_result.h"

namespace tavlune::channel {

using MethodCallHandler = std::function<void(const MethodCall& call, std::unique_ptr<MethodResult> result)>;

// The error answered for a message that is not a method call; the front end
// learns what was wrong instead of a misleading not-implemented.
inline constexpr const char* kMalformedMethodCallCode = "MALFORMED_METHOD_CALL";

class MethodChannel {
 public:
  MethodChannel(BinaryMessenger* messenger, std::string name);
  MethodChannel(const MethodChannel&) = delete;
  MethodChannel& operator=(const MethodChannel&) = delete;

  const std::string& name() const { return name_; }

  // The handler stays registered with the messenger after this object is
  // gone, as Flutter's does; an empty handler unregisters it.
  void SetMethodCallHandler(MethodCallHandler handler) const;

 private:
  BinaryMessenger* messenger_;
  std::string name_;
};

// A result that writes its one answer as an envelope through reply. If it is
// destroyed unanswered it answers not-implemented, so no caller waits for ever.
std::unique_ptr<MethodResult> makeEnvelopeResult(BinaryReply reply);

}  // namespace tavlune::channel
