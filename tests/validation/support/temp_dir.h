// A fresh directory under /tmp, removed with everything in it at the end.
#pragma once

#include <filesystem>
#include <string>

namespace tavlune::validation::testing {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string file(const std::string& name) const { return (path_ / name).string(); }
  // Writes (or replaces) a file below the directory and returns its path.
  std::string write(const std::string& name, const std::string& contents, bool executable = false) const;

 private:
  std::filesystem::path path_;
};

}  // namespace tavlune::validation::testing
