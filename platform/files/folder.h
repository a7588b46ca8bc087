// A folder held open by its descriptor and reached without following any
// symbolic link, so that what a privileged program reads and writes there
// stays there even if a path on the way is swapped for a link meanwhile.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <optional>
#include <string>

#include "platform/error.h"
#include "platform/unique_fd.h"

namespace tavlune::platform::files {

class Folder {
 public:
  // Opens an absolute path one component at a time from "/", refusing a
  // symbolic link (or anything not a folder) anywhere on the way, and makes
  // the missing folders with mode (less the umask).
  static Result<Folder> openMaking(const std::string& path, mode_t mode);

  struct Entry {
    mode_t mode = 0;  // permission bits
    uid_t owner = 0;
    gid_t group = 0;
    bool regular = false;
  };
  // What is at name, a link being an entry of its own; absent when nothing.
  Result<std::optional<Entry>> entry(const std::string& name) const;

  // A regular file's bytes, reading stops one byte past limit; absent when
  // nothing is there. Anything else (a FIFO, a link, a device) is refused at
  // once.
  Result<std::optional<std::string>> read(const std::string& name, std::size_t limit) const;

  // Replaces name in one step (a temporary beside it, flushed, renamed over
  // it, the folder flushed) by a file with these bits and owner.
  Result<void> write(const std::string& name, const std::string& bytes, mode_t mode, uid_t owner,
                     gid_t group) const;

  Result<void> remove(const std::string& name) const;

  std::string pathOf(const std::string& name) const { return (path_ == "/" ? "" : path_) + "/" + name; }

 private:
  Folder(UniqueFd fd, std::string path) : fd_(std::move(fd)), path_(std::move(path)) {}
  UniqueFd fd_;
  std::string path_;
};

}  // namespace tavlune::platform::files
