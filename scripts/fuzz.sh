#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for the given number
# of seconds (default 60). Findings land in fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"

scripts/setup.sh
cmake -S . -B build-fuzz -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DTAVLUNE_FUZZ=ON -DTAVLUNE_WERROR=ON
targets=(channel_codec_fuzzer plist_parse_fuzzer json_parse_fuzzer helper_request_fuzzer helper_command_lines_fuzzer)
cmake --build build-fuzz -j "$(nproc)" --target "${targets[@]}"
mkdir -p fuzz/artifacts
for target in "${targets[@]}"; do
  corpus="build-fuzz/corpus/$target"
  mkdir -p "$corpus"
  case "$target" in
    plist_parse_fuzzer) seeds=fuzz/seeds/plist ;;
    *) seeds="fuzz/seeds/${target%_fuzzer}" ;;
  esac
  [ -d "$seeds" ] || seeds=""
  dictionary=""
  [[ "$target" == helper_* && -f fuzz/helper.dict ]] && dictionary="-dict=fuzz/helper.dict"
  echo "== $target ($seconds s)"
  "build-fuzz/fuzz/$target" -max_total_time="$seconds" -artifact_prefix=fuzz/artifacts/ \
    -print_final_stats=1 $dictionary "$corpus" $seeds 2>&1 | grep -E '^(#[0-9]+ +DONE|stat::number_of_executed_units|stat::peak_rss|==.*ERROR|SUMMARY)' || true
  # libFuzzer exits non-zero on a finding; the artifact shows it.
  if ls fuzz/artifacts/ 2>/dev/null | grep -q .; then echo "findings in fuzz/artifacts/"; exit 1; fi
done
