// TavluneProxyHelper: launchd runs it as root with "--uid" and the id of the
// user it serves.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "helperd/chrome_policy.h"
#include "helperd/server.h"
#include "platform/kept_in_file.h"
#include "tavlune_version.h"

// Read from the installed file by `tavlune helper`, which never runs it.
TAVLUNE_KEPT_IN_FILE static const char kVersionMark[] = TAVLUNE_HELPER_VERSION_MARK TAVLUNE_VERSION;

int main(int argc, char** argv) {
  using namespace tavlune::helperd;
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("TavluneProxyHelper %s\n", TAVLUNE_VERSION);
    return 0;
  }
  // A client that leaves before its reply must not end the daemon.
  signal(SIGPIPE, SIG_IGN);
  // Children start in "/" and the folders we make come out 0755, whatever
  // the starter left us.
  umask(022);
  if (chdir("/") != 0) return 1;

  ServerConfig config;
  config.allowedUid = allowedUidFromArguments(argc, argv);
  // Before any request: a policy switch this daemon's last run left half done.
  (void)finishInterruptedChromeSwitch(config.chrome);
  auto server = HelperServer::listen(std::move(config));
  if (!server) return 1;
  server->serveForever();
}
