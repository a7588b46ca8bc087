// What every bundle adapter asks of a resource: it is named by one file name,
// never a path into or out of the resources folder, and it is a regular file.
#pragma once

#include <sys/stat.h>

#include <string>

namespace tavlune::platform {

inline bool isResourceFileName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

inline bool isRegularFile(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace tavlune::platform
