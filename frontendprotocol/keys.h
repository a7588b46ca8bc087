// The keys of the channels' argument and reply maps, and the values of
// their "phase" entries, as docs/channel.md and the README list them.
#pragma once

namespace tavlune::frontendprotocol {

// A proxy: "connectProxy" and "checkProxy" arguments, the connection and
// progress maps, and a manual proxy of "systemProxy".
inline constexpr const char* kHostKey = "host";
inline constexpr const char* kPortKey = "port";
inline constexpr const char* kProtocolKey = "protocol";
inline constexpr const char* kUsernameKey = "username";
inline constexpr const char* kPasswordKey = "password";

// What a connect records about itself, given with "connectProxy" and
// answered in the connection state; "id" stands for "profileId" when that
// is missing.
inline constexpr const char* kConnectionTypeKey = "connectionType";
inline constexpr const char* kProfileIdKey = "profileId";
inline constexpr const char* kIdKey = "id";
inline constexpr const char* kSessionIdKey = "sessionId";
inline constexpr const char* kCountryCodeKey = "countryCode";
inline constexpr const char* kCountryKey = "country";
inline constexpr const char* kStateKey = "state";
inline constexpr const char* kCityKey = "city";
inline constexpr const char* kConnectedAtKey = "connectedAt";
// A connect's argument and an entry of "connection".
inline constexpr const char* kWebRtcProtectionKey = "webRtcProtection";
// The argument of "setWebRtcProtection", and a switch of "systemProxy".
inline constexpr const char* kEnabledKey = "enabled";

// The connection state ("getConnectionState") and "connection".
inline constexpr const char* kPhaseKey = "phase";
inline constexpr const char* kConnectedPhase = "connected";
inline constexpr const char* kOfflinePhase = "offline";
inline constexpr const char* kTakeBackPendingKey = "takeBackPending";
inline constexpr const char* kServicesKey = "services";
inline constexpr const char* kSystemMatchesKey = "systemMatches";

// The diagnostic of "inspectProxy" and "checkProxy".
inline constexpr const char* kIpKey = "ip";
inline constexpr const char* kIspKey = "isp";
inline constexpr const char* kSpeedKey = "speed";

// "checkProxy", "checkProgress" and "cancelCheck": the front end's name for its check.
inline constexpr const char* kCheckIdKey = "checkId";

// The progress map of "connectProgress" and "checkProgress": its "phase" and the rest.
inline constexpr const char* kIdlePhase = "idle";
inline constexpr const char* kWaitingPhase = "waiting";
inline constexpr const char* kPreparingPhase = "preparing";
inline constexpr const char* kProvingPhase = "proving";
inline constexpr const char* kApplyingPhase = "applying";
inline constexpr const char* kConfirmingPhase = "confirming";
inline constexpr const char* kCancellableKey = "cancellable";
inline constexpr const char* kBehindKey = "behind";
inline constexpr const char* kPassKey = "pass";
inline constexpr const char* kPassesKey = "passes";
inline constexpr const char* kLastErrorKey = "lastError";

// "systemProxy": the services (each with its "name"), the live settings, and
// what could not be read.
inline constexpr const char* kLiveKey = "live";
inline constexpr const char* kProblemKey = "problem";
inline constexpr const char* kNameKey = "name";
inline constexpr const char* kWebKey = "web";
inline constexpr const char* kSecureWebKey = "secureWeb";
inline constexpr const char* kSocksKey = "socks";
inline constexpr const char* kUserKey = "user";
inline constexpr const char* kAutoConfigKey = "autoConfig";
inline constexpr const char* kUrlKey = "url";
inline constexpr const char* kAutoDiscoveryKey = "autoDiscovery";
inline constexpr const char* kBypassKey = "bypass";

// "describe": the window, the screen and the engine's registrations, each
// "plugin:NAME" or "channel:NAME".
inline constexpr const char* kTitleKey = "title";
inline constexpr const char* kFrameKey = "frame";
inline constexpr const char* kMinSizeKey = "minSize";
inline constexpr const char* kScreenKey = "screen";
inline constexpr const char* kVisibleKey = "visible";
inline constexpr const char* kContentViewControllerKey = "contentViewController";
inline constexpr const char* kRegistrationsKey = "registrations";
inline constexpr const char* kXKey = "x";
inline constexpr const char* kYKey = "y";
inline constexpr const char* kWidthKey = "width";
inline constexpr const char* kHeightKey = "height";
inline constexpr const char* kPluginRegistration = "plugin:";
inline constexpr const char* kChannelRegistration = "channel:";

}  // namespace tavlune::frontendprotocol
