// Writes network preferences with many enabled services, for the figures of
// the state queries on a crowded machine: COUNT Ethernet services on en0,
// en1, ..., each with the proxies a new service has on macOS, the first one
// primary. Written in binary, as networksetup leaves the file.
//
//   many_services_preferences COUNT OUTPUT
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/plist/plist.h"
#include "sim/preferences/preferences_seed.h"

namespace {

namespace pl = tavlune::platform::plist;
namespace sim = tavlune::sim;

sim::PreferencesSeed manyServices(int count) {
  sim::PreferencesSeed seed;
  for (int i = 0; i < count; ++i) {
    char id[40], name[32];
    std::snprintf(id, sizeof id, "B3E1C0DE-0000-4000-8000-%012d", i + 1);
    std::snprintf(name, sizeof name, "Ethernet %d", i + 1);
    pl::Dictionary proxies{{"ExceptionsList", pl::Value(pl::Array{pl::Value("*.local"), pl::Value("169.254/16")})},
                           {"FTPPassive", pl::Value(int64_t{1})}};
    seed.services.push_back(
        {id, name, sim::InterfaceSeed{"en" + std::to_string(i), "Ethernet", name}, true, pl::Value(std::move(proxies))});
  }
  return seed;
}

}  // namespace

int main(int argc, char** argv) {
  int count = argc == 3 ? std::atoi(argv[1]) : 0;
  if (count < 1 || count > 4096) {
    std::fprintf(stderr, "usage: %s COUNT OUTPUT   (1 <= COUNT <= 4096)\n", argv[0]);
    return 2;
  }
  auto bytes = pl::toBinary(pl::Value(sim::seededPreferences(manyServices(count)).root()));
  if (!bytes) {
    std::fprintf(stderr, "%s\n", bytes.error().description.c_str());
    return 1;
  }
  std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes->data()), static_cast<std::streamsize>(bytes->size()));
  out.close();
  if (!out) {
    std::fprintf(stderr, "cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
