// The byte-order helpers CFByteOrder.h calls, over the compiler's builtins on
// a little-endian machine, as on every Mac that runs the product.
#pragma once

#include <stdint.h>

#define OSSwapInt16(x) __builtin_bswap16((uint16_t)(x))
#define OSSwapInt32(x) __builtin_bswap32((uint32_t)(x))
#define OSSwapInt64(x) __builtin_bswap64((uint64_t)(x))

#define OSSwapBigToHostInt16(x) OSSwapInt16(x)
#define OSSwapBigToHostInt32(x) OSSwapInt32(x)
#define OSSwapBigToHostInt64(x) OSSwapInt64(x)
#define OSSwapHostToBigInt16(x) OSSwapInt16(x)
#define OSSwapHostToBigInt32(x) OSSwapInt32(x)
#define OSSwapHostToBigInt64(x) OSSwapInt64(x)

#define OSSwapLittleToHostInt16(x) ((uint16_t)(x))
#define OSSwapLittleToHostInt32(x) ((uint32_t)(x))
#define OSSwapLittleToHostInt64(x) ((uint64_t)(x))
#define OSSwapHostToLittleInt16(x) ((uint16_t)(x))
#define OSSwapHostToLittleInt32(x) ((uint32_t)(x))
#define OSSwapHostToLittleInt64(x) ((uint64_t)(x))

enum { OSUnknownByteOrder, OSLittleEndian, OSBigEndian };

static inline int32_t OSHostByteOrder(void) { return OSLittleEndian; }
