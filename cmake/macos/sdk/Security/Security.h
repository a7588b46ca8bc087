// The one type SCPreferences.h takes from the Security framework, as the SDK
// declares it; nothing of Security is called or linked.
#pragma once

typedef const struct AuthorizationOpaqueRef *AuthorizationRef;
