// Calls a Mac compiler refuses, one per kind of mistake the macOS type-check
// exists to catch. scripts/mac_typecheck.sh requires that this file fails the
// check and that clang's -verify finds exactly the errors marked here (and the
// notes that name the reason), no more and no fewer.
#include <CoreFoundation/CoreFoundation.h>
#include <SystemConfiguration/SystemConfiguration.h>

#include "platform/mac/cf_ref.h"

namespace {

using tavlune::platform::mac::CFRef;

void wrongCalls(CFStringRef key, SCPreferencesRef preferences, SCNetworkSetRef set, SCNetworkServiceRef service) {
  // Text where bytes are wanted.
  CFDataGetBytePtr(key);  // expected-error {{no matching function for call to 'CFDataGetBytePtr'}}
  // expected-note@*:* {{cannot convert argument of incomplete type 'CFStringRef' (aka 'const __CFString *') to 'CFDataRef'}}

  // A misspelt constant.
  SCNetworkServiceCopyProtocol(service, kSCNetworkProtocolTypeProxie);  // expected-error {{use of undeclared identifier 'kSCNetworkProtocolTypeProxie'; did you mean 'kSCNetworkProtocolTypeProxies'?}}
  // expected-note@*:* {{'kSCNetworkProtocolTypeProxies' declared here}}

  // A network set where a service is wanted.
  SCNetworkServiceGetName(set);  // expected-error {{no matching function for call to 'SCNetworkServiceGetName'}}
  // expected-note@*:* {{cannot convert argument of incomplete type 'SCNetworkSetRef' (aka 'const __SCNetworkSet *') to 'SCNetworkServiceRef _Nonnull'}}

  // An argument left out.
  SCPreferencesCreate(nullptr, CFSTR("Tavlune"));  // expected-error {{no matching function for call to 'SCPreferencesCreate'}}
  // expected-note@*:* {{requires 3 arguments, but 2 were provided}}

  // Null where the header promises non-null.
  SCNetworkServiceGetEnabled(nullptr);  // expected-error {{null passed to a callee that requires a non-null argument}}

  // A Copy result held as the wrong type.
  auto current = CFRef<CFStringRef>::adopt(SCNetworkSetCopyCurrent(preferences));  // expected-error {{cannot initialize a parameter of type 'const __CFString *' with an rvalue of type 'SCNetworkSetRef _Nullable'}}
  // expected-note@*:* {{'__SCNetworkSet' is not defined, but forward declared here}}
  // expected-note@*:* {{passing argument to parameter 'ref' here}}
  (void)current;
}

}  // namespace
