#include "channel/standard_codec.h"

#include <cstdlib>
#include <limits>
#include <string_view>
#include <type_traits>
#include <utility>

#include "channel/byte_stream.h"
#include "platform/text/utf8.h"

namespace tavlune::channel {
namespace {

using internal::ByteReader;
using internal::ByteWriter;

// The values Flutter's codecs put on the wire; they never change.
enum class EncodedType : uint8_t {
  kNull = 0,
  kTrue = 1,
  kFalse = 2,
  kInt32 = 3,
  kInt64 = 4,
  kLargeInt = 5,  // legacy: a hex string; written by nobody now
  kFloat64 = 6,
  kString = 7,
  kUInt8List = 8,
  kInt32List = 9,
  kInt64List = 10,
  kFloat64List = 11,
  kList = 12,
  kMap = 13,
  kFloat32List = 14,
};

template <typename T>
constexpr EncodedType TypedListType() {
  if constexpr (std::is_same_v<T, uint8_t>) return EncodedType::kUInt8List;
  if constexpr (std::is_same_v<T, int32_t>) return EncodedType::kInt32List;
  if constexpr (std::is_same_v<T, int64_t>) return EncodedType::kInt64List;
  if constexpr (std::is_same_v<T, double>) return EncodedType::kFloat64List;
  if constexpr (std::is_same_v<T, float>) return EncodedType::kFloat32List;
}

// ---- writing ----

void WriteType(ByteWriter& out, EncodedType type) { out.WriteByte(static_cast<uint8_t>(type)); }

void WriteSize(ByteWriter& out, size_t size) {
  if (size < 254) {
    out.WriteByte(static_cast<uint8_t>(size));
  } else if (size <= std::numeric_limits<uint16_t>::max()) {
    out.WriteByte(254);
    out.Write(static_cast<uint16_t>(size));
  } else if (size <= std::numeric_limits<uint32_t>::max()) {
    out.WriteByte(255);
    out.Write(static_cast<uint32_t>(size));
  } else {
    // Not representable; a truncated size would desynchronise the reader.
    std::abort();
  }
}

void WriteString(ByteWriter& out, std::string_view text) {
  WriteType(out, EncodedType::kString);
  if (!platform::text::isValidUtf8(text)) {
    const std::string repaired = platform::text::toValidUtf8(text);
    WriteSize(out, repaired.size());
    out.WriteBytes(repaired.data(), repaired.size());
    return;
  }
  WriteSize(out, text.size());
  out.WriteBytes(text.data(), text.size());
}

template <typename T>
void WriteTypedList(ByteWriter& out, const std::vector<T>& list) {
  WriteType(out, TypedListType<T>());
  WriteSize(out, list.size());
  // Padded even when empty, as Dart writes it; every Flutter reader skips the
  // padding unconditionally.
  if (sizeof(T) > 1) out.Align(sizeof(T));
  out.WriteBytes(list.data(), list.size() * sizeof(T));
}

void WriteValue(ByteWriter& out, const EncodableValue& value) {
  std::visit(
      [&out](const auto& v) {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::monostate>) {
          WriteType(out, EncodedType::kNull);
        } else if constexpr (std::is_same_v<T, bool>) {
          WriteType(out, v ? EncodedType::kTrue : EncodedType::kFalse);
        } else if constexpr (std::is_same_v<T, int32_t>) {
          WriteType(out, EncodedType::kInt32);
          out.Write(v);
        } else if constexpr (std::is_same_v<T, int64_t>) {
          WriteType(out, EncodedType::kInt64);
          out.Write(v);
        } else if constexpr (std::is_same_v<T, double>) {
          WriteType(out, EncodedType::kFloat64);
          out.Align(8);
          out.Write(v);
        } else if constexpr (std::is_same_v<T, std::string>) {
          WriteString(out, v);
        } else if constexpr (std::is_same_v<T, EncodableList>) {
          WriteType(out, EncodedType::kList);
          WriteSize(out, v.size());
          for (const auto& item : v) WriteValue(out, item);
        } else if constexpr (std::is_same_v<T, EncodableMap>) {
          WriteType(out, EncodedType::kMap);
          WriteSize(out, v.size());
          for (const auto& [key, item] : v) {
            WriteValue(out, key);
            WriteValue(out, item);
          }
        } else {
          WriteTypedList(out, v);
        }
      },
      static_cast<const EncodableValue::super&>(value));
}

// ---- reading ----

// Propagates a failed read out of the enclosing function.
#define CHANNEL_TRY(var, expr)                     \
  auto var = (expr);                               \
  if (!var) return unexpected(std::move(var).error())

platform::Result<EncodableValue> ReadValue(ByteReader& in, int depth);

platform::Result<size_t> ReadSize(ByteReader& in) {
  CHANNEL_TRY(first, in.ReadByte());
  if (*first < 254) return size_t{*first};
  if (*first == 254) {
    CHANNEL_TRY(size, in.Read<uint16_t>());
    return size_t{*size};
  }
  CHANNEL_TRY(size, in.Read<uint32_t>());
  return size_t{*size};
}

platform::Result<EncodableValue> ReadString(ByteReader& in) {
  CHANNEL_TRY(size, ReadSize(in));
  CHANNEL_TRY(bytes, in.Take(*size));
  std::string text(reinterpret_cast<const char*>(bytes->data()), bytes->size());
  if (!platform::text::isValidUtf8(text)) return unexpected(in.Fail("string is not valid UTF-8"));
  return EncodableValue(std::move(text));
}

template <typename T>
platform::Result<EncodableValue> ReadTypedList(ByteReader& in) {
  CHANNEL_TRY(count, ReadSize(in));
  if (sizeof(T) > 1) {
    // Flutter's C++ wrapper leaves out the padding of an empty list. Padding
    // that would run past the end cannot be there, so read it that way.
    if (*count == 0 && in.Padding(sizeof(T)) > in.remaining()) return EncodableValue(std::vector<T>{});
    CHANNEL_TRY(aligned, in.Align(sizeof(T)));
  }
  if (*count > in.remaining() / sizeof(T)) return unexpected(in.Fail("typed list runs past the end"));
  CHANNEL_TRY(bytes, in.Take(*count * sizeof(T)));
  std::vector<T> list(*count);
  if (!list.empty()) std::memcpy(list.data(), bytes->data(), bytes->size());
  return EncodableValue(std::move(list));
}

platform::Result<EncodableValue> ReadList(ByteReader& in, int depth) {
  CHANNEL_TRY(count, ReadSize(in));
  // Every element takes at least its type byte.
  if (*count > in.remaining()) return unexpected(in.Fail("list runs past the end"));
  EncodableList list;
  list.reserve(*count);
  for (size_t i = 0; i < *count; ++i) {
    CHANNEL_TRY(item, ReadValue(in, depth + 1));
    list.push_back(std::move(item).value());
  }
  return EncodableValue(std::move(list));
}

platform::Result<EncodableValue> ReadMap(ByteReader& in, int depth) {
  CHANNEL_TRY(count, ReadSize(in));
  if (*count > in.remaining() / 2) return unexpected(in.Fail("map runs past the end"));
  EncodableMap map;
  for (size_t i = 0; i < *count; ++i) {
    CHANNEL_TRY(key, ReadValue(in, depth + 1));
    CHANNEL_TRY(item, ReadValue(in, depth + 1));
    // Flutter's readers disagree on which duplicate wins; refuse rather than guess.
    if (!map.emplace(std::move(key).value(), std::move(item).value()).second) {
      return unexpected(in.Fail("map repeats a key"));
    }
  }
  return EncodableValue(std::move(map));
}

platform::Result<EncodableValue> ReadValue(ByteReader& in, int depth) {
  CHANNEL_TRY(type, in.ReadByte());
  switch (static_cast<EncodedType>(*type)) {
    case EncodedType::kNull:
      return EncodableValue();
    case EncodedType::kTrue:
      return EncodableValue(true);
    case EncodedType::kFalse:
      return EncodableValue(false);
    case EncodedType::kInt32: {
      CHANNEL_TRY(v, in.Read<int32_t>());
      return EncodableValue(*v);
    }
    case EncodedType::kInt64: {
      CHANNEL_TRY(v, in.Read<int64_t>());
      return EncodableValue(*v);
    }
    case EncodedType::kFloat64: {
      CHANNEL_TRY(aligned, in.Align(8));
      CHANNEL_TRY(v, in.Read<double>());
      return EncodableValue(*v);
    }
    case EncodedType::kLargeInt:
    case EncodedType::kString:
      return ReadString(in);
    case EncodedType::kUInt8List:
      return ReadTypedList<uint8_t>(in);
    case EncodedType::kInt32List:
      return ReadTypedList<int32_t>(in);
    case EncodedType::kInt64List:
      return ReadTypedList<int64_t>(in);
    case EncodedType::kFloat64List:
      return ReadTypedList<double>(in);
    case EncodedType::kFloat32List:
      return ReadTypedList<float>(in);
    case EncodedType::kList:
    case EncodedType::kMap:
      if (depth >= kMaxNestingDepth) return unexpected(in.Fail("nested too deeply"));
      return *type == static_cast<uint8_t>(EncodedType::kList) ? ReadList(in, depth) : ReadMap(in, depth);
  }
  return unexpected(in.Fail("unknown type " + std::to_string(*type)));
}

platform::Result<void> ExpectEnd(const ByteReader& in) {
  if (!in.AtEnd()) return unexpected(in.Fail(std::to_string(in.remaining()) + " bytes after the message"));
  return {};
}

platform::Result<std::string> ReadStringValue(ByteReader& in, const char* what) {
  CHANNEL_TRY(value, ReadValue(in, 0));
  auto* text = std::get_if<std::string>(&*value);
  if (!text) return unexpected(in.Fail(std::string(what) + " is not a string"));
  return std::move(*text);
}

}  // namespace

