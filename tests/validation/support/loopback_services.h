// The real network pieces the validator is tested against, all on 127.0.0.1
// and free ports: an HTTPS stand-in for the IP-information services and the
// download endpoint, and proxies from Debian's packages run in the foreground
// as our children, configured in a temporary directory, stopped at the end.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <iterator>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/process/process.h"
#include "tests/support/temp_dir.h"

extern char** environ;

namespace tavlune::validation::testing {

using namespace std::chrono_literals;
using tavlune::testing::TempDir;

// Missing server programs make a test skip, except under CI where every case must run.
inline bool mustRunEverything() {
  const char* ci = getenv("CI");
  return ci && std::string(ci) == "true";
}

inline sockaddr_in loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

// A TCP port on 127.0.0.1 that nobody was listening on a moment ago.
inline int freePort() {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address = loopback(0);
  socklen_t length = sizeof address;
  bool bound = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
               getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0;
  close(fd);
  if (!bound) throw std::runtime_error("no free port");
  return ntohs(address.sin_port);
}

// A server run as our child, its output kept in a log file for the failure
// message, stopped (and reaped) when the object goes.
class BackgroundProcess {
 public:
  BackgroundProcess(const std::string& path, std::vector<std::string> arguments, std::string logPath)
      : path_(path), logPath_(std::move(logPath)) {
    arguments.insert(arguments.begin(), path);
    std::vector<char*> argv;
    for (auto& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, logPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    int error = posix_spawn(&pid_, path.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) throw std::runtime_error("could not start " + path);
  }
  ~BackgroundProcess() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    for (int i = 0; i < 300; ++i, std::this_thread::sleep_for(10ms))
      if (waitpid(pid_, nullptr, WNOHANG) == pid_) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  BackgroundProcess(const BackgroundProcess&) = delete;
  BackgroundProcess& operator=(const BackgroundProcess&) = delete;

  bool running() {
    if (pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == pid_) pid_ = -1;
    return pid_ > 0;
  }
  std::string output() const {
    std::ifstream in(logPath_);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  std::string log() const { return path_ + " said: " + output(); }
  // The first line the process printed; empty if it ended or the time ran out first.
  std::string firstLine(std::chrono::milliseconds timeout) {
    for (auto end = std::chrono::steady_clock::now() + timeout; std::chrono::steady_clock::now() < end && running();
         std::this_thread::sleep_for(10ms))
      if (std::string text = output(); text.find('\n') != std::string::npos) return text.substr(0, text.find('\n'));
    return {};
  }
  // True once something accepts TCP connections on 127.0.0.1:port.
  bool waitUntilListening(int port, std::chrono::milliseconds timeout) {
    const sockaddr_in address = loopback(port);
    for (auto end = std::chrono::steady_clock::now() + timeout; std::chrono::steady_clock::now() < end && running();
         std::this_thread::sleep_for(10ms)) {
      int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
      bool connected = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
      close(fd);
      if (connected) return true;
    }
    return false;
  }

 private:
  std::string path_, logPath_;
  pid_t pid_ = -1;
};

inline constexpr auto kStartTimeout = 10s;

inline void run(const std::string& path, const std::vector<std::string>& arguments) {
  auto result = platform::runProcess(path, arguments);
  if (!result || !result->succeeded())
    throw std::runtime_error(path + " failed: " +
                             (result ? std::string(result->standardError.begin(), result->standardError.end())
                                     : result.error().description));
}

struct Credentials {
  std::string user, password;
};

// A throw-away certificate authority and a server certificate for localhost
// and 127.0.0.1, and a curl configuration (through CURL_HOME) that trusts it
// for servers and for HTTPS proxies alike. Also clears the proxy variables
// that would let curl bypass or replace the proxy under test.
class TrustedLoopback {
 public:
  TrustedLoopback() {
    const std::string d = dir_.path() + "/";
    // EC keys: generated in milliseconds.
    run("/usr/bin/openssl", {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                             "-keyout", d + "ca.key", "-out", d + "ca.pem", "-days", "2", "-subj", "/CN=Loopback CA"});
    run("/usr/bin/openssl", {"req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                             "-keyout", key(), "-out", d + "server.csr", "-subj", "/CN=localhost"});
    dir_.write("server.ext", "subjectAltName=DNS:localhost,IP:127.0.0.1\nbasicConstraints=CA:FALSE\n"
                             "keyUsage=digitalSignature\nextendedKeyUsage=serverAuth\n");
    run("/usr/bin/openssl", {"x509", "-req", "-in", d + "server.csr", "-CA", d + "ca.pem", "-CAkey", d + "ca.key",
                             "-CAcreateserial", "-out", d + "server.pem", "-days", "2", "-extfile", d + "server.ext"});
    std::filesystem::permissions(key(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                                            std::filesystem::perms::group_read | std::filesystem::perms::others_read);
    // curl's argument list is fixed, so trust reaches it through its configuration file.
    dir_.write("curl/.curlrc", "cacert = \"" + d + "ca.pem\"\nproxy-cacert = \"" + d + "ca.pem\"\n");
    setenv("CURL_HOME", (d + "curl").c_str(), 1);
    for (const char* name : {"NO_PROXY", "no_proxy", "ALL_PROXY", "all_proxy", "HTTPS_PROXY", "https_proxy",
                             "HTTP_PROXY", "http_proxy", "CURL_CA_BUNDLE", "SSL_CERT_FILE", "SSL_CERT_DIR"})
      unsetenv(name);
  }
  std::string certificate() const { return dir_.file("server.pem"); }
  std::string key() const { return dir_.file("server.key"); }

 private:
  TempDir dir_{/*readableByAll=*/true};
};

// The Python HTTPS stand-in; answers are JSON bodies chosen per path.
class EndpointServer {
 public:
  explicit EndpointServer(const TrustedLoopback& trust) {
    setRoutes("{}");
    process_ = std::make_unique<BackgroundProcess>(
        "/usr/bin/python3",
        std::vector<std::string>{TAVLUNE_VALIDATION_FIXTURES "/endpoint_server.py", trust.certificate(), trust.key(),
                                 dir_.file("routes.json")},
        dir_.file("server.log"));
    port_ = std::atoi(process_->firstLine(kStartTimeout).c_str());
    if (port_ <= 0) ADD_FAILURE() << "the endpoint server did not start\n" << process_->log();
  }
  bool started() const { return port_ > 0; }
  // Routes as a JSON object {path: {"status": n, "body": text}}; written whole
  // and renamed, so a request never reads half a file.
  void setRoutes(const std::string& routesJson) {
    std::filesystem::rename(dir_.write("routes.next", routesJson), dir_.file("routes.json"));
  }
  std::string url(const std::string& path) const { return "https://127.0.0.1:" + std::to_string(port_) + path; }
  // "/", "/json/", "/json" on this server, in the services' order.
  std::vector<std::string> ipServiceUrls() const { return {url("/"), url("/json/"), url("/json")}; }
  std::string downloadUrl() const { return url("/__down?bytes=250000"); }

 private:
  TempDir dir_{/*readableByAll=*/true};
  std::unique_ptr<BackgroundProcess> process_;
  int port_ = 0;
};

struct LoopbackProxy {
  ~LoopbackProxy() {
    while (!processes.empty()) processes.pop_back();  // last started, first stopped
  }
  int port = freePort();
  std::vector<std::unique_ptr<BackgroundProcess>> processes;
  TempDir dir{/*readableByAll=*/true};

  // Starts a program and waits for it on `port`; false (after reporting why) when it does not come up.
  bool launch(const std::string& name, const std::string& path, const std::vector<std::string>& arguments,
              int onPort) {
    processes.push_back(std::make_unique<BackgroundProcess>(path, arguments, dir.file(name + ".log")));
    if (processes.back()->waitUntilListening(onPort, kStartTimeout)) return true;
    ADD_FAILURE() << name << " did not come up on port " << onPort << "\n" << processes.back()->log();
    return false;
  }
};
using Proxy = std::unique_ptr<LoopbackProxy>;

// Each returns null when the server does not come up.
inline bool isRoot() { return geteuid() == 0; }

inline Proxy startTinyproxy(const std::optional<Credentials>& basicAuth) {
  auto p = std::make_unique<LoopbackProxy>();
  std::string config = "Port " + std::to_string(p->port) +
                       "\nListen 127.0.0.1\nTimeout 30\nMaxClients 20\nAllow 127.0.0.1\nLogLevel Error\n";
  if (isRoot()) config += "User nobody\nGroup nogroup\n";
  if (basicAuth) config += "BasicAuth " + basicAuth->user + " " + basicAuth->password + "\n";
  return p->launch("tinyproxy", "/usr/bin/tinyproxy", {"-d", "-c", p->dir.write("tinyproxy.conf", config)}, p->port)
             ? std::move(p)
             : nullptr;
}

inline Proxy startMicrosocks(const std::optional<Credentials>& credentials) {
  auto p = std::make_unique<LoopbackProxy>();
  std::vector<std::string> arguments = {"-i", "127.0.0.1", "-p", std::to_string(p->port)};
  if (credentials) arguments.insert(arguments.end(), {"-u", credentials->user, "-P", credentials->password});
  return p->launch("microsocks", "/usr/bin/microsocks", arguments, p->port) ? std::move(p) : nullptr;
}

inline Proxy startDante() {
  auto p = std::make_unique<LoopbackProxy>();
  std::string config = "logoutput: stderr\ninternal: 127.0.0.1 port = " + std::to_string(p->port) +
                       "\nexternal: 127.0.0.1\nclientmethod: none\nsocksmethod: none\n";
  if (isRoot()) config += "user.privileged: root\nuser.unprivileged: nobody\n";
  config += "client pass {\n  from: 127.0.0.0/8 to: 0.0.0.0/0\n}\n"
            "socks pass {\n  from: 127.0.0.0/8 to: 0.0.0.0/0\n  protocol: tcp\n  log: error\n}\n";
  const std::string path = p->dir.write("sockd.conf", config);
  return p->launch("danted", "/usr/sbin/danted", {"-f", path, "-p", p->dir.file("sockd.pid")}, p->port) ? std::move(p)
                                                                                                      : nullptr;
}

// OpenSSH's dynamic forwarding: SOCKS4, SOCKS4a and SOCKS5 without credentials.
inline Proxy startSshSocks() {
  auto p = std::make_unique<LoopbackProxy>();
  const auto& dir = p->dir;
  for (const char* key : {"host_key", "client_key"})
    run("/usr/bin/ssh-keygen", {"-q", "-t", "ed25519", "-N", "", "-f", dir.file(key)});
  std::filesystem::copy_file(dir.file("client_key.pub"), dir.file("authorized_keys"));
  std::filesystem::create_directories("/run/sshd");  // privilege separation wants it; the service makes it at boot
  const int sshdPort = freePort();
  const auto config = dir.write("sshd_config", "ListenAddress 127.0.0.1\nPort " + std::to_string(sshdPort) +
                                                   "\nHostKey " + dir.file("host_key") + "\nAuthorizedKeysFile " +
                                                   dir.file("authorized_keys") +
                                                   "\nPasswordAuthentication no\nKbdInteractiveAuthentication no\n"
                                                   "UsePAM no\nPermitRootLogin prohibit-password\nStrictModes no\n"
                                                   "AllowTcpForwarding yes\nPidFile none\n");
  const bool up =
      p->launch("sshd", "/usr/sbin/sshd", {"-D", "-e", "-f", config}, sshdPort) &&
      p->launch("ssh", "/usr/bin/ssh",
                {"-F", "/dev/null", "-N", "-D", "127.0.0.1:" + std::to_string(p->port), "-i", dir.file("client_key"),
                 "-p", std::to_string(sshdPort), "-o", "BatchMode=yes", "-o", "StrictHostKeyChecking=no", "-o",
                 "UserKnownHostsFile=/dev/null", "-o", "ExitOnForwardFailure=yes", "-o", "LogLevel=ERROR",
                 "root@127.0.0.1"},
                p->port);
  return up ? std::move(p) : nullptr;
}

// stunnel's TLS in front of an HTTP proxy on another port.
inline Proxy startTlsFront(const TrustedLoopback& trust, int backendPort) {
  auto p = std::make_unique<LoopbackProxy>();
  const auto config = p->dir.write("stunnel.conf", "foreground = yes\npid =\n[proxy]\naccept = 127.0.0.1:" +
                                                       std::to_string(p->port) + "\nconnect = 127.0.0.1:" +
                                                       std::to_string(backendPort) + "\ncert = " +
                                                       trust.certificate() + "\nkey = " + trust.key() + "\n");
  return p->launch("stunnel", "/usr/bin/stunnel4", {config}, p->port) ? std::move(p) : nullptr;
}

// Accepts connections, reads what the client sends first, and closes.
class ClosingServer {
 public:
  ClosingServer() {
    sockaddr_in address = loopback(0);
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
  ~ClosingServer() {
    stop_ = true;
    thread_.join();
    close(listener_);
  }
  int port() const { return port_; }

 private:
  int listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace tavlune::validation::testing
