// Opening a URL with whatever the desktop uses for it.
#pragma once

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

}  // namespace tavlune::platform
