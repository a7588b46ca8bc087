#!/usr/bin/env bash
# Proves that the framework stubs refuse what Apple does not declare: the
# planted call must fail the link with an undefined symbol of its own name,
# and the same program without it must link, with the flags of the build.
#   planted_call.sh TOOLS_DIR STUBS_DIR
set -euo pipefail
tools=$1 stubs=$2
here=$(cd "$(dirname "$0")" && pwd)
source=$(cd "$here/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
link() { # value of TAVLUNE_PLANTED_CALL
  "$tools/arm64-c++" -std=c++20 -Wall -Wextra -Werror -DTAVLUNE_PLANTED_CALL="$1" \
    -isystem "$source/cmake/macos/sdk" -isystem "$source/third_party/apple" -include "$source/cmake/macos/sdk/prelude.h" \
    "$here/planted_call.cc" -F "$stubs" -framework SystemConfiguration -framework CoreFoundation -o "$work/planted-$1"
}
if ! link 0 >"$work/control.log" 2>&1; then
  cat "$work/control.log"
  echo "FAILED   the program without the planted call does not link"
  exit 1
fi
if link 1 >"$work/planted.log" 2>&1; then
  echo "FAILED   the planted call to SCDynamicStoreCopyPlantedProxies linked: the stubs let anything through"
  exit 1
fi
if ! grep -q "undefined reference to symbol '_SCDynamicStoreCopyPlantedProxies'" "$work/planted.log"; then
  cat "$work/planted.log"
  echo "FAILED   the planted call failed, but not as an undefined symbol"
  exit 1
fi
echo "refused  a call to SCDynamicStoreCopyPlantedProxies (not in Apple's headers); without it the program links"
