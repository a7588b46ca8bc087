#include "validation/curl_arguments.h"
#include "validation/speed_text.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace tavlune::validation {
namespace {

using Strings = std::vector<std::string>;

TEST(ProxyUrls, SchemesFollowTheProtocolExactly) {
  const std::tuple<std::string, std::string, Strings> cases[] = {
      {"198.51.100.4", "socks4", {"socks4a://198.51.100.4:1080"}},
      {"gw.example", "socks5", {"socks5h://gw.example:1080", "socks5://gw.example:1080"}},
      {"gw.example", "https", {"https://gw.example:1080"}},
      {"gw.example", "SOCKS5", {"http://gw.example:1080"}},  // anything else, however close, is HTTP
      {"::1", "http", {"http://[::1]:1080"}},
      {"[2001:db8::7]", "socks5", {"socks5h://[2001:db8::7]:1080", "socks5://[2001:db8::7]:1080"}}};
  for (const auto& [host, protocol, urls] : cases) EXPECT_EQ(proxyUrls(host, 1080, protocol), urls) << protocol << " " << host;
}

TEST(ProxyCredentials, OnlyAUserNameBringsCredentialsQuotedForCurlsConfiguration) {
  EXPECT_EQ(proxyCredentials("", "secret"), std::nullopt);
  EXPECT_EQ(proxyCredentials("al ice", "p:w@d%20'"), "al ice:p:w@d%20'");  // unescaped, as typed
  EXPECT_EQ(curlStandardInput(std::nullopt), std::nullopt);
  EXPECT_EQ(curlStandardInput("a\\b\"c\td\ne\rf\vg'$ €"), "proxy-user = \"a\\\\b\\\"c\\td\\ne\\rf\\vg'$ €\"\n");
}

TEST(CurlArguments, ExactListsInOrder) {
  const Strings probe = {"--silent", "--show-error", "--fail", "--location", "--ipv4", "--max-time"};
  const Strings speed = {"--silent", "--show-error", "--location", "--ipv4", "--max-time", "10",
                         "--output", "/dev/null", "--write-out", "%{speed_download}", "--proxy"};
  auto with = [](Strings head, const Strings& tail) { return head.insert(head.end(), tail.begin(), tail.end()), head; };
  // A proxy at an IPv6 address is never reached under --ipv4.
  auto withoutIPv4 = [](Strings list) { return list.erase(std::find(list.begin(), list.end(), "--ipv4")), list; };
  const std::string agent = "Tavlune-macOS/1.0", down = "https://d.example/__down?bytes=250000";
  EXPECT_EQ(probeArguments("http://h:1", std::nullopt, "https://e.example/", 12),
            with(probe, {"12", "--proxy", "http://h:1", "--user-agent", agent, "https://e.example/"}));
  // Credentials come on standard input, in the place their option had.
  EXPECT_EQ(probeArguments("socks5h://h:1", "u:", "https://e.example/json", 7),
            with(probe, {"7", "--proxy", "socks5h://h:1", "--user-agent", agent, "--config", "-", "https://e.example/json"}));
  EXPECT_EQ(speedArguments("https://h:1", "-u:-p", down), with(speed, {"https://h:1", "--config", "-", down}));
  EXPECT_EQ(probeArguments("socks5://[::1]:1", std::nullopt, "https://e.example/", 12),
            with(withoutIPv4(probe), {"12", "--proxy", "socks5://[::1]:1", "--user-agent", agent, "https://e.example/"}));
  EXPECT_EQ(speedArguments("http://[::1]:1", std::nullopt, down), with(withoutIPv4(speed), {"http://[::1]:1", down}));
}

TEST(SpeedText, RatesAndWhatIsNotARate) {
  const std::string none = "Unavailable", twelve = "12.0 Mbps", cap = "999.9 Mbps";
  for (const auto& [output, text] : std::vector<std::pair<std::string, std::string>>{
           {"0.000", none}, {"-1500000", none}, {"1500000", twelve}, {" \t1500000.000\r\n", twelve}, {"+1500000", twelve},
           {"1.5e6", twelve}, {"1543209.75", "12.3 Mbps"}, {"124987", "1.0 Mbps"}, {"6", "0.0 Mbps"}, {"0.5", "0.0 Mbps"},
           {"124987500", cap}, {"1e300", cap}, {"", none}, {"abc", none}, {"12 Mbps", none}, {"1500000 1500000", none},
           {"1,5", none}, {"++1500000", none}, {"0x10", none}, {"inf", none}, {"nan", none}, {"1e999", none},
           {"\xff\xfe" "1500000", none}, {std::string("1500000\0", 8), none}, {"1500000.", twelve}, {".15E7", twelve},
           {"1e", none}, {"1e+", none}, {"1.5.0", none}, {"-.", none}, {"1500000e", none}})
    EXPECT_EQ(speedText(output), text) << "output: " << output;
}

}  // namespace
}  // namespace tavlune::validation
