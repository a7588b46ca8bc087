#!/bin/sh
# Removes what install.sh installed, and the privileged helper that
# TavluneDesktop installed on its first connect (its launchd job, program,
# job file and socket, through `tavlune helper uninstall`, which refuses while
# a connection is up: disconnect first). Each user's records stay in
# ~/Library/Preferences/com.tavlune.desktop.plist (remove them with
# `defaults delete com.tavlune.desktop`).
# Run as an administrator: sudo ./uninstall.sh. DESTDIR=DIR: under DIR.
set -eu
root=${DESTDIR:-}
if [ -z "$root" ]; then
  [ "$(uname -s)" = Darwin ] || { echo "uninstall.sh: this uninstalls on macOS" >&2; exit 1; }
  [ "$(id -u)" -eq 0 ] || { echo "uninstall.sh: run it as an administrator: sudo $0" >&2; exit 1; }
fi
apps=$root/Applications
prefix=$root/usr/local

if [ -z "$root" ] && [ -x "$prefix/bin/tavlune" ]; then
  "$prefix/bin/tavlune" helper uninstall || { echo "uninstall.sh: the helper stays; nothing was removed" >&2; exit 1; }
fi
rm -rf "$apps/TavluneDesktop.app"
rm -f "$prefix/bin/tavlune" "$prefix/share/man/man1/tavlune.1" \
      "$prefix/share/bash-completion/completions/tavlune" "$prefix/share/zsh/site-functions/_tavlune"
echo "Removed TavluneDesktop.app and tavlune."
