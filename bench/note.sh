#!/usr/bin/env bash
# note showing an 80 MB, 2-million-line file into a pipe, against cat.
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"

python3 - "$work/big.txt" <<'PY'
import sys
with open(sys.argv[1], "w") as f:
    for i in range(2_000_000):
        f.write(f"line {i:09d} of the benchmark file, some text\n"[:39] + "\n")
PY
printf '2\n%s\n' "$work/big.txt" > "$work/answers"

compare "$work/note.json" 10 note "$bin/note < $work/answers" cat "cat $work/big.txt"
report "note listing 80 MB / cat (median time)" "$(median_ratio "$work/note.json")" "<= 2.5"
