#include <filesystem>

#include "platform/bundle/bundle.h"
#include "platform/bundle/main_bundle.h"
#include "platform/bundle/resource_file.h"
#include "platform/files/files.h"
#include "platform/plist/limits.h"
#include "platform/plist/plist.h"

namespace tavlune::platform {
namespace {

std::string runningExecutable() {
  std::error_code error;
  auto path = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string() : path.string();
}

std::optional<std::string> identifierIn(const std::string& infoPlistPath) {
  auto bytes = files::read(infoPlistPath, plist::kMaxInputBytes);
  if (!bytes) return std::nullopt;
  auto info = plist::parse(std::span(reinterpret_cast<const uint8_t*>(bytes->data()), bytes->size()));
  const plist::Dictionary* entries = info ? info->as<plist::Dictionary>() : nullptr;
  if (!entries) return std::nullopt;
  auto entry = entries->find("CFBundleIdentifier");
  if (entry == entries->end()) return std::nullopt;
  const std::string* identifier = entry->second.as<std::string>();
  if (!identifier || identifier->empty()) return std::nullopt;
  return *identifier;
}

}  // namespace

MainBundle::MainBundle(std::optional<std::string> executablePath) {
  std::filesystem::path executable = executablePath ? *executablePath : runningExecutable();
  if (executable.empty()) return;
  const std::filesystem::path contents = executable.parent_path().parent_path();
  resourcesFolder_ = (contents / "Resources").string();
  identifier_ = identifierIn((contents / "Info.plist").string()).value_or(executable.filename().string());
}

std::optional<std::string> MainBundle::pathForResource(const std::string& name) {
  if (resourcesFolder_.empty() || !isResourceFileName(name)) return std::nullopt;
  std::string path = resourcesFolder_ + "/" + name;
  if (!isRegularFile(path)) return std::nullopt;
  return path;
}

std::shared_ptr<Bundle> mainBundle() { return std::make_shared<MainBundle>(); }

}  // namespace tavlune::platform
