// Opening a URL with whatever the desktop uses for it.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace tavlune::platform {

class Workspace {
 public:
  virtual ~Workspace() = default;
  // True when the URL was handed to an opener that accepted it.
  virtual bool open(const std::string& url) = 0;
};

// Hands the URL to the desktop's opener (xdg-open) when a desktop session is
// present; without one nothing can show the URL, and the answer is false.
class DesktopWorkspace final : public Workspace {
 public:
  // The openers tried, first one present wins; fixed places only, never a
  // lookup through a PATH that another program could have changed.
  explicit DesktopWorkspace(std::vector<std::string> openers = {"/usr/bin/xdg-open", "/usr/local/bin/xdg-open"})
      : openers_(std::move(openers)) {}
  bool open(const std::string& url) override;

 private:
  std::vector<std::string> openers_;
};

// macOS's own: open(1) hands the URL to the application registered for it
// (System Settings for its own scheme) and fails when none takes it.
class OpenCommandWorkspace final : public Workspace {
 public:
  explicit OpenCommandWorkspace(std::string openPath = "/usr/bin/open") : openPath_(std::move(openPath)) {}
  bool open(const std::string& url) override;

 private:
  std::string openPath_;
};

// The platform's opener: open(1) on macOS, the desktop's opener here.
std::shared_ptr<Workspace> systemWorkspace();

}  // namespace tavlune::platform
