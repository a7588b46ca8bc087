// A call to a SystemConfiguration function Apple does not have, declared by
// hand so that it compiles: linked against the framework stubs it must fail,
// as it would fail to load on a Mac. Without TAVLUNE_PLANTED_CALL the same
// program links, so the failure is the planted call's.
#include <SystemConfiguration/SystemConfiguration.h>

#if TAVLUNE_PLANTED_CALL
extern "C" CFDictionaryRef SCDynamicStoreCopyPlantedProxies(SCDynamicStoreRef store);
#endif

int main() {
  CFDictionaryRef proxies = SCDynamicStoreCopyProxies(nullptr);
#if TAVLUNE_PLANTED_CALL
  if (!proxies) proxies = SCDynamicStoreCopyPlantedProxies(nullptr);
#endif
  if (proxies) CFRelease(proxies);
  return 0;
}
