// A workspace for tests: records the URLs it is asked to open and answers as told.
#pragma once

#include <mutex>
#include <vector>

#include "platform/workspace/workspace.h"

namespace tavlune::platform {

class RecordingWorkspace final : public Workspace {
 public:
  explicit RecordingWorkspace(bool answer = true) : answer_(answer) {}
  bool open(const std::string& url) override {
    std::lock_guard lock(mutex_);
    opened_.push_back(url);
    return answer_;
  }
  std::vector<std::string> opened() {
    std::lock_guard lock(mutex_);
    return opened_;
  }

 private:
  std::mutex mutex_;
  bool answer_;
  std::vector<std::string> opened_;
};

}  // namespace tavlune::platform
