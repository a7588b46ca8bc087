// Availability annotations carry no types: empty, as for a build that targets
// every version the headers name.
#pragma once

#include <os/availability.h>

#define __OSX_AVAILABLE_STARTING(mac, ios)
#define __OSX_AVAILABLE_BUT_DEPRECATED(mac_introduced, mac_deprecated, ios_introduced, ios_deprecated)
#define __OSX_AVAILABLE_BUT_DEPRECATED_MSG(mac_introduced, mac_deprecated, ios_introduced, ios_deprecated, message)
#define __OSX_EXTENSION_UNAVAILABLE(message)
#define __IOS_EXTENSION_UNAVAILABLE(message)
#define __OSX_AVAILABLE(version)
#define __IOS_AVAILABLE(version)
#define __OSX_UNAVAILABLE
#define __IOS_UNAVAILABLE
#define __IOS_PROHIBITED
#define __TVOS_PROHIBITED
#define __WATCHOS_PROHIBITED
