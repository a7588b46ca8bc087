// Arbitrary bytes through the strict JSON reader and the record decoders:
// never a crash, and whatever parses writes back to text that parses equal.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "model/records.h"
#include "platform/json/json.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tavlune;
  using namespace tavlune::model;
  std::string_view text(reinterpret_cast<const char*>(data), size);
  auto value = platform::json::parse(text);
  if (!value) return 0;
  (void)recordFromJson<MacProxyConnectionState>(*value);
  (void)recordFromJson<MacProxySnapshot>(*value);
  (void)recordFromJson<MacProxyDiagnostic>(*value);
  for (auto write : {platform::json::serialize, platform::json::serializeEscapingSlashes}) {
    auto written = write(*value);
    if (!written) std::abort();  // the reader accepted only UTF-8, so writing cannot fail
    auto again = platform::json::parse(*written);
    if (!again || *again != *value) std::abort();
  }
  return 0;
}
