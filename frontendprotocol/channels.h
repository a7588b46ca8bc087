// The method channels between TavluneDesktop and its front ends, and the
// methods each answers. The application dispatches on these names and the
// front ends call them by these names; a new method is one line here and its
// handler (docs/channel.md).
#pragma once

namespace tavlune::frontendprotocol {

// Every call goes to MacProxyManager.
namespace vpn {

inline constexpr const char* kChannel = "com.tavlune.app/vpn";

inline constexpr const char* kCheckVpnPermission = "checkVpnPermission";
inline constexpr const char* kRequestVpnPermission = "requestVpnPermission";
inline constexpr const char* kShowLowDataAlert = "showLowDataAlert";
inline constexpr const char* kConnectProxy = "connectProxy";
inline constexpr const char* kDisconnectProxy = "disconnectProxy";
inline constexpr const char* kSetWebRtcProtection = "setWebRtcProtection";
inline constexpr const char* kConfirmProxyConnection = "confirmProxyConnection";
inline constexpr const char* kGetConnectionStatus = "getConnectionStatus";
inline constexpr const char* kGetConnectionState = "getConnectionState";
inline constexpr const char* kGetProxyPort = "getProxyPort";
inline constexpr const char* kInspectProxy = "inspectProxy";
inline constexpr const char* kEnableBrowserProxy = "enableBrowserProxy";
inline constexpr const char* kClearBrowserProxy = "clearBrowserProxy";
inline constexpr const char* kUpdateVpnSettings = "updateVpnSettings";
inline constexpr const char* kGetInstalledApps = "getInstalledApps";
inline constexpr const char* kOpenVpnSettings = "openVpnSettings";

}  // namespace vpn

// The shell's own channel: the window, the application, and the read-only
// views and proxy checks that bypass the manager's reconciliation.
namespace window {

inline constexpr const char* kChannel = "com.tavlune.app/window";

inline constexpr const char* kDescribe = "describe";
inline constexpr const char* kConnection = "connection";
inline constexpr const char* kConnectProgress = "connectProgress";
inline constexpr const char* kCancelConnect = "cancelConnect";
inline constexpr const char* kCheckProxy = "checkProxy";
inline constexpr const char* kCheckProgress = "checkProgress";
inline constexpr const char* kCancelCheck = "cancelCheck";
inline constexpr const char* kSystemProxy = "systemProxy";
inline constexpr const char* kClose = "close";
inline constexpr const char* kQuit = "quit";

}  // namespace window

}  // namespace tavlune::frontendprotocol
