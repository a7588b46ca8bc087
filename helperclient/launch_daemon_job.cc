#include "helperclient/launch_daemon_job.h"

#include "helperprotocol/installed_helper.h"
#include "helperprotocol/shell_words.h"

namespace tavlune::helperclient {

using helperprotocol::shellQuoted;

std::string launchDaemonJobText(uid_t userId) {
  return std::string(
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
             "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
             "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
             "<plist version=\"1.0\">\n"
             "<dict>\n"
             "  <key>Label</key>\n"
             "  <string>") +
         std::string(helperprotocol::kHelperLabel) +
         "</string>\n"
         "  <key>ProgramArguments</key>\n"
         "  <array>\n"
         "    <string>" +
         std::string(helperprotocol::kInstalledProgramPath) +
         "</string>\n"
         "    <string>--uid</string>\n"
         "    <string>" +
         std::to_string(userId) +
         "</string>\n"
         "  </array>\n"
         "  <key>RunAtLoad</key>\n"
         "  <true/>\n"
         "  <key>KeepAlive</key>\n"
         "  <true/>\n"
         "</dict>\n"
         "</plist>";
}

std::string helperInstallCommand(const std::string& resourcePath, const std::string& jobFileBase64) {
  const std::string program = shellQuoted(std::string(helperprotocol::kInstalledProgramPath));
  const std::string job = shellQuoted(std::string(helperprotocol::kLaunchDaemonJobPath));
  return "/bin/mkdir -p /Library/PrivilegedHelperTools && /usr/bin/install -m 755 " + shellQuoted(resourcePath) +
         " " + program + " && /bin/echo " + shellQuoted(jobFileBase64) + " | /usr/bin/base64 -D > " + job +
         " && /usr/sbin/chown root:wheel " + program + " " + job + " && /bin/chmod 755 " + program +
         " && /bin/chmod 644 " + job + " && ( /bin/launchctl bootout system/" + std::string(helperprotocol::kHelperLabel) +
         " >/dev/null 2>&1 || true ) && /bin/launchctl bootstrap system " + job;
}

std::string appleScriptEscaped(const std::string& text) {
  std::string backslashes;
  for (char c : text) {
    backslashes += c;
    if (c == '\\') backslashes += '\\';
  }
  std::string escaped;
  for (char c : backslashes) {
    if (c == '"') escaped += '\\';
    escaped += c;
  }
  return escaped;
}

}  // namespace tavlune::helperclient
