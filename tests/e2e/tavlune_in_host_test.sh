#!/bin/bash
# tavlune as a person uses it, with the real programs: proxies at an IPv6
# address end to end, what status shows, Ctrl-C while a connect checks its
# proxy (cancelled) and once it applies (said, then undone), a check that
# changes nothing, what a killed TavluneDesktop leaves said, webrtc while
# nothing is connected, the helper's status and removal, and an approval
# that has no one to ask.
#   tavlune_in_host_test.sh BUILD_DIR STATE_DIR
# Exits 77 (skipped) when the machine cannot make a sandbox, except under CI.
set -euo pipefail

source "$(dirname "$(readlink -f "$0")")/host_test_lib.sh" "$1" "$2"
source "$(dirname "$(readlink -f "$0")")/fault_lib.sh"
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

# tavlune PID catches SIGINT, that is, it waits for an answer.
catching='until ! kill -0 $1 2>/dev/null || (( 0x$(sed -n "s/^SigCgt:\t//p" /proc/$1/status) & 2 )); do sleep 0.05; done'

# A proxy that takes connections and never answers: every probe would wait out
# curl's 12 s. Ctrl-C while a probe runs cancels the connect: it ends within a
# second, its curl killed, nothing changed and nothing recorded.
inside /bin/bash -c 'setsid python3 -c "
import socket
s = socket.socket(); s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1); s.bind((\"127.0.0.1\", 3199)); s.listen(64)
held = []
while True: held.append(s.accept()[0])" </dev/null >/dev/null 2>&1 &'
cancelled=$(inside /bin/bash -c "catching() { $catching; }"'
  tavlune connect socks5://127.0.0.1:3199 2>&1 & pid=$!
  catching $pid; until pgrep -x curl >/dev/null; do sleep 0.05; done
  kill -INT $pid; from=$(date +%s%N); wait $pid; status=$?
  echo "status $status, $(( ($(date +%s%N) - from) / 1000000 < 1000 ? 1 : 0 )) s, curl $(pgrep -x curl || echo gone)"')
check "Ctrl-C while the proxy is checked: cancelled within a second" \
  "tavlune: cancelling: the proxy was still being checked, so nothing has been pointed at it.|tavlune: connect cancelled while the proxy was being checked; nothing was pointed at it.|status 130, 1 s, curl gone" \
  "$(paste -sd'|' <<<"$cancelled")"
check "cancelled: nothing changed" "Not connected.||" "$(inside tavlune status)|$(records)|$(diff <(echo "$seeded") <(view) || true)"
# Meanwhile status shows it, a second connect says so at once, and disconnect cancels it.
elsewhere=$(inside /bin/bash -c 'tavlune connect socks5://127.0.0.1:3199 >/tmp/first 2>&1 & pid=$!
  until pgrep -x curl >/dev/null; do sleep 0.05; done
  tavlune status; tavlune connect http://127.0.0.1:3128 2>&1 | cut -d"(" -f1; tavlune disconnect --timeout 10
  for _ in $(seq 50); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done; kill -KILL $pid 2>/dev/null; cat /tmp/first')
check "a connect under way: status, a second connect, disconnect" \
  "Connecting through socks5://127.0.0.1:3199: checking the proxy, pass 1 of 5.|tavlune: another connect is under way |Nothing was connected: the connect under way was cancelled while its proxy was checked.|tavlune: connect failed: PROXY_VALIDATION_FAILED: The proxy check was cancelled.|tavlune: hint: it was cancelled while the proxy was being checked, before anything was changed" \
  "$(paste -sd'|' <<<"$elsewhere")"

# Once applying has begun (the helper held after running the connect line),
# Ctrl-C twice changes nothing until the connect is done, which is then undone.
restart_helper "TAVLUNE_CRASH_AT=$helper_name:1:stop"
interrupted=$(inside /bin/bash -c "catching() { $catching; }"'
  tavlune connect http://127.0.0.1:3128 2>&1 & pid=$!
  catching $pid; for _ in $(seq 200); do [ "$(ps -o stat= -p '"$helper_at_start"' | cut -c1)" = T ] && break; sleep 0.05; done
  tavlune --json status | python3 -c "import json,sys; print(json.load(sys.stdin)[\"connect\"][\"phase\"])"
  kill -INT $pid; sleep 0.5; kill -INT $pid; sleep 0.5; kill -CONT '"$helper_at_start"'; wait $pid; echo "status $?"')
check "Ctrl-C once applying: said, then undone" \
  "applying|tavlune: the connect goes on in TavluneDesktop; waiting for its outcome. Ctrl-C again: undo it once it is done.|tavlune: it will be undone (a disconnect) once it is done. Ctrl-C again: stop waiting.|Connected through http://127.0.0.1:3128; undoing it as asked.|Disconnected.|status 130" \
  "$(paste -sd'|' <<<"$interrupted")"
check "Ctrl-C once applying: nothing left" "Not connected.||" "$(inside tavlune status)|$(records)|$(diff <(echo "$seeded") <(view) || true)"

# A check changes nothing: the settings, the records and the helper, whose
# socket a listener takes over for it, noting each contact.
defaults=$TAVLUNE_SIM_STATE/root/Users/alex/Library/Preferences/com.tavlune.desktop.plist
before=$(cksum "$preferences" "$defaults" 2>&1)
helper_socket=/var/run/com.tavlune.proxyhelper.sock
listener=$(inside /bin/bash -c "mv $helper_socket $helper_socket.aside; setsid python3 -c \"
import socket, sys
s = socket.socket(socket.AF_UNIX); s.bind(sys.argv[1]); s.listen(8)
while True: c = s.accept()[0]; open(sys.argv[2], 'a').write('contact\\n'); c.close()\" $helper_socket /tmp/helper-contacts \
  </dev/null >/dev/null 2>&1 & echo \$!")
checked=$(inside tavlune check socks5://127.0.0.1:1080; echo "status $?")
check "check: what inspect shows" "IP address: 127.0.1.3|status 0" "$(sed -n '1p;$p' <<<"$checked" | paste -sd'|')"
refused=$(inside tavlune check http://127.0.0.1:9 2>&1; echo "status $?")
check "check of a proxy that refuses: the failure" "tavlune: check failed: PROXY_VALIDATION_FAILED: curl: (7)|status 1" \
  "$(sed -n '1p;$p' <<<"$refused" | cut -c1-57 | paste -sd'|')"
check "check: preferences, records and helper untouched" "$before|" \
  "$(cksum "$preferences" "$defaults" 2>&1)|$(inside cat /tmp/helper-contacts 2>/dev/null)"
inside /bin/bash -c "kill $listener; rm -f $helper_socket; mv $helper_socket.aside $helper_socket"

# TavluneDesktop killed while connected: every command says what it left and
# how to start it; started, it takes the settings back.
check "connect before the kill" ok "$(outcome connect http://127.0.0.1:3128)"
check "status --system: the settings in force" "Wi-Fi:|  web proxy:           on  127.0.0.1:3128" \
  "$(inside tavlune status --system | head -2 | paste -sd'|')"
killed=$(desktop_pid)
inside kill -KILL "$killed"
ends_within 10 "$killed" || fail "TavluneDesktop survived SIGKILL"
hint=$(inside tavlune status 2>&1; echo "status $?")
check "killed: status says what is left" "tavlune: TavluneDesktop is not running|tavlune: the system proxy still points at http://127.0.0.1:3128, which Tavlune connected on|tavlune: starting TavluneDesktop takes back what it left: open -a TavluneDesktop on a Mac|status 3" \
  "$(sed 's/ (no channel.*//; s/\(connected on\) .*/\1/; s/\(on a Mac\);.*/\1/' <<<"$hint" | paste -sd'|')"
launch
records_gone_within 30 || true
check "killed, started again: taken back" "Not connected.||" "$(inside tavlune status)|$(records)|$(diff <(echo "$seeded") <(view) || true)"

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
