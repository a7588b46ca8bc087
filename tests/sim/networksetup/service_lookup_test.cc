#include "sim/networksetup/service_lookup.h"

#include <gtest/gtest.h>

#include "sim/preferences/preferences_seed.h"

namespace tavlune::sim {
namespace {

namespace pl = platform::plist;
using platform::sysconfig::NetworkPreferences;

InterfaceSeed en(const std::string& device) { return {device, "Ethernet", device}; }

TEST(ServiceLookup, ServiceLookupIsExactAndFollowsTheServiceOrder) {
  PreferencesSeed seed;
  seed.services = {{"A", "Wi-Fi", en("en0"), true, std::nullopt},
                   {"B", "Wi-Fi", en("en1"), true, std::nullopt},
                   {"C", "Ethernet ", en("en2"), true, pl::Value("not a dictionary")}};
  seed.serviceOrder = std::vector<std::string>{"B", "A", "C"};
  const NetworkPreferences preferences = seededPreferences(seed);
  const std::pair<const char*, std::optional<std::string>> cases[] = {
      {"Wi-Fi", "B"}, {"wi-fi", std::nullopt}, {"Ethernet", std::nullopt}, {"Ethernet ", "C"}, {"", std::nullopt}};
  for (const auto& [name, id] : cases) {
    auto found = serviceIDNamed(preferences, name);
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(*found, id) << name;
  }
  pl::Dictionary root = preferences.root();
  pl::Dictionary* proxies = mutableProxies(root, "C");
  ASSERT_NE(proxies, nullptr);
  EXPECT_TRUE(proxies->empty());
  EXPECT_EQ(mutableProxies(root, "NOPE"), nullptr);
}

}  // namespace
}  // namespace tavlune::sim
