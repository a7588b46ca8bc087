#!/bin/bash
# The helper failing while it applies a command line, at each flow that hands
# one over (connect, disconnect, the take-over of gateway leftovers, the
# termination): killed right after running the line, answering an error after
# the line's first pieces were applied, and stopped right after running the
# line, so that only the application's deadline ends the wait. A stopped
# helper still takes connections: it is reported, never reinstalled, and once
# it is back (here killed, and restarted by launchd's stand-in) the take-back
# it held up completes. Every case ends with the seed's settings, nothing left
# behind and a working next connect.
#   faults_test.sh BUILD_DIR STATE_DIR
# Exits 77 (skipped) when the machine cannot make a sandbox, except under CI.
set -euo pipefail

here=$(dirname "$(readlink -f "$0")")
source "$here/host_test_lib.sh" "$1" "$2"
source "$here/fault_lib.sh"
"$sim" start >/dev/null
launch
seeded=$(view "$seed")
url=socks5://127.0.0.1:1080
check "first connect, which installs the helper" ok "$(outcome connect $url)"
check "first disconnect" ok "$(outcome disconnect)"
save_machine

# The termination bound for this host's take-back line (the seed's three
# services: 24 runs, here taken as 33): a quit must end within it, helper or not.
quit_bound=$((60 + 12 + 60 + 20 + 33 + 20))

# Each flow: its start, its action (printing its answer), the answer it must
# give under any of the faults, and what the user does next.
setup_connect() { :; }
act_connect() { outcome connect $url; }
setup_disconnect() { [ "$(outcome connect $url)" = ok ] || fail "$case: the connect before"; }
act_disconnect() { outcome disconnect; }
after_disconnect() { check "$case: disconnect again" ok "$(outcome disconnect)"; }
setup_takeover() {
  inside /usr/sbin/networksetup -setwebproxy Wi-Fi gw.tavlune.com 8080
  inside /usr/sbin/networksetup -setsecurewebproxy Ethernet GW.Tavlune.com 8443
}
act_takeover() { outcome connect $url; }
setup_termination() { setup_disconnect; }
act_termination() {
  local pid quitting started=$SECONDS
  pid=$(desktop_pid)
  inside tavlune quit >/dev/null 2>&1 &
  quitting=$!
  if ends_within "$quit_bound" "$pid"; then
    echo ended
  else
    echo "still running"
    inside kill -KILL "$pid"  # the next launch takes back what it left
  fi
  echo "  (the quit took $((SECONDS - started)) s)" >&2
  wait "$quitting" || true
}
after_termination() {
  launch
  records_gone_within 60 || fail "$case: the launch clean-up left records: $(records)"
}
declare -A answer=([connect]=PROXY_CONFIGURATION_FAILED [disconnect]=PROXY_CONFIGURATION_FAILED
  [takeover]=PROXY_CONFIGURATION_FAILED [termination]=ended)

# Each fault: how it is armed just before the action, and whether it struck.
# The helper's first crash point in each flow is its first command line.
arm_killed() { restart_helper "TAVLUNE_CRASH_AT=$helper_name:1"; }
struck_killed() { ended "$helper_at_start"; }
arm_failing() { fail_networksetup_after 7; }  # one whole service of a connect line
struck_failing() { ! networksetup_failure_pending; }
arm_hung() { restart_helper "TAVLUNE_CRASH_AT=$helper_name:1:stop"; }
# Stopped, never reinstalled over: still there after the flow.
struck_hung() { [ "$(inside ps -o stat= -p "$helper_at_start" | cut -c1)" = T ]; }
# Brought back as an administrator or a restart would; what the application
# could not take back meanwhile is owed, and taken back once the user looks.
recover_hung() {
  inside kill -KILL "$helper_at_start"
  for _ in $(seq 100); do [ "$(ask ping)" = '{"ok":true,"version":2}' ] && break; sleep 0.1; done
  [ -z "$(desktop_pid)" ] || inside tavlune status >/dev/null 2>&1 || true
  [ -z "$(desktop_pid)" ] || records_gone_within 60 || true
}

for fault in killed failing hung; do
  for flow in connect disconnect takeover termination; do
    case="$flow, helper $fault"
    started=$SECONDS failed=$failures
    "setup_$flow"
    "arm_$fault"
    check "$case: answer" "${answer[$flow]}" "$("act_$flow")"
    "struck_$fault" || fail "$case: the fault did not strike"
    ! declare -F "recover_$fault" >/dev/null || "recover_$fault"
    ! declare -F "after_$flow" >/dev/null || "after_$flow"
    # Gateway leftovers are not the user's: the next connect takes them over.
    [ "$flow" = takeover ] || as_before "$case" "$seeded"
    check "$case: next connect" ok "$(outcome connect $url)"
    check "$case: its disconnect" ok "$(outcome disconnect)"
    as_before "$case, then a connection" "$seeded"
    [ "$failures" = "$failed" ] || put_back
    echo "  ($case: $((SECONDS - started)) s)"
  done
done

inside tavlune quit >/dev/null || fail "quit"
[ "$failures" -eq 0 ] || { echo "$failures failure(s)"; exit 1; }
echo "all passed"
