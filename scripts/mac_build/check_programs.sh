#!/usr/bin/env bash
# Checks the universal programs and the bundle that scripts/mac_build.sh made:
# both architectures in each program, each slice for macOS 11.0 and later, the
# arm64 slices signed ad hoc (macOS runs no unsigned arm64 code), only the
# system's libraries at their system paths, the bundle's layout and
# Info.plist, and the helper's version mark.
#   check_programs.sh BUILD_MACOS_DIR VERSION
set -euo pipefail
out=$1 version=$2
here=$(dirname "$0")
objdump=llvm-objdump-14 lipo=llvm-lipo-14
minimum=11.0
system=/usr/lib/libSystem.B.dylib
cf=/System/Library/Frameworks/CoreFoundation.framework/Versions/A/CoreFoundation
sc=/System/Library/Frameworks/SystemConfiguration.framework/Versions/A/SystemConfiguration
failed=0
fail() { echo "FAILED   $*"; failed=1; }

check_program() { # file, the libraries it must load, no more and no fewer
  local file=$1 arch headers build libraries
  shift
  local expected
  expected=$(printf '%s\n' "$@" | sort | paste -sd' ')
  local before=$failed
  failed=0
  [ "$($lipo -archs "$file" | xargs -n1 | sort | xargs)" = "arm64 x86_64" ] ||
    fail "$file holds $($lipo -archs "$file"), not arm64 and x86_64"
  for arch in arm64 x86_64; do
    headers=$($objdump --macho --private-headers --arch-name="$arch" "$file")
    build=$(awk '/cmd LC_BUILD_VERSION/ { b = 1 } b && $1 == "platform" { p = $2 } b && $1 == "minos" { print p, $2; exit }' <<<"$headers")
    [ "$build" = "macos $minimum" ] || fail "$file ($arch): LC_BUILD_VERSION is \"$build\", not \"macos $minimum\""
    if [ "$arch" = arm64 ]; then
      python3 "$here/macho_signature.py" "$file" arm64 >/dev/null || fail "$file (arm64) is not signed ad hoc"
    fi
    libraries=$($objdump --macho --dylibs-used --arch-name="$arch" "$file" | awk 'NR > 1 { print $1 }' | sort | paste -sd' ')
    [ "$libraries" = "$expected" ] || fail "$file ($arch) loads \"$libraries\", not \"$expected\""
  done
  [ "$failed" -eq 0 ] && echo "checked  $file: arm64 and x86_64, macOS $minimum, arm64 signed ad hoc, loads $*"
  failed=$((before | failed))
}

app=$out/TavluneDesktop.app/Contents
check_program "$app/MacOS/TavluneDesktop" "$system" "$cf" "$sc"
check_program "$out/TavluneProxyHelper" "$system"
# tavlune reads the user's records and the live settings itself while the
# application is not running.
check_program "$out/tavlune" "$system" "$cf" "$sc"

# The bundle: exactly these files, the helper the one built, the property list
# the one the bundle is found and started by.
layout=$(cd "$out/TavluneDesktop.app" && find . -mindepth 1 | sort | paste -sd' ')
[ "$layout" = "./Contents ./Contents/Info.plist ./Contents/MacOS ./Contents/MacOS/TavluneDesktop ./Contents/Resources ./Contents/Resources/TavluneProxyHelper" ] ||
  fail "the bundle holds $layout"
cmp -s "$app/Resources/TavluneProxyHelper" "$out/TavluneProxyHelper" || fail "the bundle's helper is not the one built"
[ -x "$app/MacOS/TavluneDesktop" ] && [ -x "$app/Resources/TavluneProxyHelper" ] || fail "the bundle's programs are not executable"
python3 - "$app/Info.plist" "$version" "$minimum" <<'PY' || failed=1
import plistlib, sys
path, version, minimum = sys.argv[1:]
with open(path, "rb") as f:
    info = plistlib.load(f)
wanted = {"CFBundleExecutable": "TavluneDesktop", "CFBundleIdentifier": "com.tavlune.desktop",
          "CFBundlePackageType": "APPL", "CFBundleShortVersionString": version, "CFBundleVersion": version,
          "LSMinimumSystemVersion": minimum}
wrong = {k: info.get(k) for k, v in wanted.items() if info.get(k) != v}
if wrong:
    print(f"FAILED   Info.plist: {wrong}, wanted {wanted}")
    sys.exit(1)
print(f"checked  Info.plist: {', '.join(f'{k} {v}' for k, v in wanted.items())}")
PY

# `tavlune helper` reads the installed helper's version from this mark.
for arch in arm64 x86_64; do
  thin=$(mktemp)
  $lipo "$out/TavluneProxyHelper" -thin "$arch" -output "$thin"
  grep -qaF "@(#)TavluneProxyHelper $version" "$thin" || fail "the helper ($arch) has no version mark for $version"
  rm -f "$thin"
done
[ "$failed" -eq 0 ] && echo "checked  the helper's version mark @(#)TavluneProxyHelper $version in both slices"
exit "$failed"
