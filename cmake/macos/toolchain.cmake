# Cross-builds for macOS with zig's clang, its macOS C library headers and
# libSystem text stub, and the libc++ it builds for the target.
#   -DCMAKE_TOOLCHAIN_FILE=cmake/macos/toolchain.cmake
#   -DTAVLUNE_MACOS_ARCH=arm64|x86_64
#   -DTAVLUNE_MACOS_TOOLS=DIR   (DIR/ARCH-cc, ARCH-c++, ar, ranlib: written by scripts/mac_build.sh)
#   -DTAVLUNE_MACOS_STUBS=DIR   (the frameworks' text stubs, DIR/NAME.framework/NAME.tbd)
#   -DTAVLUNE_MACOS_DEPS=DIR    (libplist and utf8proc built for ARCH)
# Apple's CoreFoundation and SystemConfiguration headers come from
# third_party/apple; the few the toolchain lacks, from cmake/macos/sdk.
set(CMAKE_SYSTEM_NAME Darwin)
set(CMAKE_SYSTEM_VERSION 20)
foreach(variable TAVLUNE_MACOS_ARCH TAVLUNE_MACOS_TOOLS TAVLUNE_MACOS_STUBS TAVLUNE_MACOS_DEPS)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "cmake/macos/toolchain.cmake needs -D${variable}")
  endif()
endforeach()
# try_compile projects see the same values.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES
     TAVLUNE_MACOS_ARCH TAVLUNE_MACOS_TOOLS TAVLUNE_MACOS_STUBS TAVLUNE_MACOS_DEPS)
set(CMAKE_SYSTEM_PROCESSOR ${TAVLUNE_MACOS_ARCH})

set(CMAKE_C_COMPILER ${TAVLUNE_MACOS_TOOLS}/${TAVLUNE_MACOS_ARCH}-cc)
set(CMAKE_CXX_COMPILER ${TAVLUNE_MACOS_TOOLS}/${TAVLUNE_MACOS_ARCH}-c++)
set(CMAKE_AR ${TAVLUNE_MACOS_TOOLS}/ar CACHE FILEPATH "" FORCE)
set(CMAKE_RANLIB ${TAVLUNE_MACOS_TOOLS}/ranlib CACHE FILEPATH "" FORCE)
# The target and its minimum system are the compiler wrappers' -target; no
# SDK folder, no -arch, no -mmacosx-version-min from CMake.
set(CMAKE_OSX_SYSROOT "" CACHE PATH "" FORCE)
set(CMAKE_OSX_ARCHITECTURES "" CACHE STRING "" FORCE)
set(CMAKE_OSX_DEPLOYMENT_TARGET "" CACHE STRING "" FORCE)

get_filename_component(_tavlune_source "${CMAKE_CURRENT_LIST_DIR}/../.." ABSOLUTE)
set(_tavlune_sdk "-isystem ${_tavlune_source}/cmake/macos/sdk -isystem ${_tavlune_source}/third_party/apple -include ${_tavlune_source}/cmake/macos/sdk/prelude.h")
set(CMAKE_C_FLAGS_INIT "${_tavlune_sdk}")
set(CMAKE_CXX_FLAGS_INIT "${_tavlune_sdk}")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-F ${TAVLUNE_MACOS_STUBS}")

set(CMAKE_FIND_ROOT_PATH ${TAVLUNE_MACOS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(ENV{PKG_CONFIG_LIBDIR} ${TAVLUNE_MACOS_DEPS}/lib/pkgconfig)
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
