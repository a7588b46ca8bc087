#!/usr/bin/env bash
# Checks the package a Mac user installs: its files, and that install.sh puts
# each where it belongs and uninstall.sh takes each away again (both run into a
# scratch root through DESTDIR).
#   check_artefact.sh TARBALL NAME
set -euo pipefail
tarball=$1 name=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
fail() { echo "FAILED   $*"; failed=1; }

tar -C "$work" -xzf "$tarball"
package=$work/$name
for file in install.sh uninstall.sh README.txt bin/tavlune TavluneDesktop.app/Contents/Info.plist \
            TavluneDesktop.app/Contents/MacOS/TavluneDesktop TavluneDesktop.app/Contents/Resources/TavluneProxyHelper \
            share/man/man1/tavlune.1 share/bash-completion/completions/tavlune share/zsh/site-functions/_tavlune; do
  [ -f "$package/$file" ] || fail "the package has no $file"
done
for file in install.sh uninstall.sh bin/tavlune TavluneDesktop.app/Contents/MacOS/TavluneDesktop \
            TavluneDesktop.app/Contents/Resources/TavluneProxyHelper; do
  [ -x "$package/$file" ] || fail "$file is not executable in the package"
done

root=$work/root
installed="Applications/TavluneDesktop.app/Contents/MacOS/TavluneDesktop
Applications/TavluneDesktop.app/Contents/Resources/TavluneProxyHelper
usr/local/bin/tavlune
usr/local/share/man/man1/tavlune.1
usr/local/share/bash-completion/completions/tavlune
usr/local/share/zsh/site-functions/_tavlune"
DESTDIR=$root sh "$package/install.sh" >/dev/null || fail "install.sh failed"
# Twice: an update over an installed copy.
DESTDIR=$root sh "$package/install.sh" >/dev/null || fail "install.sh failed over an installed copy"
while read -r file; do
  [ -f "$root/$file" ] || fail "install.sh did not install /$file"
done <<<"$installed"
cmp -s "$root/usr/local/bin/tavlune" "$package/bin/tavlune" || fail "the installed tavlune is not the package's"
[ "$(stat -c %a "$root/usr/local/share/man/man1/tavlune.1")" = 644 ] || fail "the man page is not mode 644"
[ -z "$(find "$root" -name '*.new')" ] || fail "install.sh left a half-made copy"
DESTDIR=$root sh "$package/uninstall.sh" >/dev/null || fail "uninstall.sh failed"
left=$(find "$root" -type f | sed "s|^$root/||")
[ -z "$left" ] || fail "uninstall.sh left $left"
[ "$failed" -eq 0 ] && echo "checked  $(basename "$tarball"): its files, install.sh and uninstall.sh (into a scratch root)"
exit "$failed"
