// Generated names, hosts, users and passwords full of shell-special
// characters: the shell must hand networksetup exactly those values, and the
// helper's strict test must accept every line, unless a value holds "&&".
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "helperd/command_test.h"
#include "manager/mac_proxy_manager.h"
#include "model/record_store.h"
#include "platform/defaults/memory_user_defaults.h"
#include "platform/plist/plist.h"
#include "sysproxy/connect_command.h"
#include "sysproxy/restore_commands.h"
#include "tests/sysproxy/shell_run.h"

namespace tavlune {
namespace {
using namespace tavlune::sysproxy;
using namespace tavlune::model;

namespace pl = platform::plist;
using Invocation = std::vector<std::string>;

// A recorder in place of the tool: each invocation as its argument count and
// its arguments, NUL-terminated.
std::vector<Invocation> invocationsOf(const std::string& line) {
  const std::string recorder =
      "function /usr/sbin/networksetup { printf '%d\\0' \"$#\"; printf '%s\\0' \"$@\"; }\n";
  auto result = platform::runProcess("/bin/bash", {"-c", recorder + line},
                                     {.environment = std::vector<std::string>{"PATH=/usr/bin:/bin"}});
  EXPECT_TRUE(result.has_value());
  if (!result) return {};
  std::vector<std::string> fields;
  std::string field;
  for (uint8_t byte : result->standardOutput) {
    if (byte == 0) {
      fields.push_back(field);
      field.clear();
    } else {
      field += char(byte);
    }
  }
  EXPECT_TRUE(field.empty());
  EXPECT_EQ(result->terminationStatus, 0) << std::string(result->standardError.begin(), result->standardError.end());
  std::vector<Invocation> invocations;
  for (size_t i = 0; i < fields.size();) {
    const size_t count = std::stoul(fields[i++]);
    invocations.emplace_back(fields.begin() + i, fields.begin() + std::min(fields.size(), i + count));
    i += count;
  }
  return invocations;
}

class ValueGenerator {
 public:
  explicit ValueGenerator(uint32_t seed) : random_(seed) {}

  std::string operator()(bool allowAmpersands) {
    static const std::vector<std::string> pieces = {
        "a", "Z", "7", "-", ".", "'", "''", "\"", " ", "$", "$HOME", "${x}", "$(id)", "`", "`id`", ";", "\\",
        "*", "?", "[a]", "~", "#", "!", "|", "<", ">", "(", ")", "{", "}", "=", "%", "&", "\xC3\xA9", "\xC3\xBC",
        "\xE6\x97\xA5", "\xD0\x96", "\xF0\x9F\x98\x80", "\t"};
    std::uniform_int_distribution<size_t> length(1, 12), pick(0, pieces.size() - 1), coin(0, 9);
    std::vector<std::string> chosen;
    for (size_t i = length(random_); i > 0; --i) chosen.push_back(pieces[pick(random_)]);
    // Between pieces, so that no multi-byte letter is cut.
    if (allowAmpersands && coin(random_) == 0) chosen.insert(chosen.begin() + below(chosen.size() + 1), "&&");
    std::string value;
    for (const std::string& piece : chosen) value += piece;
    if (coin(random_) < 2) value += coin(random_) < 5 ? " " : "  ";
    return value;
  }

  size_t below(size_t bound) { return std::uniform_int_distribution<size_t>(0, bound - 1)(random_); }

