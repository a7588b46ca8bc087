#include <gtest/gtest.h>

#include "platform/plist/plist.h"
#include "sysproxy/network_service_discovery.h"
#include "platform/sysconfig/memory_network_configuration.h"

namespace tavlune {
namespace {
using namespace tavlune::sysproxy;
using namespace tavlune::model;

namespace pl = platform::plist;
using platform::sysconfig::NetworkService;

NetworkService service(const std::string& name, const char* bsd = "en0") {
  NetworkService s;
  s.serviceID = "id-" + name;
  s.name = name;
  s.hasInterface = true;
  if (bsd) s.bsdName = bsd;
  return s;
}

pl::Dictionary decoded(const std::vector<uint8_t>& blob) {
  // The stored form is a binary property list, whatever the reader accepts.
  EXPECT_GE(blob.size(), 8u);
  EXPECT_EQ(std::string(blob.begin(), blob.begin() + 8), "bplist00");
  auto value = pl::parse(std::span<const uint8_t>(blob));
  return value && value->is<pl::Dictionary>() ? *value->as<pl::Dictionary>() : pl::Dictionary{{"unreadable", pl::Value(true)}};
}

TEST(EnabledNetworkServices, ListsEnabledNamedServicesOnBsdInterfacesInEnumerationOrder) {
  pl::Dictionary proxies{{"HTTPEnable", pl::Value(int64_t{1})}, {"HTTPProxy", pl::Value("p.example")},
                         {"ExceptionsList", pl::Value(pl::Array{pl::Value("*.local")})}};
  std::vector<NetworkService> services;
  services.push_back(service("Ethernet 2", "en5"));
  services.back().proxies = pl::Value(proxies);
  services.push_back(service("Wi-Fi"));
  services.back().enabled = false;
  services.back().proxies = pl::Value(proxies);  // disabled wins over switched-on proxies
  services.push_back(service("VPN", nullptr));
  services.push_back(service("Bare"));
  services.back().hasInterface = false;
  services.push_back(service("unnamed"));
  services.back().name.reset();
  services.push_back(service(" Bob's \"Caf\xC3\xA9\" $HOME ", "en1"));
  services.back().proxies = pl::Value("not a dictionary");
  services.push_back(service("Ethernet 1", "en4"));
  services.back().proxies = pl::Value(pl::Dictionary{});

  platform::sysconfig::MemoryNetworkConfiguration configuration;
  configuration.services = services;
  auto listed = enabledNetworkServices(configuration);
  ASSERT_TRUE(listed.has_value());
  ASSERT_EQ(listed->size(), 3u);
  EXPECT_EQ((*listed)[0].name, "Ethernet 2");
  EXPECT_EQ(decoded((*listed)[0].configuration), proxies);
  EXPECT_EQ((*listed)[1].name, " Bob's \"Caf\xC3\xA9\" $HOME ");
  EXPECT_EQ(decoded((*listed)[1].configuration), pl::Dictionary{});
  EXPECT_EQ((*listed)[2].name, "Ethernet 1");
  EXPECT_EQ(decoded((*listed)[2].configuration), pl::Dictionary{});
  // No configuration at all also gives the empty dictionary's bytes.
  EXPECT_EQ((*listed)[1].configuration, *pl::toBinary(pl::Value(pl::Dictionary{})));
}

TEST(EnabledNetworkServices, NothingUsableIsAnEmptyListAndFailuresAreErrors) {
  platform::sysconfig::MemoryNetworkConfiguration configuration;
  configuration.services = std::vector<NetworkService>{service("VPN", nullptr)};
  auto listed = enabledNetworkServices(configuration);
  ASSERT_TRUE(listed.has_value());
  EXPECT_TRUE(listed->empty());

  configuration.services = unexpected(platform::Error{"The network preferences name no current set."});
  auto failed = enabledNetworkServices(configuration);
  ASSERT_FALSE(failed.has_value());
  EXPECT_EQ(failed.error(), AnyError(MacProxyError::noNetworkService()));

  // A text the serialiser refuses fails the whole call, not just one service.
  auto bad = service("Wi-Fi");
  bad.proxies = pl::Value(pl::Dictionary{{"HTTPProxy", pl::Value(std::string("\xFF\xFE"))}});
  configuration.services = std::vector<NetworkService>{service("Ethernet"), bad};
  failed = enabledNetworkServices(configuration);
  ASSERT_FALSE(failed.has_value());
  EXPECT_TRUE(std::holds_alternative<platform::Error>(failed.error()));
}

}  // namespace
}  // namespace tavlune
