// For data that only readers of the program's file look at, never the program
// itself: kept by the compiler ("used") and by the linker. macOS's linkers
// drop what nothing refers to, "used" or not, unless its section says
// no_dead_strip.
#pragma once

#if defined(__APPLE__)
#define TAVLUNE_KEPT_IN_FILE [[gnu::used, gnu::section("__TEXT,__tavlune_mark,regular,no_dead_strip")]]
#else
#define TAVLUNE_KEPT_IN_FILE [[gnu::used]]
#endif
