// A stand-in for curl, written by the test as a small script: it records the
// arguments of every run and answers each run as the test told it. It is a
// real child process, so the validator's process handling is exercised too.
#pragma once

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace tavlune::validation::testing {

using tavlune::testing::TempDir;

struct CurlReply {
  int status = 0;
  std::string out, err;
};

class FakeCurl {
 public:
  FakeCurl() {
    dir_.write("count", "0");
    path_ = dir_.write("curl",
                       "#!/bin/bash\nd='" + dir_.path() + "'\n"
                       "n=$(( $(cat \"$d/count\") + 1 )); echo \"$n\" > \"$d/count\"\n"
                       "for a in \"$@\"; do printf '%s\\0' \"$a\"; done > \"$d/args.$n\"\n"
                       "r=\"$d/reply.$n\"; [ -d \"$r\" ] || r=\"$d/reply.default\"\n"
                       "cat \"$r/out\"; cat \"$r/err\" >&2; exit \"$(cat \"$r/status\")\"\n",
                       true);
    replyByDefault({7, "", "curl: (7) Failed to connect to proxy"});
  }

  const std::string& path() const { return path_; }
  // The answer to run number `run` (counted from 1), or to every run without one of its own.
  void reply(int run, const CurlReply& reply) { write("reply." + std::to_string(run), reply); }
  void replyByDefault(const CurlReply& reply) { write("reply.default", reply); }
  // A file the test can check the script was never tricked into creating.
  std::string canaryPath() const { return dir_.file("canary"); }

  // The arguments of each run so far, argv[0] left out.
  std::vector<std::vector<std::string>> runs() const {
    std::vector<std::vector<std::string>> all;
    for (int n = 1;; ++n) {
      std::ifstream in(dir_.file("args." + std::to_string(n)), std::ios::binary);
      if (!in) return all;
      all.emplace_back();
      for (std::string argument; std::getline(in, argument, '\0');) all.back().push_back(argument);
    }
  }

 private:
  void write(const std::string& name, const CurlReply& reply) {
    dir_.write(name + "/out", reply.out);
    dir_.write(name + "/err", reply.err);
    dir_.write(name + "/status", std::to_string(reply.status));
  }

  TempDir dir_;
  std::string path_;
};

}  // namespace tavlune::validation::testing
