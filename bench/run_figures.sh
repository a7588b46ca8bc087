#!/bin/bash
# The project's figures, measured in a simulated macOS host of their own:
#   1. a connect's own time (the connect less its designed pauses and curl),
#   2. the two state queries over the channel with 64 network services,
#   3. a command line through the helper against bash -c of the same line.
# Prints each figure beside its limit. A missed limit is reported, not an
# error; the exit status is non-zero only when something could not be measured.
#
#   bench/run_figures.sh [BUILD_DIR]          default build/
#
# Sizes: TAVLUNE_FIGURES_CYCLES (connects, 10), TAVLUNE_FIGURES_PAIRS (helper
# and bash runs, 200 each), TAVLUNE_FIGURES_CALLS (state queries, 5000 each).
set -euo pipefail

repo=$(cd "$(dirname "$(readlink -f "${BASH_SOURCE[0]}")")/.." && pwd)
build=$(readlink -m "${1:-$repo/build}")
cycles=${TAVLUNE_FIGURES_CYCLES:-10}
pairs=${TAVLUNE_FIGURES_PAIRS:-200}
calls=${TAVLUNE_FIGURES_CALLS:-5000}
proxy_host=127.0.0.1 proxy_port=3128 proxy_protocol=http

export TAVLUNE_SIM_BUILD=$build
export TAVLUNE_SIM_STATE=$build/figures-host
sim=$repo/sim/host/tavlune-sim
bench=/opt/tavlune/build/bench  # the build folder as the host mounts it

for program in TavluneDesktop.app/Contents/MacOS/TavluneDesktop cli/tavlune helperd/TavluneProxyHelper \
  sim/networksetup/networksetup sim/launchctl/launchctl sim/host/tavlune-sim-seed bench/connect_overhead \
  bench/helper_vs_bash bench/many_services_preferences bench/channel_call_latency bench/state_calls_in_process; do
  [ -x "$build/$program" ] || { echo "run_figures: $build/$program is missing: cmake --build $build" >&2; exit 1; }
done

host() { "$sim" run "$@"; }
section() { printf '\n== %s\n' "$*"; }
results=$(mktemp)
stop_host() {
  host tavlune quit >/dev/null 2>&1 || true
  "$sim" stop >/dev/null 2>&1 || true
  rm -f "$results"
}
# Every bench prints its detail, then "FIGURE" lines that the table gathers.
measure() { host "$@" | tee -a "$results" | grep -v '^FIGURE'; }

"$sim" reset >/dev/null
trap stop_host EXIT
"$sim" start
"$sim" set-approval approve >/dev/null
echo "machine: $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg); build $build"

section "1. A connect's own time ($proxy_protocol://$proxy_host:$proxy_port, seeded network preferences)"
measure "$bench/connect_overhead" "$cycles" "$proxy_host" "$proxy_port" "$proxy_protocol"

section "3. A command line through the helper against bash -c"
measure "$bench/helper_vs_bash" "$pairs"

section "2. State queries with 64 enabled network services"
host "$bench/many_services_preferences" 64 /Library/Preferences/SystemConfiguration/preferences.plist
"$sim" open >/dev/null
for _ in $(seq 50); do host tavlune status >/dev/null 2>&1 && break; sleep 0.2; done
started=$(date +%s%N)
host tavlune connect "$proxy_protocol://$proxy_host:$proxy_port" >/dev/null
echo "tavlune connect through TavluneDesktop, 64 services, from outside the host: $(( ($(date +%s%N) - started) / 1000000 )) ms"
measure "$bench/channel_call_latency" "$calls"
measure "$bench/state_calls_in_process" "$calls"
host tavlune disconnect >/dev/null

section "Figures"
{
  printf 'figure\tmeasured\tlimit\twithin\n'
  grep '^FIGURE' "$results" | cut -f2-
} | column -t -s $'\t'
