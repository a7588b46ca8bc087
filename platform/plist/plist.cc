#include "platform/plist/plist.h"

#include <plist/plist.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/plist/binary_check.h"
#include "platform/text/utf8.h"
#include "platform/plist/xml_check.h"

namespace tavlune::platform::plist {
namespace {

// Well-formed UTF-8 without NUL, which libplist's C strings cannot carry.
bool isPlistText(std::string_view text) {
  return text.find('\0') == std::string_view::npos && text::isValidUtf8(text);
}

constexpr std::string_view kBinaryMagic = "bplist";
constexpr std::string_view kUidKey = "CF$UID";

struct NodeFree {
  void operator()(void* node) const { plist_free(node); }
};
using Node = std::unique_ptr<void, NodeFree>;

struct MallocFree {
  void operator()(void* p) const { std::free(p); }
};

Unexpected<Error> malformed(const std::string& why) {
  return unexpected(Error{"The property list is malformed: " + why + "."});
}
Unexpected<Error> unwritable(const std::string& why) {
  return unexpected(Error{"The property list cannot be written: " + why + "."});
}

// ---- libplist tree -> Value ----

Result<Value> fromNode(plist_t node, size_t depth);

Result<Value> fromDictionary(plist_t node, size_t depth) {
  Dictionary dictionary;
  plist_dict_iter iter = nullptr;
  plist_dict_new_iter(node, &iter);
  std::unique_ptr<void, MallocFree> iterOwner(iter);
  for (;;) {
    char* rawKey = nullptr;
    plist_t item = nullptr;
    plist_dict_next_item(node, iter, &rawKey, &item);
    std::unique_ptr<char, MallocFree> key(rawKey);
    if (item == nullptr) break;
    if (!key || !isPlistText(key.get())) return malformed("key is not UTF-8 text");
    auto value = fromNode(item, depth);
    if (!value) return unexpected(std::move(value).error());
    if (!dictionary.emplace(key.get(), std::move(value).value()).second) return malformed("duplicate key");
  }
  // XML has no UID element; libplist writes it as this dictionary.
  if (dictionary.size() == 1 && dictionary.begin()->first == kUidKey) {
    if (const int64_t* n = dictionary.begin()->second.as<int64_t>(); n && *n >= 0 && *n <= UINT32_MAX) {
      return Value(Uid{static_cast<uint64_t>(*n)});
    }
  }
  Value result(std::move(dictionary));
  return result;
}

Result<Value> fromNode(plist_t node, size_t depth) {
  switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
      uint8_t b = 0;
      plist_get_bool_val(node, &b);
      return Value(b != 0);
    }
    case PLIST_UINT: {
      uint64_t bits = 0;
      plist_get_uint_val(node, &bits);
      return Value(static_cast<int64_t>(bits));
    }
    case PLIST_REAL: {
      double d = 0;
      plist_get_real_val(node, &d);
      return Value(d);
    }
    case PLIST_STRING: {
      uint64_t length = 0;
      const char* text = plist_get_string_ptr(node, &length);
      std::string s(text ? text : "", text ? length : 0);
      if (!isPlistText(s)) return malformed("string is not UTF-8 text");
      return Value(std::move(s));
    }
    case PLIST_DATA: {
      uint64_t length = 0;
      const auto* bytes = reinterpret_cast<const uint8_t*>(plist_get_data_ptr(node, &length));
      return Value(bytes ? Data(bytes, bytes + length) : Data{});
    }
    case PLIST_DATE: {
      int32_t sec = 0, usec = 0;
      plist_get_date_val(node, &sec, &usec);
      // libplist's own conversion yields INT32_MIN for what does not fit.
      if (sec == INT32_MIN) return malformed("date out of range");
      const double fraction = usec / 1e6;
      return Value(Date{sec < 0 ? sec - fraction : sec + fraction});
    }
    case PLIST_UID: {
      uint64_t uid = 0;
      plist_get_uid_val(node, &uid);
      return Value(Uid{uid});
    }
    case PLIST_ARRAY: {
      if (depth + 1 > kMaxDepth) return malformed("nested too deeply");
      Array array;
      const uint32_t size = plist_array_get_size(node);
      array.reserve(size);
      for (uint32_t i = 0; i < size; ++i) {
        auto item = fromNode(plist_array_get_item(node, i), depth + 1);
        if (!item) return item;
        array.push_back(std::move(item).value());
      }
      return Value(std::move(array));
    }
    case PLIST_DICT:
      if (depth + 1 > kMaxDepth) return malformed("nested too deeply");
      return fromDictionary(node, depth + 1);
    default:
      return malformed("unsupported value type");
  }
}

