#include "validation/curl_arguments.h"

#include <gtest/gtest.h>

namespace tavlune::validation {
namespace {

using Strings = std::vector<std::string>;

TEST(ProxyUrls, SchemesFollowTheProtocolExactly) {
  struct Case {
    std::string host;
    int64_t port;
    std::string protocol;
    Strings urls;
  };
  const Case cases[] = {
      {"198.51.100.4", 1080, "socks4", {"socks4a://198.51.100.4:1080"}},
      {"gw.example", 1080, "socks5", {"socks5h://gw.example:1080", "socks5://gw.example:1080"}},
      {"gw.example", 443, "https", {"https://gw.example:443"}},
      {"gw.example", 8080, "http", {"http://gw.example:8080"}},
      // Exact comparison: anything unknown, even a differently written known name, is HTTP.
      {"gw.example", 1080, "SOCKS5", {"http://gw.example:1080"}},
      {"gw.example", 1080, "socks", {"http://gw.example:1080"}},
      {"gw.example", 1080, "", {"http://gw.example:1080"}},
      // The host goes in untouched: no brackets added, nothing escaped.
      {"::1", 3128, "http", {"http://::1:3128"}},
      {"user@host", 3128, "socks4", {"socks4a://user@host:3128"}},
      {"h", 0, "http", {"http://h:0"}},
      {"h", 65535, "https", {"https://h:65535"}},
  };
  for (const auto& c : cases) EXPECT_EQ(proxyUrls(c.host, c.port, c.protocol), c.urls) << c.protocol << " " << c.host;
}

TEST(ProxyCredentials, OnlyAUserNameBringsCredentials) {
  struct Case {
    std::string user, password;
    std::optional<std::string> credentials;
  };
  const Case cases[] = {
      {"", "", std::nullopt},
      {"", "secret", std::nullopt},  // a password alone is never sent
      {"alice", "", "alice:"},
      {"alice", "secret", "alice:secret"},
      {"al ice", "p:w@d%20'\"$(x)", "al ice:p:w@d%20'\"$(x)"},  // unescaped, as typed
  };
  for (const auto& c : cases) EXPECT_EQ(proxyCredentials(c.user, c.password), c.credentials) << c.user << "/" << c.password;
}

TEST(CurlArguments, ExactListsInOrder) {
  struct Case {
    std::string name;
    Strings actual, expected;
  };
  const Case cases[] = {
      {"probe without credentials",
       probeArguments("http://h:1", std::nullopt, "https://e.example/", 12),
       {"--silent", "--show-error", "--fail", "--location", "--ipv4", "--max-time", "12", "--proxy", "http://h:1",
        "--user-agent", "Tavlune-macOS/1.0", "https://e.example/"}},
      {"probe with credentials",
       probeArguments("socks5h://h:1", "u:", "https://e.example/json", 7),
       {"--silent", "--show-error", "--fail", "--location", "--ipv4", "--max-time", "7", "--proxy", "socks5h://h:1",
        "--user-agent", "Tavlune-macOS/1.0", "--proxy-user", "u:", "https://e.example/json"}},
      {"speed without credentials",
       speedArguments("http://h:1", std::nullopt, "https://d.example/__down?bytes=250000"),
       {"--silent", "--show-error", "--location", "--ipv4", "--max-time", "10", "--output", "/dev/null",
        "--write-out", "%{speed_download}", "--proxy", "http://h:1", "https://d.example/__down?bytes=250000"}},
      {"speed with credentials",
       speedArguments("https://h:1", "-u:-p", "https://d.example/__down?bytes=250000"),
       {"--silent", "--show-error", "--location", "--ipv4", "--max-time", "10", "--output", "/dev/null",
        "--write-out", "%{speed_download}", "--proxy", "https://h:1", "--proxy-user", "-u:-p",
        "https://d.example/__down?bytes=250000"}},
  };
  for (const auto& c : cases) EXPECT_EQ(c.actual, c.expected) << c.name;
}

}  // namespace
}  // namespace tavlune::validation
