#include "helperclient/helper_installer.h"

#include "helperclient/launch_daemon_job.h"
#include "platform/text/base64.h"

namespace tavlune::helperclient {

using model::MacProxyError;

ManagerResult<void> HelperInstaller::executePrivileged(const std::string& command) {
  const std::string source = "do shell script \"" + appleScriptEscaped(command) + "\" with administrator privileges";
  platform::AppleScriptOutcome outcome;
  // The prompt belongs to the main thread; a caller already there runs it
  // directly, as waiting for itself would never end.
  ports_.mainQueue->sync([&] { outcome = ports_.appleScript->run(source); });
  switch (outcome.kind) {
    case platform::AppleScriptOutcome::Kind::succeeded:
      return {};
    case platform::AppleScriptOutcome::Kind::notCompiled:
      return unexpected(MacProxyError::commandFailed(""));
    case platform::AppleScriptOutcome::Kind::failed:
      if (outcome.errorNumber == platform::AppleScriptOutcome::kUserCanceled)
        return unexpected(MacProxyError::authorizationCancelled());
      return unexpected(MacProxyError::commandFailed(outcome.errorMessage.value_or("")));
  }
  return unexpected(MacProxyError::commandFailed(""));
}

ManagerResult<void> HelperInstaller::installPrivilegedHelper() {
  auto resource = ports_.bundle->pathForResource(kHelperResource);
  if (!resource)
    return unexpected(MacProxyError::commandFailed("The Tavlune privileged helper is missing from this app build."));
  const std::string job = platform::text::base64Encode(launchDaemonJobText(ports_.userId()));
  if (auto ran = executePrivileged(helperInstallCommand(*resource, job)); !ran) return ran;

  for (int attempt = 0; attempt < kStartPolls; ++attempt) {
    if (ports_.client->helperIsAvailable()) return {};
    ports_.clock->sleep(kStartPollInterval);
  }
  return unexpected(MacProxyError::commandFailed("Tavlune could not start its privileged proxy helper."));
}

HelperResult<void> HelperInstaller::runHelperCommand(const std::string& command) {
  switch (ports_.client->probe()) {
    case HelperPresence::current:
      break;
    case HelperPresence::unresponsive:
      // Reinstalling would ask for an administrator's approval, and would end
      // whatever the helper is doing.
      return unexpected(HelperFailure{MacProxyError::commandFailed(kBusyText)});
    case HelperPresence::missing:
    case HelperPresence::other:
      if (auto installed = installPrivilegedHelper(); !installed) return unexpected(HelperFailure{installed.error()});
      break;
  }
  auto reply = ports_.client->sendHelperCommand(command);
  if (!reply) return unexpected(reply.error());
  return {};
}

}  // namespace tavlune::helperclient
