// The real network pieces the validator is tested against, all on
// 127.0.0.1 and free ports: HTTPS stand-ins for the IP-information services
// and the download endpoint, and proxies from Debian's packages started in
// the foreground with configurations written to a temporary directory.
#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/validation/support/background_process.h"
#include "tests/validation/support/temp_dir.h"

namespace tavlune::validation::testing {

// Missing server programs make a test skip, except under CI where every case must run.
bool mustRunEverything();

struct Credentials {
  std::string user, password;
};

// A throw-away certificate authority and a server certificate for localhost
// and 127.0.0.1, and a curl configuration (through CURL_HOME) that trusts it
// for servers and for HTTPS proxies alike. Also clears the proxy variables
// that would let curl bypass or replace the proxy under test.
class TrustedLoopback {
 public:
  TrustedLoopback();
  const TempDir& dir() const { return dir_; }
  std::string certificate() const { return dir_.file("server.pem"); }
  std::string key() const { return dir_.file("server.key"); }

 private:
  TempDir dir_;
};

// The Python HTTPS stand-in; answers are JSON bodies chosen per path.
class EndpointServer {
 public:
  explicit EndpointServer(const TrustedLoopback& trust);
  bool started() const { return port_ > 0; }
  std::string log() const { return process_->log(); }
  // Routes as a JSON object {path: {"status": n, "body": text}}.
  void setRoutes(const std::string& routesJson);
  std::string url(const std::string& path) const;
  // "/", "/json/", "/json" on this server, in the services' order.
  std::vector<std::string> ipServiceUrls() const;
  std::string downloadUrl() const { return url("/__down?bytes=250000"); }

 private:
  TempDir dir_;
  std::unique_ptr<BackgroundProcess> process_;
  int port_ = 0;
};

class LoopbackProxy {
 public:
  ~LoopbackProxy();
  int port = 0;
  std::vector<std::unique_ptr<BackgroundProcess>> processes;  // stopped last first
  TempDir dir;
};

// Each returns null (after reporting why) when the server does not come up.
std::unique_ptr<LoopbackProxy> startTinyproxy(const std::optional<Credentials>& basicAuth);
std::unique_ptr<LoopbackProxy> startMicrosocks(const std::optional<Credentials>& credentials);
std::unique_ptr<LoopbackProxy> startDante();
// OpenSSH's dynamic forwarding: SOCKS4, SOCKS4a and SOCKS5 without credentials.
std::unique_ptr<LoopbackProxy> startSshSocks();
// stunnel's TLS in front of an HTTP proxy (tinyproxy) on another port.
std::unique_ptr<LoopbackProxy> startTlsFront(const TrustedLoopback& trust, int backendPort);

// Accepts connections, reads what the client sends first, and closes.
class ClosingServer {
 public:
  ClosingServer();
  ~ClosingServer();
  int port() const { return port_; }

 private:
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace tavlune::validation::testing
