#!/bin/bash
# A quit that arrives while a connect is still checking its proxy: the quit is
# answered at once, but the application keeps running until the connect has
# finished and answered, then takes back what it left and ends cleanly.
# Runs in the simulated macOS host, where a connect gets as far as the proxy
# checks; the front end is a client written from docs/channel.md.
#   quit_during_connect_test.sh BUILD_DIR STATE_DIR
# Exits 77 (skipped) when the machine cannot make a sandbox, except under CI.
set -euo pipefail

here=$(dirname "$(readlink -f "$0")")
source "$here/../e2e/host_test_lib.sh" "$1" "$2"
"$sim" start >/dev/null
cp "$here/channel_client.py" "$TAVLUNE_SIM_STATE/root/tmp/channel_client.py"

desktop=/Applications/TavluneDesktop.app/Contents/MacOS/TavluneDesktop
inside /bin/bash -c "$desktop </dev/null >/tmp/desktop.log 2>&1; echo \$? >/tmp/desktop.status" &
for _ in $(seq 100); do inside tavlune status >/dev/null 2>&1 && break; sleep 0.1; done
check "TavluneDesktop answers" "Not connected." "$(inside tavlune status 2>&1)"

# Nothing listens on port 9, so every validation pass fails after its pause:
# the connect holds the manager's queue for seconds. Both calls go on one
# connection, so the connect is queued before the quit is handled.
socket='/Users/alex/Library/Application Support/Tavlune/channel.sock'
replies=$(inside /usr/bin/python3 /tmp/channel_client.py "$socket" \
  com.tavlune.app/vpn connectProxy host=127.0.0.1 port=9 protocol=http -- com.tavlune.app/window quit)
check "quit answered at once, the connect's own answer before the end" \
  "quit: success true|connectProxy: error PROXY_VALIDATION_FAILED|closed" \
  "$(echo "$replies" | sed 's/^\(connectProxy: error [A-Z_]*\) .*/\1/' | paste -sd'|')"

for _ in $(seq 100); do inside test -e /tmp/desktop.status && break; sleep 0.1; done
check "TavluneDesktop ended cleanly" "0" "$(inside cat /tmp/desktop.status 2>&1)"
check "nothing on its standard error" "" "$(inside cat /tmp/desktop.log 2>&1)"
check "its socket is gone" "gone" "$(inside test -e "$socket" && echo there || echo gone)"
check "the connect left no records" "" \
  "$(inside bash -c 'strings /Users/alex/Library/Preferences/com.tavlune.desktop.plist 2>/dev/null | grep -o "proxy-[a-z]*" || true')"

[ "$failures" -eq 0 ] && echo "PASS" || { echo "$failures failure(s)"; exit 1; }