// ---- Value -> libplist tree ----

Result<Node> toNode(const Value& value, size_t depth);

Result<Node> toNode(const Value& value, size_t depth) {
  if (const bool* b = value.as<bool>()) return Node(plist_new_bool(*b ? 1 : 0));
  if (const int64_t* n = value.as<int64_t>()) return Node(plist_new_uint(static_cast<uint64_t>(*n)));
  if (const double* d = value.as<double>()) return Node(plist_new_real(*d));
  if (const std::string* s = value.as<std::string>()) {
    if (!isPlistText(*s)) return unwritable("string is not UTF-8 text without NUL");
    return Node(plist_new_string(s->c_str()));
  }
  if (const Data* data = value.as<Data>()) {
    return Node(plist_new_data(reinterpret_cast<const char*>(data->data()), data->size()));
  }
  if (const Date* date = value.as<Date>()) {
    const double t = date->secondsSince2001;
    if (!(t > INT32_MIN && t < INT32_MAX + 1.0)) return unwritable("date out of range");
    const double whole = std::trunc(t);
    auto sec = static_cast<int32_t>(whole);
    auto usec = static_cast<int32_t>(std::lround((t - whole) * 1e6));
    if (usec == 1000000 || usec == -1000000) {
      if (sec == (usec > 0 ? INT32_MAX : INT32_MIN + 1)) return unwritable("date out of range");
      sec += usec > 0 ? 1 : -1;
      usec = 0;
    }
    return Node(plist_new_date(sec, usec));
  }
  if (const Uid* uid = value.as<Uid>()) {
    if (uid->value > UINT32_MAX) return unwritable("UID beyond 32 bits");
    return Node(plist_new_uid(uid->value));
  }
  if (depth + 1 > kMaxDepth) return unwritable("nested too deeply");
  if (const Array* array = value.as<Array>()) {
    Node node(plist_new_array());
    for (const Value& item : *array) {
      auto child = toNode(item, depth + 1);
      if (!child) return child;
      plist_array_append_item(node.get(), child->release());
    }
    return node;
  }
  const Dictionary& dictionary = *value.as<Dictionary>();
  Node node(plist_new_dict());
  for (const auto& [key, item] : dictionary) {
    if (!isPlistText(key)) return unwritable("key is not UTF-8 text without NUL");
    auto child = toNode(item, depth + 1);
    if (!child) return child;
    plist_dict_set_item(node.get(), key.c_str(), child->release());
  }
  return node;
}

}  // namespace

Result<Value> parse(std::span<const uint8_t> bytes) {
  if (bytes.empty()) return malformed("empty");
  if (bytes.size() > kMaxInputBytes) return malformed("larger than " + std::to_string(kMaxInputBytes) + " bytes");
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  const bool binary = text.starts_with(kBinaryMagic);
  if (auto checked = binary ? checkBinary(bytes) : checkXml(text); !checked) return unexpected(checked.error());

  // libplist's XML reader runs C number parsers that stop only at a
  // terminator; give it one past the end.
  std::vector<char> copy(bytes.begin(), bytes.end());
  copy.push_back('\0');
  plist_t raw = nullptr;
  const auto length = static_cast<uint32_t>(bytes.size());
  if (binary) {
    plist_from_bin(copy.data(), length, &raw);
  } else {
    plist_from_xml(copy.data(), length, &raw);
  }
  Node root(raw);
  if (!root) return malformed("not a property list");
  return fromNode(root.get(), 0);
}

Result<Value> parse(std::string_view bytes) {
  return parse(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
}

Result<Data> toBinary(const Value& value) {
  auto node = toNode(value, 0);
  if (!node) return unexpected(std::move(node).error());
  char* out = nullptr;
  uint32_t length = 0;
  plist_to_bin(node->get(), &out, &length);
  if (out == nullptr) return unwritable("libplist produced nothing");
  Data data(reinterpret_cast<const uint8_t*>(out), reinterpret_cast<const uint8_t*>(out) + length);
  plist_to_bin_free(out);
  return data;
}

Result<std::string> toXml(const Value& value) {
  auto node = toNode(value, 0);
  if (!node) return unexpected(std::move(node).error());
  char* out = nullptr;
  uint32_t length = 0;
  plist_to_xml(node->get(), &out, &length);
  if (out == nullptr) return unwritable("libplist produced nothing");
  std::string xml(out, length);
  plist_to_xml_free(out);
  return xml;
}

}  // namespace tavlune::platform::plist
