#include "validation/proxy_validator.h"

#include <chrono>
#include <string_view>

#include "platform/json/json.h"
#include "platform/process/process.h"
#include "platform/text/trim.h"
#include "platform/text/utf8.h"
#include "validation/curl_arguments.h"
#include "validation/diagnostic_fields.h"
#include "validation/speed_text.h"

namespace tavlune::validation {
namespace {

using namespace std::chrono_literals;
using model::AnyError;
using model::MacProxyDiagnostic;
using model::MacProxyError;
using model::ManagerResult;

constexpr std::chrono::milliseconds kPauseBeforeFirstPass = 1200ms;

std::chrono::milliseconds pauseAfterPass(int pass) { return 1000ms + 750ms * pass; }

platform::Result<platform::ProcessResult> curl(const std::string& path, const std::vector<std::string>& arguments,
                                                const std::optional<std::string>& credentials,
                                                const platform::Cancellation* cancellation) {
  platform::ProcessOptions options;
  options.standardInput = curlStandardInput(credentials);
  options.cancellation = cancellation;
  return platform::runProcess(path, arguments, options);
}

AnyError cancelled() { return AnyError(MacProxyError::validationFailed(model::kProofCancelledMessage)); }

std::string_view asText(const std::vector<uint8_t>& bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

}  // namespace

ManagerResult<std::vector<uint8_t>> ProxyValidator::runCurl(const std::string& proxyUrl,
                                                            const std::optional<std::string>& credentials,
                                                            const std::string& endpoint, int64_t timeoutSeconds,
                                                            const platform::Cancellation* cancellation) {
  auto finished = curl(endpoints_.curlPath, probeArguments(proxyUrl, credentials, endpoint, timeoutSeconds), credentials,
                       cancellation);
  if (!finished) return unexpected(AnyError(finished.error()));
  if (finished->succeeded()) return std::move(finished->standardOutput);

  std::string_view error = asText(finished->standardError);
  if (!platform::text::isValidUtf8(error)) error = {};
  return unexpected(AnyError(MacProxyError::validationFailed(std::string(platform::text::trimWhitespaceAndNewlines(error)))));
}

std::string ProxyValidator::measureSpeed(const std::string& proxyUrl, const std::optional<std::string>& credentials,
                                         const platform::Cancellation* cancellation) {
  auto finished =
      curl(endpoints_.curlPath, speedArguments(proxyUrl, credentials, endpoints_.downloadUrl), credentials, cancellation);
  if (!finished || !finished->succeeded()) return kSpeedUnavailable;
  return speedText(asText(finished->standardOutput));
}

ManagerResult<MacProxyDiagnostic> ProxyValidator::diagnose(const std::string& host, int64_t port,
                                                           const std::string& proxyProtocol,
                                                           const std::string& username, const std::string& password,
                                                           const ProofObserver& observer) {
  const auto urls = proxyUrls(host, port, proxyProtocol);
  const auto credentials = proxyCredentials(username, password);
  const platform::Cancellation* cancellation = observer.cancellation;
  auto pause = [&](std::chrono::milliseconds duration) {
    if (cancellation) return clock_.sleepUnlessCancelled(duration, *cancellation);
    clock_.sleep(duration);
    return true;
  };
  auto stopped = [&] { return cancellation && cancellation->cancelled(); };
  std::string lastError;
  auto tell = [&](int pass) {
    if (observer.progress) observer.progress(pass, lastError);
  };

  tell(0);
  if (!pause(kPauseBeforeFirstPass)) return unexpected(cancelled());
  for (int pass = 0; pass < kPasses; ++pass) {
    if (pass > 0) tell(pass);
    for (const auto& url : urls) {
      for (const auto& endpoint : endpoints_.ipServiceUrls) {
        if (stopped()) return unexpected(cancelled());
        auto body = runCurl(url, credentials, endpoint, kProbeTimeoutSeconds, cancellation);
        // A transfer ended by the cancel says nothing about the proxy.
        if (stopped()) return unexpected(cancelled());
        if (!body) {
          lastError = localizedDescription(body.error());
          tell(pass);
          continue;
        }
        auto answer = platform::json::parse(asText(*body));
        if (!answer) {
          lastError = answer.error().description;
          tell(pass);
          continue;
        }
        auto record = diagnosticFromAnswer(*answer);
        if (!record) continue;  // an answer without an address says nothing about the error
        record->speed = measureSpeed(url, credentials, cancellation);
        if (stopped()) return unexpected(cancelled());
        return *record;
      }
    }
    if (pass + 1 < kPasses && !pause(pauseAfterPass(pass))) return unexpected(cancelled());
  }
  return unexpected(AnyError(MacProxyError::validationFailed(lastError)));
}

}  // namespace tavlune::validation
