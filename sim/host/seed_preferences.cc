// Writes the simulated host's network preferences: the machine a user starts
// from. Usage: tavlune-sim-seed OUTPUT
//
// Wi-Fi on en0 first in the service order (so it is the primary service),
// Ethernet on en1 with no proxy settings at all, a disabled Thunderbolt
// Bridge, a VPN service without a BSD interface, and a USB adapter on which
// the user once typed in the company's proxies with their logins and then
// switched them off, as people keep them for the office. Nothing here has a
// proxy switched on: a switched-on foreign proxy would make every connect
// refuse, which is a case the tests set up themselves.
#include <cstdio>
#include <fstream>
#include <string>
#include <tuple>

#include "platform/plist/plist.h"
#include "sim/preferences/preferences_seed.h"

namespace {

namespace pl = tavlune::platform::plist;
namespace sim = tavlune::sim;

// What a new service gets on macOS before anybody touches its proxies.
pl::Dictionary defaultProxies() {
  return {{"ExceptionsList", pl::Value(pl::Array{pl::Value("*.local"), pl::Value("169.254/16")})},
          {"FTPPassive", pl::Value(int64_t{1})}};
}

sim::PreferencesSeed hostSeed() {
  pl::Dictionary handTyped = defaultProxies();
  for (const auto& [kind, host, port, user] :
       {std::tuple{"HTTP", "proxy.corp.example", 8080, "alex.w"}, std::tuple{"HTTPS", "proxy.corp.example", 8443, "alex.s"},
        std::tuple{"SOCKS", "socks.corp.example", 1080, "alex.f"}}) {
    const std::string k = kind;
    handTyped[k + "Enable"] = pl::Value(int64_t{0});
    handTyped[k + "Proxy"] = pl::Value(host);
    handTyped[k + "Port"] = pl::Value(int64_t{port});
    handTyped[k + "User"] = pl::Value(user);
    handTyped[k + "ProxyAuthenticated"] = pl::Value(int64_t{1});
  }
  handTyped["ExceptionsList"] =
      pl::Value(pl::Array{pl::Value("*.local"), pl::Value("169.254/16"), pl::Value("intranet.corp.example")});

  sim::PreferencesSeed seed;
  seed.services = {
      {"8C2D4E21-7F3A-4B1C-9D5E-0A1B2C3D4E01", "Wi-Fi", sim::InterfaceSeed{"en0", "IEEE80211", "Wi-Fi"}, true,
       pl::Value(defaultProxies())},
      {"8C2D4E21-7F3A-4B1C-9D5E-0A1B2C3D4E02", "Ethernet", sim::InterfaceSeed{"en1", "Ethernet", "Ethernet"}, true,
       pl::Value(pl::Dictionary{})},
      {"8C2D4E21-7F3A-4B1C-9D5E-0A1B2C3D4E03", "Thunderbolt Bridge",
       sim::InterfaceSeed{"bridge0", "Bridge", "Thunderbolt Bridge"}, false, pl::Value(defaultProxies())},
      {"8C2D4E21-7F3A-4B1C-9D5E-0A1B2C3D4E04", "Office VPN", sim::InterfaceSeed{std::nullopt, "L2TP", "L2TP"}, true,
       pl::Value(defaultProxies())},
      {"8C2D4E21-7F3A-4B1C-9D5E-0A1B2C3D4E05", "USB 10/100/1000 LAN",
       sim::InterfaceSeed{"en5", "Ethernet", "USB 10/100/1000 LAN"}, true, pl::Value(std::move(handTyped))},
  };
  return seed;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT\n", argv[0]);
    return 2;
  }
  auto xml = pl::toXml(pl::Value(sim::seededPreferences(hostSeed()).root()));
  if (!xml) {
    std::fprintf(stderr, "%s\n", xml.error().description.c_str());
    return 1;
  }
  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  out << *xml;
  out.close();
  if (!out) {
    std::fprintf(stderr, "cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
