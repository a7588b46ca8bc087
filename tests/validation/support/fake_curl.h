// A stand-in for curl, written by the test as a small script: it records the
// arguments of every run and answers each run as the test told it. It is a
// real child process, so the validator's process handling is exercised too.
#pragma once

#include <string>
#include <vector>

#include "tests/validation/support/temp_dir.h"

namespace tavlune::validation::testing {

struct CurlReply {
  int status = 0;
  std::string out;
  std::string err;
};

class FakeCurl {
 public:
  FakeCurl();

  const std::string& path() const { return path_; }
  // The answer to run number `run` (counted from 1), or to every run without one of its own.
  void reply(int run, const CurlReply& reply);
  void replyByDefault(const CurlReply& reply);
  // The arguments of each run so far, argv[0] left out.
  std::vector<std::vector<std::string>> runs() const;
  // A file the test can check the script was never tricked into creating.
  std::string canaryPath() const { return dir_.file("canary"); }

 private:
  void writeReply(const std::string& name, const CurlReply& reply);

  TempDir dir_;
  std::string path_;
};

}  // namespace tavlune::validation::testing
