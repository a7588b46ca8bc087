#include "tests/validation/support/temp_dir.h"

#include <stdlib.h>

#include <fstream>
#include <stdexcept>

namespace tavlune::validation::testing {

TempDir::TempDir() {
  std::string pattern = "/tmp/tavlune-validation-XXXXXX";
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
  // Proxies that drop to nobody must still read their configuration here.
  std::filesystem::permissions(path_, std::filesystem::perms::all & ~std::filesystem::perms::others_write &
                                          ~std::filesystem::perms::group_write);
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::write(const std::string& name, const std::string& contents, bool executable) const {
  auto target = path_ / name;
  std::filesystem::create_directories(target.parent_path());
  {
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    out << contents;
  }
  if (executable)
    std::filesystem::permissions(target, std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                                             std::filesystem::perms::group_exec);
  return target.string();
}

}  // namespace tavlune::validation::testing
