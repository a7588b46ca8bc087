// Included first in every file of the macOS cross build. The toolchain
// carries the C library's headers of the macOS SDK but not its frameworks;
// Apple's CoreFoundation and SystemConfiguration headers (third_party/apple)
// are of a release that leaves two things to a newer SDK than the toolchain's.
#pragma once

// The nullability pair that later CoreFoundation releases define in CFBase.h
// and that the SystemConfiguration headers open with.
#ifndef CF_ASSUME_NONNULL_BEGIN
#define CF_ASSUME_NONNULL_BEGIN _Pragma("clang assume_nonnull begin")
#define CF_ASSUME_NONNULL_END _Pragma("clang assume_nonnull end")
#endif

// The availability headers of the toolchain know no bridgeOS, which the
// SystemConfiguration headers mark as unavailable.
#ifndef __API_UNAVAILABLE_PLATFORM_bridgeos
#define __API_UNAVAILABLE_PLATFORM_bridgeos bridgeos,unavailable
#endif
