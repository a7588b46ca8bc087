// The public services that a proxy is probed against, and the curl program
// that reaches them. Tests replace these by construction, never by editing.
#pragma once

#include <string>
#include <vector>

namespace tavlune::validation {

inline constexpr const char* kCurlPath = "/usr/bin/curl";

// IP-information services answering GET over HTTPS with a JSON object that
// carries "ip"; asked in this order (paths "/", "/json/", "/json").
inline constexpr const char* kIpWhoHost = "ipwho.is";
inline constexpr const char* kIpApiHost = "ipapi.co";
inline constexpr const char* kIpInfoHost = "ipinfo.io";

// Answers "/__down?bytes=N" with N bytes.
inline constexpr const char* kDownloadHost = "speed.cloudflare.com";

inline std::vector<std::string> defaultIpServiceUrls() {
  return {std::string("https://") + kIpWhoHost + "/", std::string("https://") + kIpApiHost + "/json/",
          std::string("https://") + kIpInfoHost + "/json"};
}

inline std::string defaultDownloadUrl() { return std::string("https://") + kDownloadHost + "/__down?bytes=250000"; }

}  // namespace tavlune::validation
