#include "tests/validation/support/loopback_services.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>

#include <gtest/gtest.h>

#include "platform/process/process.h"

namespace tavlune::validation::testing {
namespace {

using namespace std::chrono_literals;

constexpr auto kStartTimeout = 10s;

bool isRoot() { return geteuid() == 0; }

void run(const std::string& path, const std::vector<std::string>& arguments) {
  auto result = platform::runProcess(path, arguments);
  if (!result || !result->succeeded())
    throw std::runtime_error(path + " failed: " +
                             (result ? std::string(result->standardError.begin(), result->standardError.end())
                                     : result.error().description));
}

// Starts the program, waits for its port, and hands it to the proxy.
bool launch(LoopbackProxy& proxy, const std::string& name, const std::string& path,
            const std::vector<std::string>& arguments, int port) {
  auto process = std::make_unique<BackgroundProcess>(path, arguments, proxy.dir.file(name + ".log"));
  bool up = process->waitUntilListening(port, kStartTimeout);
  if (!up) ADD_FAILURE() << name << " did not come up on port " << port << "\n" << process->log();
  proxy.processes.push_back(std::move(process));
  return up;
}

}  // namespace

bool mustRunEverything() {
  const char* ci = getenv("CI");
  return ci && std::string(ci) == "true";
}

TrustedLoopback::TrustedLoopback() {
  const std::string d = dir_.path().string() + "/";
  // EC keys: generated in milliseconds, which matters as every test builds its own.
  run("/usr/bin/openssl", {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                           "-keyout", d + "ca.key", "-out", d + "ca.pem", "-days", "2", "-subj", "/CN=Loopback test CA"});
  run("/usr/bin/openssl", {"req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout",
                           d + "server.key", "-out", d + "server.csr", "-subj", "/CN=localhost"});
  dir_.write("server.ext",
             "subjectAltName=DNS:localhost,IP:127.0.0.1\nbasicConstraints=CA:FALSE\n"
             "keyUsage=digitalSignature\nextendedKeyUsage=serverAuth\n");
  run("/usr/bin/openssl", {"x509", "-req", "-in", d + "server.csr", "-CA", d + "ca.pem", "-CAkey", d + "ca.key",
                           "-CAcreateserial", "-out", d + "server.pem", "-days", "2", "-extfile", d + "server.ext"});
  std::filesystem::permissions(d + "server.key", std::filesystem::perms::owner_read |
                                                     std::filesystem::perms::owner_write |
                                                     std::filesystem::perms::group_read |
                                                     std::filesystem::perms::others_read);

  // curl's argument list is fixed, so trust reaches it through its configuration file.
  dir_.write("curl/.curlrc", "cacert = \"" + d + "ca.pem\"\nproxy-cacert = \"" + d + "ca.pem\"\n");
  setenv("CURL_HOME", (d + "curl").c_str(), 1);
  for (const char* name : {"NO_PROXY", "no_proxy", "ALL_PROXY", "all_proxy", "HTTPS_PROXY", "https_proxy",
                           "HTTP_PROXY", "http_proxy", "CURL_CA_BUNDLE", "SSL_CERT_FILE", "SSL_CERT_DIR"})
    unsetenv(name);
}

EndpointServer::EndpointServer(const TrustedLoopback& trust) {
  setRoutes("{}");
  process_ = std::make_unique<BackgroundProcess>(
      "/usr/bin/python3",
      std::vector<std::string>{TAVLUNE_VALIDATION_FIXTURES "/endpoint_server.py", trust.certificate(), trust.key(),
                               dir_.file("routes.json")},
      dir_.file("server.log"));
  std::string line = process_->firstLine(kStartTimeout);
  port_ = line.empty() ? 0 : std::atoi(line.c_str());
  if (port_ <= 0) ADD_FAILURE() << "the endpoint server did not start\n" << process_->log();
}

void EndpointServer::setRoutes(const std::string& routesJson) {
  // Written whole and renamed, so a request never reads half a file.
  dir_.write("routes.next", routesJson);
  std::filesystem::rename(dir_.file("routes.next"), dir_.file("routes.json"));
}

std::string EndpointServer::url(const std::string& path) const {
  return "https://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<std::string> EndpointServer::ipServiceUrls() const { return {url("/"), url("/json/"), url("/json")}; }

LoopbackProxy::~LoopbackProxy() {
  while (!processes.empty()) processes.pop_back();
}

std::unique_ptr<LoopbackProxy> startTinyproxy(const std::optional<Credentials>& basicAuth) {
  auto proxy = std::make_unique<LoopbackProxy>();
  proxy->port = freePort();
  std::string config = "Port " + std::to_string(proxy->port) +
                       "\nListen 127.0.0.1\nTimeout 30\nMaxClients 20\nAllow 127.0.0.1\nLogLevel Error\n";
  if (isRoot()) config += "User nobody\nGroup nogroup\n";
  if (basicAuth) config += "BasicAuth " + basicAuth->user + " " + basicAuth->password + "\n";
  auto path = proxy->dir.write("tinyproxy.conf", config);
  if (!launch(*proxy, "tinyproxy", "/usr/bin/tinyproxy", {"-d", "-c", path}, proxy->port)) return nullptr;
  return proxy;
}

std::unique_ptr<LoopbackProxy> startMicrosocks(const std::optional<Credentials>& credentials) {
  auto proxy = std::make_unique<LoopbackProxy>();
  proxy->port = freePort();
  std::vector<std::string> arguments = {"-i", "127.0.0.1", "-p", std::to_string(proxy->port)};
  if (credentials) arguments.insert(arguments.end(), {"-u", credentials->user, "-P", credentials->password});
  if (!launch(*proxy, "microsocks", "/usr/bin/microsocks", arguments, proxy->port)) return nullptr;
  return proxy;
}

std::unique_ptr<LoopbackProxy> startDante() {
  auto proxy = std::make_unique<LoopbackProxy>();
  proxy->port = freePort();
  std::string config = "logoutput: stderr\ninternal: 127.0.0.1 port = " + std::to_string(proxy->port) +
                       "\nexternal: 127.0.0.1\nclientmethod: none\nsocksmethod: none\n";
  if (isRoot()) config += "user.privileged: root\nuser.unprivileged: nobody\n";
  config +=
      "client pass {\n  from: 127.0.0.0/8 to: 0.0.0.0/0\n}\n"
      "socks pass {\n  from: 127.0.0.0/8 to: 0.0.0.0/0\n  protocol: tcp\n  log: error\n}\n";
  auto path = proxy->dir.write("sockd.conf", config);
  if (!launch(*proxy, "danted", "/usr/sbin/danted", {"-f", path, "-p", proxy->dir.file("sockd.pid")}, proxy->port))
    return nullptr;
  return proxy;
}

std::unique_ptr<LoopbackProxy> startSshSocks() {
  auto proxy = std::make_unique<LoopbackProxy>();
  const auto& dir = proxy->dir;
  run("/usr/bin/ssh-keygen", {"-q", "-t", "ed25519", "-N", "", "-f", dir.file("host_key")});
  run("/usr/bin/ssh-keygen", {"-q", "-t", "ed25519", "-N", "", "-f", dir.file("client_key")});
  std::filesystem::copy_file(dir.file("client_key.pub"), dir.file("authorized_keys"));
  // sshd's privilege separation wants this directory; the service would make it at boot.
  std::filesystem::create_directories("/run/sshd");

  int sshdPort = freePort();
  auto config = dir.write("sshd_config", "ListenAddress 127.0.0.1\nPort " + std::to_string(sshdPort) +
                                             "\nHostKey " + dir.file("host_key") + "\nAuthorizedKeysFile " +
                                             dir.file("authorized_keys") +
                                             "\nPasswordAuthentication no\nKbdInteractiveAuthentication no\n"
                                             "UsePAM no\nPermitRootLogin prohibit-password\nStrictModes no\n"
                                             "AllowTcpForwarding yes\nPidFile none\n");
  if (!launch(*proxy, "sshd", "/usr/sbin/sshd", {"-D", "-e", "-f", config}, sshdPort)) return nullptr;

  proxy->port = freePort();
  if (!launch(*proxy, "ssh", "/usr/bin/ssh",
              {"-F", "/dev/null", "-N", "-D", "127.0.0.1:" + std::to_string(proxy->port), "-i",
               dir.file("client_key"), "-p", std::to_string(sshdPort), "-o", "BatchMode=yes", "-o",
               "StrictHostKeyChecking=no", "-o", "UserKnownHostsFile=/dev/null", "-o", "ExitOnForwardFailure=yes",
               "-o", "LogLevel=ERROR", "root@127.0.0.1"},
              proxy->port))
    return nullptr;
  return proxy;
}

std::unique_ptr<LoopbackProxy> startTlsFront(const TrustedLoopback& trust, int backendPort) {
  auto proxy = std::make_unique<LoopbackProxy>();
  proxy->port = freePort();
  auto config = proxy->dir.write("stunnel.conf", "foreground = yes\npid =\n[proxy]\naccept = 127.0.0.1:" +
                                                     std::to_string(proxy->port) + "\nconnect = 127.0.0.1:" +
                                                     std::to_string(backendPort) + "\ncert = " +
                                                     trust.certificate() + "\nkey = " + trust.key() + "\n");
  if (!launch(*proxy, "stunnel", "/usr/bin/stunnel4", {config}, proxy->port)) return nullptr;
  return proxy;
}

ClosingServer::ClosingServer() {
  listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listener_, 16) != 0 ||
      getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    throw std::runtime_error("closing server: no socket");
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] {
    while (!stop_) {
      pollfd waiting{listener_, POLLIN, 0};
      if (poll(&waiting, 1, 50) <= 0) continue;
      int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (client < 0) continue;
      // Reading the greeting first makes the close an orderly one, not a reset.
      char buffer[65536];
      pollfd greeting{client, POLLIN, 0};
      if (poll(&greeting, 1, 2000) > 0) (void)!read(client, buffer, sizeof buffer);
      close(client);
    }
  });
}

ClosingServer::~ClosingServer() {
  stop_ = true;
  thread_.join();
  close(listener_);
}

}  // namespace tavlune::validation::testing
