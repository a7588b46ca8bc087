# Faults for the programs in the simulated host, sourced after
# host_test_lib.sh: the helper restarted with switches in its environment
# (through launchd's stand-in), a networksetup run that fails, and the check
# that the machine is back as it was.
helper_program=/Library/PrivilegedHelperTools/com.tavlune.proxyhelper
helper_name=${helper_program##*/}  # the name its crash switch answers to
support="$TAVLUNE_SIM_STATE/root/Library/Application Support/Tavlune"
snapshot_copy="$TAVLUNE_SIM_STATE/root/Users/alex/Library/Application Support/Tavlune/proxy-snapshot.copy"
helper_pid() { inside pgrep -f "^$helper_program" || true; }
# Gone, or a zombie nobody has reaped yet.
ended() {
  local stat
  stat=$(inside ps -o stat= -p "$1" 2>/dev/null || true)
  [ -z "$stat" ] || [ "${stat:0:1}" = Z ]
}
# Waits up to SECONDS for the host's process PID to end.
ends_within() {  # SECONDS PID
  local until=$((SECONDS + $1))
  while [ "$SECONDS" -le "$until" ]; do ended "$2" && return 0; sleep 0.2; done
  return 1
}

# Restarts the helper with NAME=VALUE... in its environment: launchd's
# stand-in reads the host setting at the restart, which is taken away again
# as soon as the new helper runs, so that a helper it restarts later has none.
restart_helper() {
  local old new
  printf '%s\n' "$@" >"$TAVLUNE_SIM_STATE/settings/job-environment"
  old=$(helper_pid)
  [ -z "$old" ] || inside kill -KILL "$old"
  for _ in $(seq 100); do
    new=$(helper_pid)
    [ -n "$new" ] && [ "$new" != "$old" ] && break
    sleep 0.1
  done
  rm -f "$TAVLUNE_SIM_STATE/settings/job-environment"
  [ "$(ask ping)" = '{"ok":true,"version":2}' ] || fail "the helper did not come back after its restart"
  helper_at_start=$(helper_pid)
}
quit_desktop() {
  local pid
  pid=$(desktop_pid)
  [ -n "$pid" ] || return 0
  inside tavlune quit >/dev/null 2>&1 || true
  ends_within 30 "$pid" || fail "TavluneDesktop did not end after its quit"
}
# The next N networksetup runs succeed; the one after them fails.
fail_networksetup_after() { echo "$1" >"$TAVLUNE_SIM_STATE/settings/networksetup-failure"; }
networksetup_failure_pending() { [ -e "$TAVLUNE_SIM_STATE/settings/networksetup-failure" ]; }

# Waits up to SECONDS for the application's records, and the snapshot's
# second copy, to be gone.
records_gone_within() {
  local until=$((SECONDS + $1))
  while [ "$SECONDS" -le "$until" ]; do
    [ -z "$(records)" ] && [ ! -e "$snapshot_copy" ] && return 0
    sleep 0.2
  done
  return 1
}
# The machine as at the start: SETTINGS (a `view`), no records, Chrome's
# policy as POLICY holds it (absent: none), and no backup or marker of ours.
as_before() {  # LABEL SETTINGS [POLICY]
  check "$1: settings as before" "" "$(diff <(echo "$2") <(view) || true)"
  check "$1: no records" "" "$(records)"
  check "$1: no snapshot copy" absent "$([ -e "$snapshot_copy" ] && echo present || echo absent)"
  if [ -n "${3:-}" ]; then
    check "$1: administrator's policy byte for byte" same "$(cmp -s "$3" "$policy" && echo same || echo differs)"
  else
    check "$1: no policy file" absent "$([ -e "$policy" ] && echo present || echo absent)"
  fi
  check "$1: no backup or marker" "" "$(ls -A "$support" 2>/dev/null)"
}

# The machine as it is now, put back by put_back after a failed check so that
# one fault's damage does not spill into the next case.
save_machine() {
  saved=$TAVLUNE_SIM_STATE/saved
  rm -rf "$saved"
  mkdir -p "$saved"
  cp -p "$(dirname "$preferences")"/* "$saved/"
}
put_back() {  # [POLICY]
  local pid
  pid=$(desktop_pid)
  [ -z "$pid" ] || inside kill -KILL "$pid"
  [ -z "$pid" ] || ends_within 10 "$pid" || fail "TavluneDesktop survived SIGKILL"
  rm -f "$(dirname "$preferences")"/*
  cp -p "$saved"/* "$(dirname "$preferences")/"
  if [ -n "${1:-}" ]; then cp "$1" "$policy"; else rm -f "$policy"; fi
  rm -f "$support"/* "$snapshot_copy" "$TAVLUNE_SIM_STATE/settings/networksetup-failure"
  python3 -c 'import plistlib, sys
d = plistlib.load(open(sys.argv[1], "rb"))
d = {k: v for k, v in d.items() if not k.startswith("com.tavlune.macos.proxy-")}
plistlib.dump(d, open(sys.argv[1], "wb"), fmt=plistlib.FMT_BINARY)' \
    "$TAVLUNE_SIM_STATE/root/Users/alex/Library/Preferences/com.tavlune.desktop.plist"
  launch
}
