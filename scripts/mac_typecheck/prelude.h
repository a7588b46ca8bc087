// Included before every file the check reads. The C and C++ library headers
// come first, because glibc's __nonnull is a function-attribute macro taking
// an argument list; once they are in, it is free to take the meaning Apple's
// headers give it. A library header first included after this point fails
// loudly on __nonnull: add it here.
#pragma once

#ifdef __cplusplus
#include <bits/stdc++.h>
#endif
#include <fcntl.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/un.h>
#include <unistd.h>

// The nullability qualifiers under their older names, and the pragma pair
// that CoreFoundation of this age leaves to the SDK's <sys/cdefs.h>.
#undef __nonnull
#define __nonnull _Nonnull
#define __nullable _Nullable
#define __null_unspecified _Null_unspecified
#ifndef CF_ASSUME_NONNULL_BEGIN
#define CF_ASSUME_NONNULL_BEGIN _Pragma("clang assume_nonnull begin")
#define CF_ASSUME_NONNULL_END _Pragma("clang assume_nonnull end")
#endif
