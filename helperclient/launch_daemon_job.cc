#include "helperclient/launch_daemon_job.h"

#include "manager/mac_proxy_manager.h"
#include "sysproxy/shell_quoting.h"

namespace tavlune {

std::string launchDaemonJobText(uid_t userId) {
  return std::string(
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
             "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
             "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
             "<plist version=\"1.0\">\n"
             "<dict>\n"
             "  <key>Label</key>\n"
             "  <string>") +
         MacProxyManager::helperLabel +
         "</string>\n"
         "  <key>ProgramArguments</key>\n"
         "  <array>\n"
         "    <string>" +
         MacProxyManager::helperInstallPath +
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
  const std::string program = shellQuoted(MacProxyManager::helperInstallPath);
  const std::string job = shellQuoted(MacProxyManager::helperLaunchDaemonPath);
  return "/bin/mkdir -p /Library/PrivilegedHelperTools && /usr/bin/install -m 755 " + shellQuoted(resourcePath) +
         " " + program + " && /bin/echo " + shellQuoted(jobFileBase64) + " | /usr/bin/base64 -D > " + job +
         " && /usr/sbin/chown root:wheel " + program + " " + job + " && /bin/chmod 755 " + program +
         " && /bin/chmod 644 " + job + " && ( /bin/launchctl bootout system/" + MacProxyManager::helperLabel +
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

}  // namespace tavlune
