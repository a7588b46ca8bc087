// The application bundle: its identifier and where its resources are.
#pragma once

#include <optional>
#include <string>

namespace tavlune::platform {

class Bundle {
 public:
  virtual ~Bundle() = default;
  // The path of the resource file with this exact name (no type), when present.
  virtual std::optional<std::string> pathForResource(const std::string& name) = 0;
  // The bundle's CFBundleIdentifier; for a program outside a bundle its file
  // name, as the platform names such a program's defaults.
  virtual std::string bundleIdentifier() = 0;
};

// The bundle the running program sits in: the program is
// NAME.app/Contents/MacOS/NAME, its Info.plist is NAME.app/Contents/Info.plist
// and resources are in NAME.app/Contents/Resources.
class MainBundle final : public Bundle {
 public:
  // The executable's path; by default the running program's own.
  explicit MainBundle(std::optional<std::string> executablePath = std::nullopt);
  std::optional<std::string> pathForResource(const std::string& name) override;
  std::string bundleIdentifier() override { return identifier_; }

 private:
  std::string resourcesFolder_;
  std::string identifier_;
};

}  // namespace tavlune::platform
