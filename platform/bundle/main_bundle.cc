#include <filesystem>

#include "platform/bundle/bundle.h"
#include "platform/bundle/main_bundle.h"
#include "platform/bundle/resource_file.h"

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
  if (resourcesFolder_.empty() || !isResourceFileName(name)) return std::nullopt;
  std::string path = resourcesFolder_ + "/" + name;
  if (!isRegularFile(path)) return std::nullopt;
  return path;
}

std::shared_ptr<Bundle> mainBundle() { return std::make_shared<MainBundle>(); }

}  // namespace tavlune::platform
