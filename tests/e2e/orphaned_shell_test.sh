#!/bin/bash
# The helper killed while its shell runs a long connect line (64 services):
# the shell it leaves behind must not outlive the take-back. Within a minute
# the settings are back as they were, nothing is left stored or running, the
# status is honest and the next connect and disconnect work.
#   orphaned_shell_test.sh BUILD_DIR STATE_DIR
# Exits 77 (skipped) when the machine cannot make a sandbox, except under CI.
set -euo pipefail

here=$(dirname "$(readlink -f "$0")")
source "$here/host_test_lib.sh" "$1" "$2"
"$sim" start >/dev/null
inside /opt/tavlune/build/bench/many_services_preferences 64 /Library/Preferences/SystemConfiguration/preferences.plist
launch
before=$(view)
url=http://127.0.0.1:3128
check "connect, which installs the helper" ok "$(outcome connect $url)"
check "its disconnect" ok "$(outcome disconnect)"
check "settings as before" "" "$(diff <(echo "$before") <(view) || true)"

for round in 1 2; do
  label="round $round"
  inside tavlune connect $url >/dev/null 2>&1 &
  connecting=$!
  # The helper is killed 0.1 s after its shell appears, as the line runs.
  killed=$(inside /bin/bash -c '
    helper=$(pgrep -f "^/Library/PrivilegedHelperTools/com.tavlune.proxyhelper")
    for _ in $(seq 3000); do
      shell=$(pgrep -P "$helper" bash || true)
      [ -n "$shell" ] && break
      sleep 0.01
    done
    [ -n "$shell" ] || exit 1
    sleep 0.1
    kill -KILL "$helper"
    echo "$shell"')
  killed_at=$SECONDS
  wait "$connecting" || true
  until { [ -z "$(records)" ] && [ -z "$(diff <(echo "$before") <(view) || true)" ]; } ||
    [ $((SECONDS - killed_at)) -gt 60 ]; do sleep 0.5; done
  check "$label: settings as before within a minute of the kill" "" "$(diff <(echo "$before") <(view) | head -20 || true)"
  check "$label: no records" "" "$(records)"
  check "$label: the killed helper's shell has ended" "" "$(inside ps -o pid= -p "$killed" || true)"
  check "$label: status" "Not connected." "$(inside tavlune status 2>&1)"
  check "$label: next connect" ok "$(outcome connect $url)"
  check "$label: its disconnect" ok "$(outcome disconnect)"
  check "$label: then settings as before" "" "$(diff <(echo "$before") <(view) || true)"
done

inside tavlune quit >/dev/null || fail "quit"
[ "$failures" -eq 0 ] || { echo "$failures failure(s)"; exit 1; }
echo "all passed"
