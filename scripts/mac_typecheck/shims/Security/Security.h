// The authorization type SCPreferences.h takes, as <Security/Authorization.h>
// declares it.
#pragma once

typedef const struct AuthorizationOpaqueRef* AuthorizationRef;