std::vector<uint8_t> EncodeMessage(const EncodableValue& value) {
  std::vector<uint8_t> bytes;
  ByteWriter out(bytes);
  WriteValue(out, value);
  return bytes;
}

platform::Result<EncodableValue> DecodeMessage(std::span<const uint8_t> bytes) {
  ByteReader in(bytes);
  CHANNEL_TRY(value, ReadValue(in, 0));
  CHANNEL_TRY(end, ExpectEnd(in));
  return std::move(value).value();
}

std::vector<uint8_t> EncodeMethodCall(const MethodCall& call) {
  std::vector<uint8_t> bytes;
  ByteWriter out(bytes);
  WriteString(out, call.method_name());
  WriteValue(out, call.arguments() ? *call.arguments() : EncodableValue());
  return bytes;
}

platform::Result<MethodCall> DecodeMethodCall(std::span<const uint8_t> bytes) {
  ByteReader in(bytes);
  CHANNEL_TRY(name, ReadStringValue(in, "method name"));
  CHANNEL_TRY(arguments, ReadValue(in, 0));
  CHANNEL_TRY(end, ExpectEnd(in));
  return MethodCall(std::move(name).value(), std::move(arguments).value());
}

std::vector<uint8_t> EncodeSuccessEnvelope(const EncodableValue* result) {
  std::vector<uint8_t> bytes;
  ByteWriter out(bytes);
  out.WriteByte(0);
  WriteValue(out, result ? *result : EncodableValue());
  return bytes;
}

