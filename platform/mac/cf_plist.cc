#include "platform/mac/cf_plist.h"

#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "platform/plist/limits.h"

namespace tavlune::platform::mac {
namespace {

namespace pl = plist;

// Nodes seen so far across the whole conversion: a dictionary that holds the
// same array many times is expanded once per mention.
class Budget {
 public:
  bool enter(size_t depth) { return depth <= pl::kMaxDepth && ++nodes_ <= pl::kMaxNodes; }

 private:
  uint64_t nodes_ = 0;
};

Error tooLarge() { return Error{"The property list is nested too deeply or holds too many values."}; }

Result<pl::Value> fromNumber(CFNumberRef number) {
  if (CFNumberIsFloatType(number)) {
    double value = 0;
    CFNumberGetValue(number, kCFNumberFloat64Type, &value);
    return pl::Value(value);
  }
  int64_t value = 0;
  // False when the value does not fit, e.g. an unsigned 64-bit number past
  // INT64_MAX, which CoreFoundation keeps as a 128-bit integer.
  if (!CFNumberGetValue(number, kCFNumberSInt64Type, &value)) {
    return unexpected(Error{"The property list holds an integer that does not fit 64 signed bits."});
  }
  return pl::Value(value);
}

Result<pl::Value> fromObject(CFPropertyListRef object, size_t depth, Budget& budget);

Result<pl::Value> fromArray(CFArrayRef array, size_t depth, Budget& budget) {
  pl::Array values;
  const CFIndex count = CFArrayGetCount(array);
  values.reserve(static_cast<size_t>(count));
  for (CFIndex i = 0; i < count; ++i) {
    auto value = fromObject(CFArrayGetValueAtIndex(array, i), depth + 1, budget);
    if (!value) return value;
    values.push_back(std::move(*value));
  }
  return pl::Value(std::move(values));
}

Result<pl::Value> fromDictionary(CFDictionaryRef dictionary, size_t depth, Budget& budget) {
  const CFIndex count = CFDictionaryGetCount(dictionary);
  std::vector<const void*> keys(static_cast<size_t>(count));
  std::vector<const void*> values(static_cast<size_t>(count));
  CFDictionaryGetKeysAndValues(dictionary, keys.data(), values.data());
  pl::Dictionary entries;
  for (size_t i = 0; i < keys.size(); ++i) {
    if (!keys[i] || CFGetTypeID(keys[i]) != CFStringGetTypeID()) {
      return unexpected(Error{"The property list holds a dictionary key that is not text."});
    }
    auto key = utf8String(static_cast<CFStringRef>(keys[i]));
    if (!key) return unexpected(key.error());
    auto value = fromObject(values[i], depth + 1, budget);
    if (!value) return value;
    entries.emplace(std::move(*key), std::move(*value));
  }
  return pl::Value(std::move(entries));
}

Result<pl::Value> fromObject(CFPropertyListRef object, size_t depth, Budget& budget) {
  if (!object) return unexpected(Error{"The property list holds a null value."});
  if (!budget.enter(depth)) return unexpected(tooLarge());
  const CFTypeID type = CFGetTypeID(object);
  if (type == CFStringGetTypeID()) {
    auto text = utf8String(static_cast<CFStringRef>(object));
    if (!text) return unexpected(text.error());
    return pl::Value(std::move(*text));
  }
  if (type == CFBooleanGetTypeID()) return pl::Value(static_cast<bool>(CFBooleanGetValue(static_cast<CFBooleanRef>(object))));
  if (type == CFNumberGetTypeID()) return fromNumber(static_cast<CFNumberRef>(object));
  if (type == CFDataGetTypeID()) {
    auto data = static_cast<CFDataRef>(object);
    const UInt8* bytes = CFDataGetBytePtr(data);
    return pl::Value(pl::Data(bytes, bytes + CFDataGetLength(data)));
  }
  if (type == CFDateGetTypeID()) {
    // CoreFoundation's absolute time counts from the same 2001 epoch.
    return pl::Value(pl::Date{CFDateGetAbsoluteTime(static_cast<CFDateRef>(object))});
  }
  if (type == CFArrayGetTypeID()) return fromArray(static_cast<CFArrayRef>(object), depth, budget);
  if (type == CFDictionaryGetTypeID()) return fromDictionary(static_cast<CFDictionaryRef>(object), depth, budget);
  return unexpected(Error{"The property list holds a value that is not a property-list type."});
}

Error notCreated() { return Error{"CoreFoundation could not create a property-list value."}; }

template <typename Ref>
Result<CFRef<CFPropertyListRef>> created(Ref ref) {
  auto held = CFRef<Ref>::adopt(ref);
  if (!held) return unexpected(notCreated());
  return CFRef<CFPropertyListRef>(std::move(held));
}

Result<CFRef<CFPropertyListRef>> toObject(const pl::Value& value, size_t depth, Budget& budget);

Result<CFRef<CFPropertyListRef>> toArray(const pl::Array& values, size_t depth, Budget& budget) {
  auto array = CFRef<CFMutableArrayRef>::adopt(
      CFArrayCreateMutable(nullptr, static_cast<CFIndex>(values.size()), &kCFTypeArrayCallBacks));
  if (!array) return unexpected(notCreated());
  for (const pl::Value& value : values) {
    auto object = toObject(value, depth + 1, budget);
    if (!object) return object;
    CFArrayAppendValue(array.get(), object->get());  // retains it
  }
  return CFRef<CFPropertyListRef>(std::move(array));
}

Result<CFRef<CFPropertyListRef>> toDictionary(const pl::Dictionary& entries, size_t depth, Budget& budget) {
  auto dictionary = CFRef<CFMutableDictionaryRef>::adopt(CFDictionaryCreateMutable(
      nullptr, static_cast<CFIndex>(entries.size()), &kCFTypeDictionaryKeyCallBacks,
      &kCFTypeDictionaryValueCallBacks));
  if (!dictionary) return unexpected(notCreated());
  for (const auto& [key, value] : entries) {
    auto name = cfString(key);
    if (!name) return unexpected(name.error());
    auto object = toObject(value, depth + 1, budget);
    if (!object) return object;
    CFDictionarySetValue(dictionary.get(), name->get(), object->get());  // retains both
  }
  return CFRef<CFPropertyListRef>(std::move(dictionary));
}

Result<CFRef<CFPropertyListRef>> toObject(const pl::Value& value, size_t depth, Budget& budget) {
  if (!budget.enter(depth)) return unexpected(tooLarge());
  if (const bool* flag = value.as<bool>()) return CFRef<CFPropertyListRef>::retain(*flag ? kCFBooleanTrue : kCFBooleanFalse);
  if (const int64_t* integer = value.as<int64_t>()) return created(CFNumberCreate(nullptr, kCFNumberSInt64Type, integer));
  if (const double* real = value.as<double>()) return created(CFNumberCreate(nullptr, kCFNumberFloat64Type, real));
  if (const std::string* text = value.as<std::string>()) {
    auto string = cfString(*text);
    if (!string) return unexpected(string.error());
    return CFRef<CFPropertyListRef>(std::move(*string));
  }
  if (const pl::Data* data = value.as<pl::Data>()) {
    return created(CFDataCreate(nullptr, data->data(), static_cast<CFIndex>(data->size())));
  }
  if (const pl::Date* date = value.as<pl::Date>()) return created(CFDateCreate(nullptr, date->secondsSince2001));
  if (const pl::Array* array = value.as<pl::Array>()) return toArray(*array, depth, budget);
  if (const pl::Dictionary* dictionary = value.as<pl::Dictionary>()) return toDictionary(*dictionary, depth, budget);
  return unexpected(Error{"CoreFoundation property lists cannot hold a keyed-archiver UID."});
}

}  // namespace

Result<CFRef<CFStringRef>> cfString(std::string_view utf8) {
  if (utf8.size() > static_cast<size_t>(std::numeric_limits<CFIndex>::max())) {
    return unexpected(Error{"The text is too long for a CFString."});
  }
  auto string = CFRef<CFStringRef>::adopt(CFStringCreateWithBytes(
      nullptr, reinterpret_cast<const UInt8*>(utf8.data()), static_cast<CFIndex>(utf8.size()),
      kCFStringEncodingUTF8, false));
  if (!string) return unexpected(Error{"The text is not valid UTF-8."});
  return string;
}

Result<std::string> utf8String(CFStringRef text) {
  const CFRange whole = CFRangeMake(0, CFStringGetLength(text));
  CFIndex size = 0;
  // With no loss byte, conversion stops at a lone surrogate, which UTF-8
  // cannot carry; the count of converted characters then falls short.
  if (CFStringGetBytes(text, whole, kCFStringEncodingUTF8, 0, false, nullptr, 0, &size) != whole.length) {
    return unexpected(Error{"The text is not valid Unicode."});
  }
  std::string utf8(static_cast<size_t>(size), '\0');
  CFStringGetBytes(text, whole, kCFStringEncodingUTF8, 0, false, reinterpret_cast<UInt8*>(utf8.data()), size,
                   nullptr);
  return utf8;
}

Result<pl::Value> fromPropertyList(CFPropertyListRef object) {
  Budget budget;
  return fromObject(object, 0, budget);
}

Result<CFRef<CFPropertyListRef>> toPropertyList(const pl::Value& value) {
  Budget budget;
  return toObject(value, 0, budget);
}

}  // namespace tavlune::platform::mac
