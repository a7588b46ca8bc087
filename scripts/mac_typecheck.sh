#!/usr/bin/env bash
# Type-checks the macOS adapters as a Mac compiler would: clang -fsyntax-only
# against Apple's CoreFoundation and SystemConfiguration headers (vendored in
# third_party/apple) with the project's shims for the rest of the SDK. Nothing
# is linked or run. Then checks the check: a file of deliberately wrong calls
# must fail it, with exactly the errors it marks.
#
# The adapters are found by name: every .cc under platform/mac/ and every
# platform/**/*_mac.cc. A file elsewhere that includes these frameworks would
# escape the check, so it fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh

clang=${CLANG:-clang++}
here=scripts/mac_typecheck
# The host's own platform macros go, the Mac's come; -isystem, as the SDK is
# on a Mac, so that only the project's code answers to -Werror.
flags=(-std=c++20 -fsyntax-only -fblocks -Wall -Wextra -Werror
       -U__linux__ -U__linux -Ulinux -U__gnu_linux__ -U__unix__ -U__unix -Uunix -D__APPLE__ -D__MACH__
       -include "$here/prelude.h" -isystem "$here/shims" -isystem third_party/apple -I .)

mapfile -t adapters < <(find platform -type f \( -path 'platform/mac/*.cc' -o -name '*_mac.cc' \) | sort)
if [ ${#adapters[@]} -eq 0 ]; then
  echo "mac_typecheck: no macOS adapters found" >&2
  exit 1
fi

stray=$(grep -rlE '#include <(CoreFoundation|SystemConfiguration)/' \
          --include='*.cc' --include='*.h' --include='*.mm' \
          --exclude-dir=.git --exclude-dir=third_party --exclude-dir='build*' . |
        sed 's|^\./||' | grep -vE "^(platform/mac/|$here/|scripts/mac_build/)" | grep -vE '_mac\.(cc|h)$' || true)
if [ -n "$stray" ]; then
  echo "mac_typecheck: these use the macOS frameworks but are not named as adapters (platform/mac/ or *_mac.cc):" >&2
  echo "$stray" >&2
  exit 1
fi

failed=0
for file in "${adapters[@]}"; do
  if "$clang" "${flags[@]}" "$file"; then
    echo "checked  $file"
  else
    echo "FAILED   $file"
    failed=1
  fi
done

# The check must refuse the wrong calls (plain run fails), and for the marked
# reasons only (-verify matches each diagnostic to its expected-error line).
wrong=$here/wrong_calls.cc
if "$clang" "${flags[@]}" "$wrong" 2>/dev/null; then
  echo "FAILED   $wrong compiled: the check does not catch wrong calls"
  failed=1
elif "$clang" "${flags[@]}" -Xclang -verify "$wrong"; then
  echo "refused  $wrong, with exactly the errors it marks"
else
  echo "FAILED   $wrong did not fail with exactly the errors it marks"
  failed=1
fi

# The build's choice: configured for macOS (configure only, nothing is
# compiled), every adapter is a source of some target and no Linux stand-in
# that an adapter replaces is.
darwin=$(mktemp -d)
trap 'rm -rf "$darwin"' EXIT
if cmake -S . -B "$darwin" -G Ninja -DCMAKE_SYSTEM_NAME=Darwin \
     -DCMAKE_C_COMPILER_WORKS=1 -DCMAKE_CXX_COMPILER_WORKS=1 -DUTF8PROC_LIBRARY=utf8proc >"$darwin/configure.log" 2>&1; then
  compiled=$(grep -o '"file": *"[^"]*"' "$darwin/compile_commands.json" | sed 's/.*"\([^"]*\)"$/\1/; s|^'"$PWD"'/||' | sort -u)
  for file in "${adapters[@]}"; do
    grep -qxF "$file" <<<"$compiled" || { echo "FAILED   $file is not built for macOS"; failed=1; }
  done
  for file in platform/defaults/file_user_defaults.cc platform/sysconfig/file_network_configuration.cc \
              platform/bundle/main_bundle.cc platform/socket/peer_credentials.cc \
              platform/applescript/system_applescript.cc platform/workspace/system_workspace.cc; do
    if grep -qxF "$file" <<<"$compiled"; then echo "FAILED   $file is built for macOS"; failed=1; fi
  done
  [ "$failed" -eq 0 ] && echo "chosen   the macOS build compiles the adapters and none of the stand-ins they replace"
else
  cat "$darwin/configure.log"
  echo "FAILED   configuring for macOS"
  failed=1
fi

[ "$failed" -eq 0 ] && echo "mac_typecheck: ${#adapters[@]} adapters pass"
exit "$failed"
