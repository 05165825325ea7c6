# shellcheck shell=bash disable=SC2034
# Shared by the benchmark scripts: tools, the built programs, and ratios.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bin=${BIN_DIR:-$root/build/bin}
for tool in hyperfine python3; do
  command -v "$tool" >/dev/null || { echo "$tool is needed: apt-get install $tool" >&2; exit 1; }
done
[ -x "$bin/note" ] || { echo "build the programs first: cmake --workflow --preset build" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Put in front of a program that holds or runs closing commands: instant
# sleeps and the recording stand-ins, as in the tests, for it alone.
stub="env LD_PRELOAD=$root/build/tests/libpreload.so CT_RECORD_LOG=/dev/null PATH=$root/tests/stand-ins:$PATH"
[ -e "$root/build/tests/libpreload.so" ] ||
  { echo "build the tests' preload library first: cmake --workflow --preset test" >&2; exit 1; }

# compare JSON RUNS NAME COMMAND NAME COMMAND: time two commands in one run.
compare() {
  local json=$1 runs=$2
  shift 2
  hyperfine --style none --warmup 3 --runs "$runs" --output pipe --export-json "$json" \
    -n "$1" "$2" -n "$3" "$4" >/dev/null 2>"$work/hyperfine.err" ||
    { cat "$work/hyperfine.err" >&2; exit 1; }
}

# median_ratio JSON: the median of hyperfine's first command over its second.
median_ratio() {
  python3 - "$1" <<'PY'
import json, sys
r = json.load(open(sys.argv[1]))["results"]
print(f"{r[0]['median'] / r[1]['median']:.2f}")
PY
}

# report NAME FIGURE TARGET: one row of the benchmark table.
report() {
  printf '%-44s %8s   %s\n' "$1" "$2" "$3"
}
