// The daemon's server core on a socket path of the benchmark's choosing, so
// that the load client can measure the same code and libraries as
// TavluneProxyHelper without touching the system's socket.
#include <signal.h>

#include <string>

#include "helperd/server.h"

int main(int argc, char** argv) {
  using namespace tavlune::helperd;
  if (argc != 4) return 2;
  signal(SIGPIPE, SIG_IGN);
  ServerConfig config;
  config.socketPath = argv[1];
  config.allowedUid = static_cast<uint32_t>(std::stoul(argv[2]));
  config.chrome = ChromePolicyPaths{std::string(argv[3]) + "/policy.plist", std::string(argv[3]) + "/backup.plist",
                                    std::string(argv[3]) + "/marker"};
  config.commandLock = std::string(argv[3]) + "/command.lock";
  auto server = HelperServer::listen(config);
  if (!server) return 1;
  server->serveForever();
}
