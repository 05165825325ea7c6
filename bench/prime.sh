#!/usr/bin/env bash
# prime on its slowest 32-bit input, 2147483647 (a prime: every divisor is
# tried), against prime on 4 (settled at the first divisor), in one hyperfine
# run. The 8-second hold is made instant and "pause" is the tests' stand-in,
# as in the tests, so what is left is the process and its trial division.
# Prints the ratio of the medians; the target is at most 1.2.
#
# Usage: bench/prime.sh [BUILD_DIR]   (default: build, from
# `cmake --workflow --preset build`)
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
target=1.2

if ! command -v hyperfine >/dev/null; then
    echo "hyperfine is needed: apt-get install hyperfine" >&2
    exit 2
fi
if ! command -v python3 >/dev/null; then
    echo "python3 is needed: apt-get install python3" >&2
    exit 2
fi
prime=$PWD/$build/bin/prime
record=$PWD/$build/tests/librecord.so
for file in "$prime" "$record"; do
    if [[ ! -e $file ]]; then
        echo "$file is missing: build first (cmake --workflow --preset build)" >&2
        exit 2
    fi
done

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
echo 2147483647 >"$scratch/largest"
echo 4 >"$scratch/four"

# Set in front of each command, so that only prime (and the shell it starts
# for "pause") sees them, not hyperfine.
stubs="LD_PRELOAD='$record' RECORD_LOG='$scratch/record.log' PATH='$PWD/tests/stand-ins:$PATH'"

hyperfine --warmup 5 --min-runs 50 --export-json "$scratch/times.json" \
    -n largest "$stubs '$prime' <'$scratch/largest'" \
    -n four "$stubs '$prime' <'$scratch/four'" >&2

python3 - "$scratch/times.json" "$target" <<'PY'
import json
import sys

results = {r["command"]: r["median"] for r in json.load(open(sys.argv[1]))["results"]}
ratio = results["largest"] / results["four"]
target = float(sys.argv[2])
print(f"prime 2147483647: median {results['largest'] * 1000:.2f} ms")
print(f"prime 4:          median {results['four'] * 1000:.2f} ms")
print(f"ratio of medians: {ratio:.3f} (target: at most {target})")
sys.exit(0 if ratio <= target else 1)
PY
