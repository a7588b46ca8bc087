#!/bin/bash
# The simulated host boots with macOS's shape and its own network, the helper
# can be installed and reached the way the application does it, a reboot
# brings the helper back, and a stop leaves nothing running.
#   host_smoke_test.sh BUILD_DIR STATE_DIR
# Exits 77 (skipped) when the machine cannot make a sandbox, except under CI.
set -euo pipefail

source "$(dirname "$(readlink -f "$0")")/host_test_lib.sh" "$1" "$2"
"$sim" start

# macOS's shape, with the BSD tools' differences.
for path in /Library/PrivilegedHelperTools /Library/LaunchDaemons /Library/Preferences/SystemConfiguration \
  "/Library/Managed Preferences" "/Library/Application Support" /var/run /Users/alex/Library/Preferences \
  /usr/sbin/networksetup /bin/launchctl /bin/bash /usr/bin/curl /bin/mkdir /bin/echo /bin/chmod /usr/bin/install \
  /usr/sbin/chown; do
  inside test -e "$path" || fail "missing $path"
done
check "base64 -D decodes" "decoded" "$(inside bash -c 'echo ZGVjb2RlZA== | /usr/bin/base64 -D')"
check "chown root:wheel" "0:0" "$(inside bash -c 'f=$(mktemp) && /usr/sbin/chown root:wheel "$f" && stat -c %u:%g "$f"')"
check "runs as root with the user's home" "0 /Users/alex" "$(inside bash -c 'echo "$(id -u) $HOME"')"
check "approval setting" "approve" "$(inside cat /etc/tavlune-sim/administrator-approval)"
"$sim" set-approval cancel
check "approval setting changed from outside" "cancel" "$(inside cat /etc/tavlune-sim/administrator-approval)"
"$sim" set-approval approve

# The seeded preferences, read by the networksetup stand-in at its fixed path.
check "seeded services" "Wi-Fi|Ethernet|*Thunderbolt Bridge|Office VPN|USB 10/100/1000 LAN" \
  "$(inside /usr/sbin/networksetup -listallnetworkservices | tail -n +2 | paste -sd'|')"
check "hand-typed proxy kept, switched off" "No|proxy.corp.example|8080" \
  "$(inside /usr/sbin/networksetup -getwebproxy 'USB 10/100/1000 LAN' | sed -n 's/^\(Enabled\|Server\|Port\): //p' | paste -sd'|')"

# The services answer under their public names, trusted through the host's own
# store only (every local proxy's exit address is checked by connect_kinds).
check "no proxy" "127.0.0.1" "$(inside /usr/bin/curl -sS --fail https://ipinfo.io/json | /usr/bin/python3 -c 'import json,sys; print(json.load(sys.stdin)["ip"])')"
check "http login refused without it" "407" \
  "$(inside /usr/bin/curl -s -o /dev/null -w '%{http_connect}' --proxy http://127.0.0.1:3129 https://ipwho.is/ || true)"
check "download size" "250000" \
  "$(inside /usr/bin/curl -sS --proxy http://127.0.0.1:3128 -o /dev/null -w '%{size_download}' 'https://speed.cloudflare.com/__down?bytes=250000')"
ca=$TAVLUNE_SIM_STATE/root/var/db/tavlune-sim/ca
check "the host's store trusts the host's authority" "yes" \
  "$(inside openssl verify -CAfile /etc/ssl/certs/ca-certificates.crt /var/db/tavlune-sim/ca/server.pem >/dev/null 2>&1 && echo yes || echo no)"
check "the machine's own store does not" "no" \
  "$(openssl verify -CAfile /etc/ssl/certs/ca-certificates.crt "$ca/server.pem" >/dev/null 2>&1 && echo yes || echo no)"

# The helper, installed by the application's first connect (the installer's
# own test pins its command line) and reached on its socket.
launch
check "connect installs the helper" "ok" "$(outcome connect http://127.0.0.1:3128)"
check "helper answers ping" '{"ok":true,"version":2}' "$(ask ping)"
check "helper job loaded" "0:0 644" "$(inside stat -c '%u:%g %a' /Library/LaunchDaemons/com.tavlune.proxyhelper.plist)"
check "proxy set" "Yes|127.0.0.1|3128" \
  "$(inside /usr/sbin/networksetup -getwebproxy Wi-Fi | sed -n 's/^\(Enabled\|Server\|Port\): //p' | paste -sd'|')"

# A reboot: state kept, launchd loads the job again, nothing of the old host left.
namespace=$("$sim" namespace)
"$sim" stop
left=$(for p in /proc/[0-9]*; do [ "$(readlink "$p/ns/pid" 2>/dev/null)" = "$namespace" ] && echo "${p#/proc/}"; done || true)
check "nothing of the host left after stop" "" "$left"
"$sim" start
check "helper back after reboot" '{"ok":true,"version":2}' "$(ask ping)"
check "settings kept across reboot" "Yes" "$(inside /usr/sbin/networksetup -getwebproxy Wi-Fi | sed -n 's/^Enabled: //p')"
"$sim" stop
check "stopped" "stopped" "$("$sim" status | cut -d' ' -f1 || true)"

[ "$failures" -eq 0 ] || { echo "$failures failure(s)"; exit 1; }
echo "all passed"
