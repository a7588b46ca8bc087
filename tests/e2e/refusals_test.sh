#!/bin/bash
# What the real programs refuse, and that a refusal changes nothing: a
# cancelled administrator approval, a proxy somebody else switched on, a
# process of another user at the helper's socket; and what they take over:
# settings an earlier connection left at the gateway.
#   refusals_test.sh BUILD_DIR STATE_DIR
# Exits 77 (skipped) when the machine cannot make a sandbox, except under CI.
set -euo pipefail

source "$(dirname "$(readlink -f "$0")")/host_test_lib.sh" "$1" "$2"
"$sim" start >/dev/null
launch
seeded=$(view "$seed")
unchanged() { cmp -s "$1" "$preferences" && echo unchanged || echo changed; }

# The first connect needs the helper; the administrator cancels the approval.
"$sim" set-approval cancel
check "cancelled approval" "AUTHORIZATION_CANCELLED" "$(outcome connect http://127.0.0.1:3128)"
check "cancelled: settings untouched" "unchanged" "$(unchanged "$seed")"
check "cancelled: no records, helper or policy" "|absent|absent|absent" \
  "$(records)|$(inside test -e /Library/PrivilegedHelperTools/com.tavlune.proxyhelper && echo present || echo absent)|$(
    inside test -e /Library/LaunchDaemons/com.tavlune.proxyhelper.plist && echo present || echo absent)|$(
    [ -e "$policy" ] && echo present || echo absent)"
check "cancelled: status" "Not connected." "$(inside tavlune status 2>&1)"
"$sim" set-approval approve
check "approved: connect" "ok" "$(outcome connect http://127.0.0.1:3128)"
check "approved: disconnect" "ok" "$(outcome disconnect)"

# A proxy the user switched on by hand is theirs: refused, nothing touched.
inside /usr/sbin/networksetup -setwebproxystate 'USB 10/100/1000 LAN' on
cp "$preferences" "$TAVLUNE_SIM_STATE/foreign.plist"
check "foreign proxy refused" "EXISTING_PROXY_ACTIVE" "$(outcome connect socks5://127.0.0.1:1080)"
check "foreign proxy: settings untouched" "unchanged" "$(unchanged "$TAVLUNE_SIM_STATE/foreign.plist")"
check "foreign proxy: no records" "" "$(records)"
inside /usr/sbin/networksetup -setwebproxystate 'USB 10/100/1000 LAN' off

# Settings an earlier connection left at the gateway are taken over: switched
# off before the connect, and not brought back by the disconnect.
inside /usr/sbin/networksetup -setwebproxy Wi-Fi gw.tavlune.com 8080
inside /usr/sbin/networksetup -setsecurewebproxy Ethernet GW.Tavlune.com 8443
check "gateway leftovers: connect" "ok" "$(outcome connect socks5://127.0.0.1:1080)"
check "gateway leftovers: only the new proxy on" \
  "web off, secure off, socks 127.0.0.1:1080 user=" "$(live | sed -n 's/^Wi-Fi: //p;s/^Ethernet: //p' | sort -u)"
check "gateway leftovers: disconnect" "ok" "$(outcome disconnect)"
check "gateway leftovers: the seed's settings, gateway off" "" "$(diff <(echo "$seeded") <(view) || true)"

# Another user reaches the helper's socket: refused, and the command never runs.
if [ "$(cat "$TAVLUNE_SIM_STATE/run/mode")" = root ]; then
  cp "$preferences" "$TAVLUNE_SIM_STATE/before-other-user.plist"
  reply=$(ask "/usr/sbin/networksetup -setwebproxy 'Wi-Fi' 127.0.0.1 3128 off" setpriv --reuid 65534 --regid 65534 --clear-groups)
  case "$reply" in
    "(closed)" | *'"ok":false'*) echo "ok: another user refused ($reply)" ;;
    *) fail "another user not refused: $reply" ;;
  esac
  check "another user: settings untouched" "unchanged" "$(unchanged "$TAVLUNE_SIM_STATE/before-other-user.plist")"
  check "root still served" '{"ok":true,"version":2}' "$(ask ping)"
else
  echo "skipped: another user (a host in a user namespace has only one)"
fi

inside tavlune quit >/dev/null || fail "quit"
[ "$failures" -eq 0 ] || { echo "$failures failure(s)"; exit 1; }
echo "all passed"
