// Flutter's standard message codec and standard method codec, byte for byte:
// a type byte, then the payload; sizes as one byte below 254, else 254 and a
// uint16, else 255 and a uint32; numbers in host byte order; float64 values and
// typed lists padded to their element size, measured from the message start.
//
// Decoding is strict where Flutter is lenient: any malformed input is an error,
// never a crash, an over-read or an allocation larger than the input justifies.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "channel/encodable_value.h"
#include "channel/flutter_error.h"
#include "channel/method_call.h"
#include "channel/method_reply.h"
#include "platform/error.h"

namespace tavlune::channel {

// Lists and maps nested deeper than this are refused on decoding, so a small
// hostile message cannot exhaust the stack. Our own replies nest a few levels.
inline constexpr int kMaxNestingDepth = 64;

// --- message codec ---

// Strings that are not well-formed UTF-8 are sent with U+FFFD in place of the
// bad bytes: the Dart side would refuse the whole message otherwise. Encoding
// does not cap nesting; a value nested past kMaxNestingDepth will not decode.
std::vector<uint8_t> EncodeMessage(const EncodableValue& value);

// Exactly one value, nothing after it. The legacy large-int type (5) decodes
// as the string it carries, as Flutter's C++ wrapper does. Strings must be
// well-formed UTF-8; a map may not repeat a key.
platform::Result<EncodableValue> DecodeMessage(std::span<const uint8_t> bytes);

// --- method codec ---

// The name as a string value, then the arguments (null when absent).
std::vector<uint8_t> EncodeMethodCall(const MethodCall& call);
// A decoded call always has arguments; they are a null value if none were sent.
platform::Result<MethodCall> DecodeMethodCall(std::span<const uint8_t> bytes);

// 0, then the value (null when result is null).
std::vector<uint8_t> EncodeSuccessEnvelope(const EncodableValue* result = nullptr);
// 1, the code, the message (null when empty), the details (null when absent).
std::vector<uint8_t> EncodeErrorEnvelope(const std::string& code, const std::string& message = "",
                                         const EncodableValue* details = nullptr);
std::vector<uint8_t> EncodeErrorEnvelope(const FlutterError& error);
// Not implemented is the empty reply.
std::vector<uint8_t> EncodeNotImplementedEnvelope();
std::vector<uint8_t> EncodeReply(const MethodReply& reply);

// The reverse of the three above. An error envelope may carry a fourth value,
// a stack trace string (Android's engine sends one); it is accepted and dropped.
// A null error message decodes as "", null details as absent.
platform::Result<MethodReply> DecodeEnvelope(std::span<const uint8_t> bytes);

}  // namespace tavlune::channel
