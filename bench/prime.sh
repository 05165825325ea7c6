#!/usr/bin/env bash
# prime on its slowest 32-bit input, 2147483647 (a prime: every divisor up to
# its root is tried), against prime on 4 (settled at the first divisor).
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"

echo 2147483647 > "$work/largest"
echo 4 > "$work/four"
compare "$work/prime.json" 50 largest "$stub $bin/prime < $work/largest" four "$stub $bin/prime < $work/four"
report "prime 2147483647 / prime 4 (median time)" "$(median_ratio "$work/prime.json")" "<= 1.2"
