// Arbitrary bytes into the reader; whatever it accepts must survive being
// written in both formats and read again unchanged.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "platform/plist/plist.h"

namespace pl = tavlune::platform::plist;

namespace {

// Like Value's ==, but NaN equals NaN, -0.0 equals 0.0 (XML has no negative
// zero) and dates compare at the precision each format keeps.
bool same(const pl::Value& a, const pl::Value& b, bool xml) {
  if (a.index() != b.index()) return false;
  if (const double* x = a.as<double>()) {
    const double y = *b.as<double>();
    return (std::isnan(*x) && std::isnan(y)) || *x == y;
  }
  if (const pl::Date* x = a.as<pl::Date>()) {
    const double y = b.as<pl::Date>()->secondsSince2001;
    const double want = xml ? std::trunc(x->secondsSince2001) : x->secondsSince2001;
    // XML keeps whole seconds; in binary, libplist truncates to microseconds.
    return std::fabs(want - y) <= (xml ? 1.0 : 2e-6);
  }
  if (const pl::Array* x = a.as<pl::Array>()) {
    const pl::Array& y = *b.as<pl::Array>();
    if (x->size() != y.size()) return false;
    for (size_t i = 0; i < x->size(); ++i) {
      if (!same((*x)[i], y[i], xml)) return false;
    }
    return true;
  }
  if (const pl::Dictionary* x = a.as<pl::Dictionary>()) {
    const pl::Dictionary& y = *b.as<pl::Dictionary>();
    if (x->size() != y.size()) return false;
    for (auto i = x->begin(), j = y.begin(); i != x->end(); ++i, ++j) {
      if (i->first != j->first || !same(i->second, j->second, xml)) return false;
    }
    return true;
  }
  return a == b;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto parsed = pl::parse(std::span<const uint8_t>(data, size));
  if (!parsed) return 0;

  auto binary = pl::toBinary(*parsed);
  if (!binary) std::abort();  // everything we read, we can write
  auto fromBinary = pl::parse(std::span<const uint8_t>(*binary));
  if (!fromBinary || !same(*parsed, *fromBinary, false)) std::abort();

  auto xml = pl::toXml(*parsed);
  if (!xml) std::abort();
  auto fromXml = pl::parse(std::string_view(*xml));
  if (!fromXml || !same(*parsed, *fromXml, true)) std::abort();
  return 0;
}
