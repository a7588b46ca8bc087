#!/usr/bin/env bash
# Fails when a program carries crash points (the kill switches of the
# crash-point tests, platform/crash_point.h).
#   scripts/no_crash_points.sh PATH...   a program, or a build folder's programs
#   scripts/no_crash_points.sh --refused-install CRASH_BUILD_DIR BUILD_DIR...
#       also: installing CRASH_BUILD_DIR, whose programs have them, is refused
set -euo pipefail

if [ "${1:-}" = --refused-install ]; then
  crash_build=$2
  shift 2
  prefix=$(mktemp -d)
  trap 'rm -rf "$prefix"' EXIT
  if out=$(cmake --install "$crash_build" --prefix "$prefix" 2>&1); then
    echo "FAIL: $crash_build, a build with crash points, was installed"; exit 1
  fi
  grep -q "crash points" <<<"$out" || { echo "FAIL: the refusal does not say why: $out"; exit 1; }
  [ -z "$(find "$prefix" -type f)" ] || { echo "FAIL: the refused install left files"; exit 1; }
  # The check below must see them where they are.
  grep -qa TAVLUNE_CRASH_AT "$crash_build/helperd/TavluneProxyHelper" || { echo "FAIL: no crash points found in $crash_build"; exit 1; }
fi

status=0
for path in "$@"; do
  files=("$path")
  [ -d "$path" ] && files=("$path/TavluneDesktop.app/Contents/MacOS/TavluneDesktop"
    "$path/TavluneDesktop.app/Contents/Resources/TavluneProxyHelper" "$path/helperd/TavluneProxyHelper" "$path/cli/tavlune")
  for file in "${files[@]}"; do
    [ -f "$file" ] || { echo "FAIL: $file is missing"; status=1; continue; }
    # The variable that arms a crash point is spelled out only where one is built in.
    if grep -qa TAVLUNE_CRASH_AT "$file"; then echo "FAIL: $file has crash points"; status=1; fi
  done
done
[ "$status" = 0 ] && echo "no crash points in: $*"
exit "$status"