 private:
  std::mt19937 random_;
};

bool holdsAmpersands(const std::vector<std::string>& values) {
  return std::any_of(values.begin(), values.end(), [](const std::string& v) { return v.find("&&") != std::string::npos; });
}

// The invocations the connect line must make, written out from its rules.
std::vector<Invocation> expectedConnect(const std::vector<std::string>& services, const std::string& host,
                                        const std::string& port, const std::string& protocol,
                                        const std::string& user, const std::string& password) {
  Invocation authentication = user.empty() ? Invocation{"off"} : Invocation{"on", user, password};
  std::vector<Invocation> expected;
  for (const std::string& s : services) {
    for (const char* off : {"-setwebproxystate", "-setsecurewebproxystate", "-setsocksfirewallproxystate",
                            "-setautoproxystate", "-setproxyautodiscovery"}) {
      expected.push_back({off, s, "off"});
    }
    expected.push_back({"-setproxybypassdomains", s, "localhost", "127.0.0.1", "::1", "*.local"});
    std::vector<const char*> options;
    if (protocol == "http") options = {"-setwebproxy", "-setsecurewebproxy"};
    if (protocol == "https") options = {"-setsecurewebproxy"};
    if (protocol.starts_with("socks")) options = {"-setsocksfirewallproxy"};
    for (const char* option : options) {
      Invocation proxy{option, s, host, port};
      // Appended one by one: GCC 12 with --coverage takes a range insert here for a use after free.
      for (const std::string& field : authentication) proxy.push_back(field);
      expected.push_back(proxy);
    }
  }
  return expected;
}

TEST(QuotingProperty, ConnectLinesHandEveryValueThroughUnchanged) {
  const char* protocols[] = {"http", "https", "socks4", "socks5"};
  for (uint32_t seed = 1; seed <= 150; ++seed) {
    ValueGenerator generate(seed);
    std::vector<std::string> services;
    for (size_t i = 1 + generate.below(3); i > 0; --i) services.push_back(generate(true));
    const std::string host = generate(true);
    const std::string user = generate.below(4) == 0 ? "" : generate(true);
    const std::string password = generate.below(5) == 0 ? "" : generate(true);
    const std::string protocol = protocols[generate.below(4)];
    const int64_t port = 1 + int64_t(generate.below(65535));
    SCOPED_TRACE("seed " + std::to_string(seed));

    const std::string line = connectCommand(services, host, port, protocol, user, password);
    EXPECT_EQ(invocationsOf(line), expectedConnect(services, host, std::to_string(port), protocol, user, password));

    // The password is sent only with a user name.
    std::vector<std::string> values = services;
    values.push_back(host);
    if (!user.empty()) values.insert(values.end(), {user, password});
    EXPECT_EQ(helperd::isAllowedCommandLine(line), !holdsAmpersands(values)) << line;
  }
}

std::string trimmedBlanks(const std::string& value) {
  const size_t first = value.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return value.substr(first, value.find_last_not_of(" \t") - first + 1);
}

TEST(QuotingProperty, RestoreAndSwitchOffLinesHandEveryValueThroughUnchanged) {
  for (uint32_t seed = 1000; seed < 1100; ++seed) {
    ValueGenerator generate(seed);
    SCOPED_TRACE("seed " + std::to_string(seed));
    MacProxySnapshot snapshot;
    std::vector<Invocation> expected;
    std::vector<std::string> values;
    for (size_t i = 1 + generate.below(2); i > 0; --i) {
      const std::string name = generate(true);
      std::string host = generate(true), user = generate(true), url = generate(true);
      std::vector<std::string> exceptions{generate(true), generate(true)};
      // The restore trims hosts, users and URLs; blank ones restore nothing.
      if (trimmedBlanks(host).empty()) host = "h" + host;
      if (trimmedBlanks(user).empty()) user = "u" + user;
      if (trimmedBlanks(url).empty()) url = "u" + url;
      pl::Array list;
      for (const auto& e : exceptions) list.push_back(pl::Value(e));
      pl::Dictionary proxies{{"SOCKSEnable", pl::Value(int64_t{1})}, {"SOCKSProxy", pl::Value(host)},
                             {"SOCKSPort", pl::Value(int64_t{1080})}, {"SOCKSUser", pl::Value(user)},
                             {"ExceptionsList", pl::Value(list)},
                             {"ProxyAutoConfigEnable", pl::Value(int64_t{1})},
                             {"ProxyAutoConfigURLString", pl::Value(url)},
                             {"ProxyAutoDiscoveryEnable", pl::Value(int64_t{1})}};
      snapshot.services.push_back({name, *pl::toBinary(pl::Value(proxies))});

      for (const char* off : {"-setwebproxystate", "-setsecurewebproxystate", "-setsocksfirewallproxystate",
                              "-setautoproxystate", "-setproxyautodiscovery"}) {
        expected.push_back({off, name, "off"});
      }
      expected.push_back({"-setsocksfirewallproxy", name, trimmedBlanks(host), "1080", "on", trimmedBlanks(user), ""});
      expected.push_back({"-setproxybypassdomains", name, exceptions[0], exceptions[1]});
      expected.push_back({"-setproxyautodiscovery", name, "on"});
      expected.push_back({"-setautoproxyurl", name, trimmedBlanks(url)});
      values.insert(values.end(), {name, host, user, url, exceptions[0], exceptions[1]});
    }
    const std::string line = disconnectCommand(snapshot);
    EXPECT_EQ(invocationsOf(line), expected);
    EXPECT_EQ(helperd::isAllowedCommandLine(line), !holdsAmpersands(values)) << line;

    std::vector<std::string> names;
    for (const auto& service : snapshot.services) names.push_back(service.name);
    const std::string off = disableProxyCommand(names);
    auto invocations = invocationsOf(off);
    ASSERT_EQ(invocations.size(), 5 * names.size());
    for (size_t i = 0; i < invocations.size(); ++i) EXPECT_EQ(invocations[i], expected[i < 5 ? i : i + 4]);
    EXPECT_EQ(helperd::isAllowedCommandLine(off), !holdsAmpersands(names)) << off;
  }
}

}  // namespace
}  // namespace tavlune
