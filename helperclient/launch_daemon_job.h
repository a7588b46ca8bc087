// The launchd job that keeps the helper running: its file text and the one
// privileged command line that installs program and job and (re)starts it.
#pragma once

#include <sys/types.h>

#include <string>

namespace tavlune::helperclient {

// The job file: an XML property list, one element a line, no final line feed.
std::string launchDaemonJobText(uid_t userId);

// mkdir, install, decode the job file into place, chown root:wheel, chmod,
// bootout (errors ignored), bootstrap — chained with "&&".
std::string helperInstallCommand(const std::string& resourcePath, const std::string& jobFileBase64);

// Escaped for an AppleScript string literal: "\" doubled first, then "\"" escaped.
std::string appleScriptEscaped(const std::string& text);

}  // namespace tavlune::helperclient
