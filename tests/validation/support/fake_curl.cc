#include "tests/validation/support/fake_curl.h"

#include <fstream>
#include <iterator>

namespace tavlune::validation::testing {

FakeCurl::FakeCurl() {
  const std::string dir = dir_.path().string();
  dir_.write("count", "0");
  path_ = dir_.write("curl",
                     "#!/bin/bash\n"
                     "d='" + dir + "'\n"
                     "n=$(( $(cat \"$d/count\") + 1 )); echo \"$n\" > \"$d/count\"\n"
                     "for a in \"$@\"; do printf '%s\\0' \"$a\"; done > \"$d/args.$n\"\n"
                     "r=\"$d/reply.$n\"; [ -d \"$r\" ] || r=\"$d/reply.default\"\n"
                     "cat \"$r/out\"; cat \"$r/err\" >&2\n"
                     "exit \"$(cat \"$r/status\")\"\n",
                     true);
  replyByDefault({7, "", "curl: (7) Failed to connect to proxy"});
}

void FakeCurl::writeReply(const std::string& name, const CurlReply& reply) {
  dir_.write(name + "/out", reply.out);
  dir_.write(name + "/err", reply.err);
  dir_.write(name + "/status", std::to_string(reply.status));
}

void FakeCurl::reply(int run, const CurlReply& reply) { writeReply("reply." + std::to_string(run), reply); }
void FakeCurl::replyByDefault(const CurlReply& reply) { writeReply("reply.default", reply); }

std::vector<std::vector<std::string>> FakeCurl::runs() const {
  std::vector<std::vector<std::string>> all;
  for (int n = 1;; ++n) {
    std::ifstream in(dir_.file("args." + std::to_string(n)), std::ios::binary);
    if (!in) break;
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> arguments;
    std::string::size_type start = 0;
    for (auto end = bytes.find('\0'); end != std::string::npos; end = bytes.find('\0', start)) {
      arguments.push_back(bytes.substr(start, end - start));
      start = end + 1;
    }
    all.push_back(arguments);
  }
  return all;
}

}  // namespace tavlune::validation::testing
