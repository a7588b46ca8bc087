#!/bin/bash
# tavlune as a person uses it, with the real programs: proxies at an IPv6
# address end to end, what status shows, Ctrl-C during a connect, webrtc
# while nothing is connected, the helper's status and removal, and an
# approval that has no one to ask.
#   tavlune_in_host_test.sh BUILD_DIR STATE_DIR
# Exits 77 (skipped) when the machine cannot make a sandbox, except under CI.
set -euo pipefail

source "$(dirname "$(readlink -f "$0")")/host_test_lib.sh" "$1" "$2"
"$sim" start >/dev/null
launch
seeded=$(view "$seed")
helper=/Library/PrivilegedHelperTools/com.tavlune.proxyhelper
field() { python3 -c 'import json,sys; v=json.load(sys.stdin)[sys.argv[1]]; print(v if isinstance(v, str) else json.dumps(v))' "$1"; }

# URL, exit address, where the enabled services point, the status's first line.
for entry in "http://[::1]:3131|127.0.1.8|web ::1:3131 user=, secure ::1:3131 user=, socks off" \
  "socks5://[::1]:1084|127.0.1.9|web off, secure off, socks ::1:1084 user="; do
  IFS='|' read -r url exit pointed <<<"$entry"
  check "$url: connect" "ok" "$(outcome connect "$url")"
  check "$url: services pointed at the bare address" "Ethernet: $pointed|USB 10/100/1000 LAN: $pointed|Wi-Fi: $pointed" \
    "$(live | grep -v 'off, secure off, socks off' | paste -sd'|')"
  check "$url: exit address" "$exit" "$(inside tavlune --json inspect | field ip)"
  status=$(inside tavlune status)
  check "$url: status names the proxy" "Connected through $url since" "$(head -1 <<<"$status" | cut -d' ' -f1-4)"
  check "$url: status names services and protection" \
    "  services: Wi-Fi, Ethernet, USB 10/100/1000 LAN|  WebRTC:   protection on" "$(sed -n '2,3p' <<<"$status" | paste -sd'|')"
  check "$url: status --json" '::1|["Wi-Fi", "Ethernet", "USB 10/100/1000 LAN"]|true' \
    "$(for k in host services webRtcProtection; do inside tavlune --json status | field $k; done | paste -sd'|')"
  check "$url: a second connect says Tavlune is connected" "tavlune: Tavlune itself is connected through $url since" \
    "$(inside tavlune connect http://127.0.0.1:3128 2>&1 | sed -n 2p | cut -d' ' -f1-8)"
  check "$url: disconnect" "ok" "$(outcome disconnect)"
  check "$url: seeded settings back" "" "$(diff <(echo "$seeded") <(view) || true)"
done

# Ctrl-C twice while the proxy is checked: the connect finishes, then is undone.
# The presses come once tavlune catches SIGINT, that is, once it waits for the answer.
interrupted=$(inside /bin/bash -c 'tavlune connect http://127.0.0.1:3128 2>&1 & pid=$!
  until ! kill -0 $pid 2>/dev/null || (( 0x$(sed -n "s/^SigCgt:\t//p" /proc/$pid/status) & 2 )); do sleep 0.05; done
  kill -INT $pid; sleep 0.2; kill -INT $pid; wait $pid; echo "status $?"')
check "Ctrl-C: said, then undone" \
  "tavlune: the connect goes on in TavluneDesktop; waiting for its outcome. Ctrl-C again: undo it once it is done.|tavlune: it will be undone (a disconnect) once it is done. Ctrl-C again: stop waiting.|Connected through http://127.0.0.1:3128; undoing it as asked.|Disconnected.|status 130" \
  "$(paste -sd'|' <<<"$interrupted")"
check "Ctrl-C: nothing left" "Not connected.||" "$(inside tavlune status)|$(records)|$(diff <(echo "$seeded") <(view) || true)"

check "webrtc while not connected" "1|tavlune: not connected, so nothing changed" \
  "$(inside tavlune webrtc on >/dev/null 2>&1 && echo 0 || echo 1)|$(inside tavlune webrtc on 2>&1 | cut -d: -f1-2 || true)"

check "helper: installed and answering" "Helper: installed and answering.|TavluneProxyHelper $(inside tavlune --version | cut -d' ' -f2)" \
  "$(inside tavlune helper | head -1)|$(inside tavlune helper | sed -n 's/.*: \(TavluneProxyHelper .*\)/\1/p')"
check "helper --json: the job's user" "0" "$(inside tavlune helper --json | python3 -c 'import json,sys; print(json.load(sys.stdin)["job"]["uid"])')"
inside pkill -STOP -f "^$helper"
check "helper --json: a stopped helper" "no answer within 1 s" \
  "$(inside tavlune helper --json --timeout 1 | python3 -c 'import json,sys; print(json.load(sys.stdin)["socket"]["problem"])')"
inside pkill -CONT -f "^$helper"
check "helper uninstall: refused while connected" "ok|refused|present" \
  "$(outcome connect http://127.0.0.1:3128)|$(inside tavlune helper uninstall >/dev/null 2>&1 && echo done || echo refused)|$(
    inside test -e $helper && echo present || echo absent)"
[ "$(cat "$TAVLUNE_SIM_STATE/run/mode")" = root ] && check "helper uninstall: refused to a user" "needs an administrator" \
  "$(inside setpriv --reuid 65534 --regid 65534 --clear-groups tavlune helper uninstall 2>&1 | grep -o 'needs an administrator')"
check "disconnected" "ok" "$(outcome disconnect)"
inside tavlune helper uninstall >/dev/null || fail "helper uninstall"
check "helper: all gone" "Helper: not installed.|absent|absent" \
  "$(inside tavlune helper | head -1)|$(inside test -e $helper && echo present || echo absent)|$(
    inside pgrep -f "^$helper" >/dev/null && echo present || echo absent)"

# "ask" while TavluneDesktop has no terminal: said, and nothing installed.
"$sim" set-approval ask >/dev/null
asked=$(inside tavlune connect http://127.0.0.1:3128 2>&1 || true)
check "ask without a terminal: said" "1" "$(grep -c 'has no terminal to ask on' <<<"$asked")"
check "ask without a terminal: nothing installed" "absent|" "$(inside test -e $helper && echo present || echo absent)|$(records)"
"$sim" set-approval approve
check "approved again: the helper comes back with the connect" "ok|ok" "$(outcome connect http://127.0.0.1:3128)|$(outcome disconnect)"

inside tavlune quit >/dev/null || fail "quit"
[ "$failures" -eq 0 ] || { echo "$failures failure(s)"; exit 1; }
echo "all passed"