std::vector<uint8_t> EncodeErrorEnvelope(const std::string& code, const std::string& message,
                                         const EncodableValue* details) {
  std::vector<uint8_t> bytes;
  ByteWriter out(bytes);
  out.WriteByte(1);
  WriteString(out, code);
  if (message.empty()) {
    WriteValue(out, EncodableValue());
  } else {
    WriteString(out, message);
  }
  WriteValue(out, details ? *details : EncodableValue());
  return bytes;
}

std::vector<uint8_t> EncodeErrorEnvelope(const FlutterError& error) {
  return EncodeErrorEnvelope(error.code, error.message, error.details ? &*error.details : nullptr);
}

std::vector<uint8_t> EncodeNotImplementedEnvelope() { return {}; }

std::vector<uint8_t> EncodeReply(const MethodReply& reply) {
  if (const auto* success = std::get_if<SuccessReply>(&reply)) return EncodeSuccessEnvelope(&success->value);
  if (const auto* error = std::get_if<FlutterError>(&reply)) return EncodeErrorEnvelope(*error);
  return EncodeNotImplementedEnvelope();
}

platform::Result<MethodReply> DecodeEnvelope(std::span<const uint8_t> bytes) {
  if (bytes.empty()) return MethodReply(NotImplementedReply{});
  ByteReader in(bytes);
  CHANNEL_TRY(flag, in.ReadByte());
  if (*flag == 0) {
    CHANNEL_TRY(value, ReadValue(in, 0));
    CHANNEL_TRY(end, ExpectEnd(in));
    return MethodReply(SuccessReply{std::move(value).value()});
  }
  if (*flag != 1) return unexpected(in.Fail("unknown envelope flag " + std::to_string(*flag)));

  FlutterError error;
  CHANNEL_TRY(code, ReadStringValue(in, "error code"));
  error.code = std::move(code).value();
  CHANNEL_TRY(message, ReadValue(in, 0));
  if (auto* text = std::get_if<std::string>(&*message)) {
    error.message = std::move(*text);
  } else if (!message->IsNull()) {
    return unexpected(in.Fail("error message is neither a string nor null"));
  }
  CHANNEL_TRY(details, ReadValue(in, 0));
  if (!details->IsNull()) error.details = std::move(details).value();
  if (!in.AtEnd()) {
    CHANNEL_TRY(stacktrace, ReadValue(in, 0));
    if (!stacktrace->IsNull() && !std::holds_alternative<std::string>(*stacktrace)) {
      return unexpected(in.Fail("error stack trace is neither a string nor null"));
    }
  }
  CHANNEL_TRY(end, ExpectEnd(in));
  return MethodReply(std::move(error));
}

}  // namespace tavlune::channel
