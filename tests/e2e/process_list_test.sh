#!/bin/bash
# A proxy password on the process list: while connects through the host's two
# proxies with a login run, another user reads every process's command line
# in /proc. curl and the helper's shell must be seen and must never show the
# password; networksetup is the one program allowed to, as it takes the
# password only as an argument (docs/process-list.md).
#   process_list_test.sh BUILD_DIR STATE_DIR
# Exits 77 (skipped) when the machine cannot make a sandbox, or the host has
# no second user id, except under CI.
set -euo pipefail

source "$(dirname "$(readlink -f "$0")")/host_test_lib.sh" "$1" "$2"
"$sim" start >/dev/null
if [ "$(cat "$TAVLUNE_SIM_STATE/run/mode")" != root ]; then
  [ "${CI:-}" = true ] && { echo "FAIL: the host has no second user id (user mode)"; exit 1; }
  echo "SKIP: the host has no second user id (user mode)"
  exit 77
fi
launch
password=proxy-secret

# Until /tmp/stop-watching exists: each process's command line seen once, as
# "program from parent" and whether it held the password (read on standard
# input, so that the watcher's own command line does not).
watcher='
import os, sys
secret = sys.stdin.readline().strip().encode()
def argv(pid):
    try:
        with open(f"/proc/{pid}/cmdline", "rb") as f:
            return f.read()
    except OSError:
        return b""
def name(command):
    return os.path.basename(command.split(b"\0")[0]).decode(errors="replace")
def parent(pid):
    try:
        with open(f"/proc/{pid}/stat") as f:
            return f.read().rsplit(")", 1)[1].split()[1]
    except (OSError, IndexError):
        return "0"
seen = {}
open("/tmp/watching", "w").close()
while not os.path.exists("/tmp/stop-watching"):
    for pid in os.listdir("/proc"):
        if not pid.isdigit() or int(pid) == os.getpid():
            continue
        command = argv(pid)
        # Keyed by the command line too: a child is first a copy of its parent, then what it executes.
        if command and (pid, command) not in seen:
            seen[pid, command] = (name(command) + " from " + name(argv(parent(pid))), secret in command)
counts = {}
for label, shown in seen.values():
    total, with_secret = counts.get(label, (0, 0))
    counts[label] = (total + 1, with_secret + shown)
for label, (total, with_secret) in sorted(counts.items()):
    print(f"{label}|{total}|{with_secret}")
'
report=$TAVLUNE_SIM_STATE/watched
echo "$password" | inside setpriv --reuid 65534 --regid 65534 --clear-groups python3 -c "$watcher" >"$report" &
watching=$!
for _ in $(seq 100); do [ -e "$TAVLUNE_SIM_STATE/root/tmp/watching" ] && break; sleep 0.1; done

for url in http://tavlune@127.0.0.1:3129 socks5://tavlune@127.0.0.1:1081; do
  check "$url: connect with the password on standard input" "ok" \
    "$(echo "$password" | outcome connect "$url" --password-stdin)"
  check "$url: disconnect" "ok" "$(outcome disconnect)"
done
touch "$TAVLUNE_SIM_STATE/root/tmp/stop-watching"
wait "$watching" || fail "the watcher failed"

seen() { awk -F'|' -v l="$1" '$1 == l { print ($2 > 0 ? "seen" : "not seen"); found = 1 } END { if (!found) print "not seen" }' "$report"; }
check "another user saw curl's command line" "seen" "$(seen "curl from TavluneDesktop")"
check "another user saw the helper's shell" "seen" "$(seen "bash from com.tavlune.proxyhelper")"
# networksetup may show it. The helper's shell starts it (and nothing else,
# by the helper's command test), so a child of a shell is networksetup before
# or after its exec; a shell may also exec the last one itself.
shown=$(awk -F'|' '$3 > 0 && $1 !~ /^networksetup from / && $1 !~ / from bash$/ { print $1 }' "$report" | paste -sd,)
check "the password in no command line but networksetup's" "" "$shown"
echo "watched: $(paste -sd' ' "$report")"

inside tavlune quit >/dev/null || fail "quit"
[ "$failures" -eq 0 ] || { echo "$failures failure(s)"; exit 1; }
echo "all passed"
