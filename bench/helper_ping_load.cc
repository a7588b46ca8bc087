// Load client: "ping" exchanges per second and their latency against the
// daemon's server core, and against a bare accept, read, write, close loop on
// a Unix socket in the same run; then the ratio, and the daemon's resident
// memory while it serves.
//
//   helper_ping_load [seconds per round] [path to helper_bench_daemon]
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "helperprotocol/protocol.h"

namespace {

using Clock = std::chrono::steady_clock;
using tavlune::helperprotocol::kAddressLength;
using tavlune::helperprotocol::makeAddress;

const std::string kRequest = "{\"command\":\"ping\"}\n";

int connectTo(const std::string& path) {
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address = makeAddress(path);
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), kAddressLength) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

bool ping(const std::string& path) {
  int fd = connectTo(path);
  if (fd < 0) return false;
  bool ok = ::send(fd, kRequest.data(), kRequest.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(kRequest.size());
  char buffer[256];
  std::size_t total = 0;
  for (ssize_t n; ok && (n = ::read(fd, buffer + total, sizeof buffer - total)) > 0;) total += n;
  ::close(fd);
  return ok && total > 0 && buffer[total - 1] == '\n';
}

// The least a server on this socket can do per exchange.
[[noreturn]] void bareLoop(const std::string& path) {
  ::unlink(path.c_str());
  int server = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address = makeAddress(path);
  if (::bind(server, reinterpret_cast<const sockaddr*>(&address), kAddressLength) != 0 || ::listen(server, 8) != 0)
    _exit(1);
  const std::string reply = "{\"ok\":true,\"version\":2}\n";
  char buffer[4096];
  for (;;) {
    int fd = ::accept4(server, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    (void)::read(fd, buffer, sizeof buffer);
    (void)::send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
    ::close(fd);
  }
}

struct Figures {
  double perSecond = 0;
  double p50 = 0, p90 = 0, p99 = 0, p999 = 0, max = 0;  // microseconds
  std::size_t failures = 0;
};

Figures measure(const std::string& path, double seconds, int clients) {
  std::vector<std::vector<double>> latencies(clients);
  std::vector<std::size_t> failures(clients, 0);
  const auto end = Clock::now() + std::chrono::duration<double>(seconds);
  const auto start = Clock::now();
  std::vector<std::thread> threads;
  for (int c = 0; c < clients; ++c) {
    threads.emplace_back([&, c] {
      while (Clock::now() < end) {
        auto before = Clock::now();
        if (!ping(path)) ++failures[c];
        latencies[c].push_back(std::chrono::duration<double, std::micro>(Clock::now() - before).count());
      }
    });
  }
  for (auto& t : threads) t.join();
  double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  std::vector<double> all;
  Figures f;
  for (int c = 0; c < clients; ++c) {
    all.insert(all.end(), latencies[c].begin(), latencies[c].end());
    f.failures += failures[c];
  }
  std::sort(all.begin(), all.end());
  auto at = [&](double q) { return all.empty() ? 0 : all[std::min(all.size() - 1, std::size_t(q * all.size()))]; };
  f.perSecond = all.size() / elapsed;
  f.p50 = at(0.5), f.p90 = at(0.9), f.p99 = at(0.99), f.p999 = at(0.999), f.max = all.empty() ? 0 : all.back();
  return f;
}

long statusKilobytes(pid_t pid, const std::string& field) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(in, line);)
    if (line.rfind(field + ":", 0) == 0) return std::atol(line.c_str() + field.size() + 1);
  return -1;
}

void waitForSocket(const std::string& path) {
  for (int i = 0; i < 500 && !ping(path); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

void print(const char* name, const Figures& f) {
  std::printf("%-28s %9.0f/s  p50 %6.1f  p90 %6.1f  p99 %7.1f  p99.9 %7.1f  max %8.1f us  failures %zu\n", name,
              f.perSecond, f.p50, f.p90, f.p99, f.p999, f.max, f.failures);
}

}  // namespace

int main(int argc, char** argv) {
  double seconds = argc > 1 ? std::atof(argv[1]) : 3.0;
  std::string daemonPath = argc > 2 ? argv[2] : "bench/helper_bench_daemon";
  signal(SIGPIPE, SIG_IGN);

  char folderPattern[] = "/tmp/tavlune-helper-bench-XXXXXX";
  std::string folder = ::mkdtemp(folderPattern);
  std::string daemonSocket = folder + "/helper.sock", bareSocket = folder + "/bare.sock";

  std::string uid = std::to_string(::getuid());
  std::vector<char*> daemonArgv{daemonPath.data(), daemonSocket.data(), uid.data(), folder.data(), nullptr};
  pid_t daemon;
  if (posix_spawn(&daemon, daemonPath.c_str(), nullptr, nullptr, daemonArgv.data(), environ) != 0) {
    std::perror("could not start the daemon core");
    return 1;
  }
  pid_t bare = ::fork();
  if (bare == 0) bareLoop(bareSocket);
  waitForSocket(daemonSocket);
  waitForSocket(bareSocket);
  long idleRss = statusKilobytes(daemon, "VmRSS");

  std::printf("ping exchanges, %g s per round, one connection per exchange\n", seconds);
  for (int clients : {1, 4}) {
    // Alternating rounds, so that drift on a shared machine hits both alike.
    Figures daemonBest, bareBest;
    for (int round = 0; round < 2; ++round) {
      Figures d = measure(daemonSocket, seconds, clients);
      Figures b = measure(bareSocket, seconds, clients);
      if (d.perSecond > daemonBest.perSecond) daemonBest = d;
      if (b.perSecond > bareBest.perSecond) bareBest = b;
    }
    std::printf("-- %d client%s\n", clients, clients == 1 ? "" : "s");
    print("daemon core", daemonBest);
    print("bare accept/read/write loop", bareBest);
    std::printf("ratio daemon/bare: %.2f\n", daemonBest.perSecond / bareBest.perSecond);
  }
  std::printf("daemon resident memory: %ld kB idle, %ld kB serving, peak %ld kB\n", idleRss,
              statusKilobytes(daemon, "VmRSS"), statusKilobytes(daemon, "VmHWM"));

  ::kill(daemon, SIGTERM);
  ::kill(bare, SIGTERM);
  ::waitpid(daemon, nullptr, 0);
  ::waitpid(bare, nullptr, 0);
  std::remove(daemonSocket.c_str());
  std::remove(bareSocket.c_str());
  std::remove(folder.c_str());
  return 0;
}
