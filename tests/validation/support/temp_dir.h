// A fresh directory under /tmp, removed with everything in it at the end.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

namespace tavlune::validation::testing {

class TempDir {
 public:
  TempDir() {
    std::string pattern = "/tmp/tavlune-validation-XXXXXX";
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
    // Proxies that drop to nobody must still read their configuration here.
    std::filesystem::permissions(path_, std::filesystem::perms::all & ~std::filesystem::perms::group_write &
                                            ~std::filesystem::perms::others_write);
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string file(const std::string& name) const { return (path_ / name).string(); }
  // Writes (or replaces) a file below the directory and returns its path.
  std::string write(const std::string& name, const std::string& contents, bool executable = false) const {
    auto target = path_ / name;
    std::filesystem::create_directories(target.parent_path());
    std::ofstream(target, std::ios::binary | std::ios::trunc) << contents;
    if (executable) std::filesystem::permissions(target, std::filesystem::perms::owner_all);
    return target.string();
  }

 private:
  std::filesystem::path path_;
};

}  // namespace tavlune::validation::testing
