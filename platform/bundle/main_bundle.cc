#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <filesystem>

#include "platform/bundle/bundle.h"

namespace tavlune::platform {
namespace {

std::string runningExecutable() {
  std::error_code error;
  auto path = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string() : path.string();
}

}  // namespace

MainBundle::MainBundle(std::optional<std::string> executablePath) {
  std::filesystem::path executable = executablePath ? *executablePath : runningExecutable();
  if (!executable.empty()) resourcesFolder_ = (executable.parent_path().parent_path() / "Resources").string();
}

std::optional<std::string> MainBundle::pathForResource(const std::string& name) {
  // A name is one file name, never a path into or out of the folder.
  if (resourcesFolder_.empty() || name.empty() || name == "." || name == ".." ||
      name.find('/') != std::string::npos)
    return std::nullopt;
  std::string path = resourcesFolder_ + "/" + name;
  struct stat info;
  if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  return path;
}

}  // namespace tavlune::platform
