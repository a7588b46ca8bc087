// A fresh folder under /tmp for one test, removed with everything in it at the end.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

namespace tavlune::testing {

class TempDir {
 public:
  // Owner-only, as mkdtemp makes it; readableByAll for servers that drop to nobody and still read it.
  explicit TempDir(bool readableByAll = false) {
    std::string pattern = "/tmp/tavlune-test-XXXXXX";
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
    if (readableByAll) std::filesystem::permissions(path_, std::filesystem::perms(0755));
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  std::string operator/(const std::string& name) const { return file(name); }
  // Writes (or replaces) a file below the folder, making its parents, and returns its path.
  std::string write(const std::string& name, const std::string& contents, bool executable = false) const {
    const std::filesystem::path target = file(name);
    std::filesystem::create_directories(target.parent_path());
    std::ofstream(target, std::ios::binary | std::ios::trunc) << contents;
    if (executable) std::filesystem::permissions(target, std::filesystem::perms(0755));
    return target.string();
  }

 private:
  std::string path_;
};

}  // namespace tavlune::testing
