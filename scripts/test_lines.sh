#!/bin/sh
# Lines under tests/ against lines of product code, as the owner counts them:
# every tracked source and script line (blank lines and comments included);
# bench/, fuzz/, scripts/, docs/, cmake/, .ci/ and third_party/ on neither side.
cd "$(dirname "$0")/.." || exit 1
git ls-files | grep -E '\.(cc|h|cpp|hpp|mm|py|sh)$' |
  grep -vE '^(bench|fuzz|scripts|docs|cmake|\.ci|third_party)/' |
  while read -r f; do
    case $f in tests/*) side=tests ;; *) side=product ;; esac
    echo "$side $(wc -l <"$f")"
  done |
  awk '{s[$1] += $2} END {printf "tests %d, product %d: %.1f %%\n", s["tests"], s["product"], 100 * s["tests"] / s["product"]}'
