#!/bin/sh
# Installs Tavlune's headless product on a Mac:
#   /Applications/TavluneDesktop.app               the application, the helper inside it
#   /usr/local/bin/tavlune                         the command-line front end
#   /usr/local/share/man/man1/tavlune.1            its manual page
#   /usr/local/share/{bash-completion,zsh}/...     its completions
# Run as an administrator: sudo ./install.sh. The programs are signed ad hoc,
# not by a developer identity, so Gatekeeper would refuse them once they carry
# the quarantine mark of a download; installing through this script means you
# trust them, and it removes that mark from the installed copies.
# DESTDIR=DIR puts everything under DIR instead (for checking the package).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=${DESTDIR:-}
if [ -z "$root" ]; then
  [ "$(uname -s)" = Darwin ] || { echo "install.sh: this installs on macOS" >&2; exit 1; }
  [ "$(id -u)" -eq 0 ] || { echo "install.sh: run it as an administrator: sudo $0" >&2; exit 1; }
fi
apps=$root/Applications
prefix=$root/usr/local

mkdir -p "$apps" "$prefix/bin" "$prefix/share/man/man1" "$prefix/share/bash-completion/completions" \
         "$prefix/share/zsh/site-functions"
# A new copy replaces the old one whole; a running TavluneDesktop keeps its own.
rm -rf "$apps/TavluneDesktop.app.new"
cp -R "$here/TavluneDesktop.app" "$apps/TavluneDesktop.app.new"
rm -rf "$apps/TavluneDesktop.app"
mv "$apps/TavluneDesktop.app.new" "$apps/TavluneDesktop.app"
install -m 755 "$here/bin/tavlune" "$prefix/bin/tavlune"
install -m 644 "$here/share/man/man1/tavlune.1" "$prefix/share/man/man1/tavlune.1"
install -m 644 "$here/share/bash-completion/completions/tavlune" "$prefix/share/bash-completion/completions/tavlune"
install -m 644 "$here/share/zsh/site-functions/_tavlune" "$prefix/share/zsh/site-functions/_tavlune"
if [ -z "$root" ]; then
  chown -R root:wheel "$apps/TavluneDesktop.app"
  xattr -dr com.apple.quarantine "$apps/TavluneDesktop.app" "$prefix/bin/tavlune" 2>/dev/null || true
fi
echo "Installed $apps/TavluneDesktop.app and $prefix/bin/tavlune."
echo "Start it: $apps/TavluneDesktop.app/Contents/MacOS/TavluneDesktop &   then: tavlune --help"
