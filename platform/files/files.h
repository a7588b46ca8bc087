// The few file operations the Chrome policy change needs, each reporting the
// system's reason on failure. Descriptors are close-on-exec and symbolic links
// at the final component are never followed when writing or reading.
#pragma once

#include <sys/types.h>

#include <string>

#include "platform/error.h"

namespace tavlune::helperd::files {

// The directory and any missing parents, each with mode; fine if it exists as
// a directory.
platform::Result<void> makeDirectories(const std::string& path, mode_t mode);

// True when something (a dangling link included) is at path.
bool exists(const std::string& path);

platform::Result<std::string> read(const std::string& path);

// Writes a temporary file beside path, flushes it and renames it over path,
// so readers see the old bytes or the new, never part.
platform::Result<void> writeAtomically(const std::string& path, const std::string& bytes, mode_t mode);

// A byte copy with the source's permission bits, written atomically.
platform::Result<void> copy(const std::string& from, const std::string& to);

platform::Result<void> remove(const std::string& path);

// Renames from over to; across file systems, a copy and a removal.
platform::Result<void> move(const std::string& from, const std::string& to);

platform::Result<void> setMode(const std::string& path, mode_t mode);

std::string parentDirectory(const std::string& path);

}  // namespace tavlune::helperd::files
