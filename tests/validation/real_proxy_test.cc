// The real curl through a real SOCKS5 proxy from Debian's packages, all on loopback,
// against a plain HTTP stand-in for the services; pauses go to a recording clock.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include "platform/dispatch/recording_clock.h"
#include "platform/unique_fd.h"
#include "tests/support/temp_dir.h"
#include "validation/proxy_validator.h"

extern char** environ;

namespace tavlune::validation {
namespace {

sockaddr_in loopback(int port) { return {AF_INET, htons(static_cast<uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}}; }

int freePort() {
  sockaddr_in address = loopback(0);
  socklen_t length = sizeof address;
  platform::UniqueFd fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  bind(fd.get(), reinterpret_cast<sockaddr*>(&address), length);
  getsockname(fd.get(), reinterpret_cast<sockaddr*>(&address), &length);
  return ntohs(address.sin_port);
}

// A server run as our child, quiet, until the object goes.
struct Server {
  Server(std::vector<std::string> arguments, int port) : port(port) {
    std::vector<char*> argv;
    for (auto& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&quiet, 1, 2);
    if (posix_spawn(&pid, argv[0], &quiet, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&quiet);
  }
  ~Server() {
    if (pid > 0) kill(pid, SIGTERM), waitpid(pid, nullptr, 0);
  }
  bool accepting() {
    for (int i = 0; i < 500 && pid > 0 && waitpid(pid, nullptr, WNOHANG) == 0; ++i) {
      const sockaddr_in address = loopback(port);
      platform::UniqueFd fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
      if (connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }
  pid_t pid = -1;
  int port;
};

TEST(RealProxies, CurlCarriesCredentialsAsTypedAndReportsItsFailures) {
  for (const char* program : {"/usr/bin/curl", "/usr/bin/python3", "/usr/bin/microsocks"})
    if (access(program, X_OK) != 0) {
      if (std::getenv("CI")) FAIL() << program << " is missing; scripts/setup.sh installs it";
      GTEST_SKIP() << program << " is not installed; scripts/setup.sh installs it";
    }
  tavlune::testing::TempDir web(/*readableByAll=*/true);
  web.write("index.html", R"({"ip":"203.0.113.7","country":"Germany","country_code":"de"})");
  web.write("__down", std::string(250000, '\0'));
  // Shell syntax, the quoting of curl's configuration, a colon and UTF-8: they must arrive as typed.
  const std::string user = "bob ü", password = "p w:\\q\t€$(id)';\"`id`\\";
  const int webPort = freePort(), socksPort = freePort(), closedPort = freePort();
  Server service({"/usr/bin/python3", "-m", "http.server", "-b", "127.0.0.1", "-d", web.path(), std::to_string(webPort)},
                 webPort);
  Server socks({"/usr/bin/microsocks", "-i", "127.0.0.1", "-p", std::to_string(socksPort), "-u", user, "-P", password},
               socksPort);
  ASSERT_TRUE(service.accepting() && socks.accepting());
  const std::string base = "http://127.0.0.1:" + std::to_string(webPort);
  const std::string gateway = model::MacProxyError::validationFailed("curl: (97) x").errorDescription();
  const std::tuple<int, std::string, std::string, std::string, std::string> cases[] = {
      {socksPort, "socks5", user, password, "203.0.113.7 Germany DE"},
      {socksPort, "socks5", user, "wrong", gateway},
      {closedPort, "http", "", "", "curl: (7) Failed to connect to 127.0.0.1 port " + std::to_string(closedPort)}};
  for (const auto& [port, protocol, name, secret, expected] : cases) {
    platform::RecordingClock clock;
    // curl --fail moves on past the first service's 404.
    ProxyValidator validator(clock, {kCurlPath, {base + "/none", base + "/"}, base + "/__down?bytes=250000"});
    auto result = validator.diagnose("127.0.0.1", port, protocol, name, secret);
    const std::string text = result ? result->ip + " " + result->country + " " + result->countryCode
                                    : std::get<model::MacProxyError>(result.error()).payload();
    EXPECT_TRUE(text.starts_with(expected)) << text;
    EXPECT_TRUE(!result || result->speed != "Unavailable");
  }
}

}  // namespace
}  // namespace tavlune::validation
