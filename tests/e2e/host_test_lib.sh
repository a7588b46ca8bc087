# The common start of a test that runs in the simulated host. Sourced with the
# build folder and the host's state folder; leaves `sim`, `check`, `fail`,
# `inside` and `failures` defined, the host reset, and its stop on exit.
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
