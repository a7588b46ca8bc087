// Proving that a proxy carries traffic before the system is pointed at it:
// the exit address and its details from public IP-information services, and
// a short download's speed, each fetched through the proxy with curl.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "model/mac_proxy_error.h"
#include "model/records.h"
#include "platform/dispatch/clock.h"
#include "validation/endpoints.h"

namespace tavlune::validation {

// What a proof tells while it runs, and what stops it.
struct ProofObserver {
  // As each pass begins (from 0) and after each failed attempt, with the last
  // error text so far (empty before the first).
  std::function<void(int pass, const std::string& lastError)> progress;
  // Once cancelled, the proof stops at its next pause or transfer, ending a
  // transfer under way, and fails with model::kProofCancelledMessage.
  const platform::Cancellation* cancellation = nullptr;
};

struct ValidationEndpoints {
  std::string curlPath = kCurlPath;
  std::vector<std::string> ipServiceUrls = defaultIpServiceUrls();
  std::string downloadUrl = defaultDownloadUrl();
};

class ProxyValidator {
 public:
  static constexpr int64_t kProbeTimeoutSeconds = 12;
  static constexpr int kPasses = 5;

  explicit ProxyValidator(platform::Clock& clock, ValidationEndpoints endpoints = {})
      : clock_(clock), endpoints_(std::move(endpoints)) {}

  // The exit address and its details, or validationFailed with the text of
  // the last failed attempt once five passes over every proxy URL and
  // service have failed. Blocks: it sleeps between passes and waits for curl.
  model::ManagerResult<model::MacProxyDiagnostic> diagnose(const std::string& host, int64_t port, const std::string& proxyProtocol,
                                             const std::string& username, const std::string& password,
                                             const ProofObserver& observer = {});

  // One transfer through the proxy: curl's standard output, a platform error
  // when curl cannot be started, or validationFailed with its trimmed error
  // output when it ends otherwise than with status 0 (or is cancelled).
  model::ManagerResult<std::vector<uint8_t>> runCurl(const std::string& proxyUrl,
                                              const std::optional<std::string>& credentials,
                                              const std::string& endpoint, int64_t timeoutSeconds,
                                              const platform::Cancellation* cancellation = nullptr);

  // "12.3 Mbps" for the download through the proxy, or "Unavailable" for any failure.
  std::string measureSpeed(const std::string& proxyUrl, const std::optional<std::string>& credentials,
                           const platform::Cancellation* cancellation = nullptr);

 private:
  platform::Clock& clock_;
  ValidationEndpoints endpoints_;
};

}  // namespace tavlune::validation
