# The common start of a test that runs in the simulated host. Sourced with the
# build folder and the host's state folder; leaves the host reset, its stop on
# exit, and `sim`, `check`, `fail`, `inside`, `failures` defined, with the
# readers below (`view`, `live`, `records`), `more_to_lose` and the drivers (`launch`,
# `desktop_pid`, `outcome`, `ask`).
build=$(readlink -m "$1")
export TAVLUNE_SIM_BUILD=$build
export TAVLUNE_SIM_STATE=$(readlink -m "$2")
sim=$(readlink -f "$(dirname "${BASH_SOURCE[0]}")/../../sim/host/tavlune-sim")

if ! command -v bwrap >/dev/null || ! unshare --net true 2>/dev/null && ! unshare --user --net true 2>/dev/null; then
  [ "${CI:-}" = true ] && { echo "FAIL: no sandbox possible on this machine (bwrap, namespaces)"; exit 1; }
  echo "SKIP: no sandbox possible on this machine (bwrap, namespaces)"
  exit 77
fi

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
check() {  # DESCRIPTION EXPECTED ACTUAL
  if [ "$2" = "$3" ]; then echo "ok: $1"; else fail "$1: expected [$2], got [$3]"; fi
}
inside() { "$sim" run "$@"; }

"$sim" reset >/dev/null
trap '"$sim" stop >/dev/null 2>&1 || true' EXIT

# What the connect flows change, read from outside through the state folder.
e2e=$(dirname "$(readlink -f "${BASH_SOURCE[0]}")")
preferences=$TAVLUNE_SIM_STATE/root/Library/Preferences/SystemConfiguration/preferences.plist
seed=$TAVLUNE_SIM_STATE/settings/seed-preferences.plist
policy="$TAVLUNE_SIM_STATE/root/Library/Managed Preferences/com.google.Chrome.plist"
# Against the seed, which tells the kinds that had no server (the connect's host stays there).
view() { python3 "$e2e/proxy_settings.py" view "${1:-$preferences}" "$seed"; }
live() { python3 "$e2e/proxy_settings.py" live "${1:-$preferences}"; }
# The application's stored records, by the last part of their keys.
records() {
  python3 -c 'import plistlib, sys
try:
    keys = plistlib.load(open(sys.argv[1], "rb")).keys()
except FileNotFoundError:
    keys = []
print(" ".join(sorted(k.rsplit("-", 1)[-1] for k in keys if k.startswith("com.tavlune.macos.proxy-"))))' \
    "$TAVLUNE_SIM_STATE/root/Users/alex/Library/Preferences/com.tavlune.desktop.plist"
}
# A machine with more than the seed to lose: automatic configuration, discovery,
# a bypass list, and an administrator's Chrome policy with a choice of its own
# (its copy in $admin).
more_to_lose() {
  inside /usr/sbin/networksetup -setautoproxyurl Wi-Fi 'http://wpad.corp.example/proxy.pac'
  inside /usr/sbin/networksetup -setproxyautodiscovery Wi-Fi on
  inside /usr/sbin/networksetup -setproxybypassdomains 'USB 10/100/1000 LAN' '*.corp.example' 10.0.0.0/8
  admin=$TAVLUNE_SIM_STATE/admin-policy.plist
  printf '%s\n' '<?xml version="1.0" encoding="UTF-8"?>' '<plist version="1.0"><dict>' \
    '<key>WebRtcIPHandlingPolicy</key><string>default_public_interface_only</string>' \
    '<key>HomepageLocation</key><string>https://intranet.corp.example/</string>' '</dict></plist>' >"$admin"
  cp "$admin" "$policy"
}
# TavluneDesktop, started inside the host (with NAME=VALUE... in its
# environment); returns once it answers.
launch() {
  "$sim" open "$@" >/dev/null
  for _ in $(seq 100); do inside tavlune status >/dev/null 2>&1 && return 0; sleep 0.1; done
  fail "TavluneDesktop did not answer after its start"
}
desktop_pid() { inside pgrep -x TavluneDesktop || true; }
# "ok", or the error code of a tavlune command that failed (its hint and notes left out).
outcome() {
  local out
  if out=$(inside tavlune "$@" 2>&1); then
    echo ok
  else
    echo "$out" | grep -v '^tavlune: \(hint\|note\): ' | sed -n 's/^tavlune: [a-z]* failed: \([A-Z_]*\):.*/\1/p;t;p'
  fi
}

# The helper's reply line to one request, sent as the user SETPRIV makes (root without it).
ask() {  # COMMAND [SETPRIV ARGS...]; waits for the socket first
  local command=$1
  shift
  inside "$@" /usr/bin/python3 -c '
import json, socket, sys, time
for _ in range(100):
    try:
        s = socket.socket(socket.AF_UNIX); s.connect("/var/run/com.tavlune.proxyhelper.sock"); break
    except OSError:
        time.sleep(0.1)
reply = b""
try:
    s.sendall((json.dumps({"command": sys.argv[1]}) + "\n").encode())
    while not reply.endswith(b"\n"):
        piece = s.recv(4096)
        if not piece: break
        reply += piece
except OSError:
    pass
print(reply.decode().strip() or "(closed)")' "$command"
}
