#!/usr/bin/env bash
# mirrorword and pal on one huge word against tr on the same file: time,
# growth and peak memory. With --growth, only the growth, read from the file
# and through a pipe, which fails above a generous bound (and a run after 20
# seconds): CI runs that, so that a read loop whose cost grows with the
# square of the word fails without a timed test.
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"

word() { # word FILE MEGABYTES: one word, no whitespace, no line end
  python3 - "$1" "$2" <<'PY'
import sys
chunk = bytes(range(33, 127)) * 11155  # printable, no blanks: about 1 MB
with open(sys.argv[1], "wb") as f:
    for _ in range(int(sys.argv[2])):
        f.write(chunk[:1 << 20])
PY
}
word "$work/word10" 10
word "$work/word100" 100

growth_only=$([ "${1-}" = --growth ] && echo 1 || true)
mirror="timeout 20 $stub $bin/mirrorword"
# The 10 MB run is mostly the start of the process and of the shell for
# "pause", so the figure stays below 10 while the growth is linear. Through a
# pipe, as "cat word | mirrorword" feeds it, each read takes at most what the
# pipe holds (64 KiB): a loop that goes over the word so far at every read
# shows there, not on the file, which a read takes in large pieces.
compare "$work/growth.json" 5 100MB "$mirror < $work/word100" 10MB "$mirror < $work/word10"
compare "$work/piped.json" 5 100MB "cat $work/word100 | $mirror" 10MB "cat $work/word10 | $mirror"
growth="<= 10 (linear at most)"
if [ -n "$growth_only" ]; then
  growth="<= 25, or fails"
fi
report "mirrorword 100 MB / 10 MB word (median time)" "$(median_ratio "$work/growth.json")" "$growth"
report "the same through a pipe" "$(median_ratio "$work/piped.json")" "$growth"
if [ -n "$growth_only" ]; then
  compared=0
  for json in growth piped; do
    python3 -c "import sys; sys.exit($(median_ratio "$work/$json.json") > 25)" ||
      { echo "mirrorword's time grows faster than its word" >&2; exit 1; }
    compared=$((compared + 1))
  done
  # A check that compared nothing has checked nothing.
  [ "$compared" = 2 ] || { echo "the growth check compared $compared of 2 runs" >&2; exit 1; }
  echo "growth: $compared of 2 comparisons within the bound"
  exit 0
fi
[ "${1-}" != --growth ] || { echo "--growth was asked for, and no growth check ran" >&2; exit 1; }

# tr reads and writes the file once, in small pieces: the speed of the disk.
tr="tr a-z A-Z < $work/word100"
compare "$work/mirror.json" 10 mirrorword "$stub $bin/mirrorword < $work/word100" tr "$tr"
compare "$work/pal.json" 10 pal "$stub $bin/pal < $work/word100" tr "$tr"

# peak PROGRAM: the program's peak resident memory on the 100 MB word, in KiB.
peak() {
  $stub /usr/bin/time -f %M -o "$work/peak" "$bin/$1" < "$work/word100" > /dev/null
  cat "$work/peak"
}
word_kib=$((100 * 1024))

report "mirrorword 100 MB word / tr (median time)" "$(median_ratio "$work/mirror.json")" "<= 5 (aim 3)"
report "pal 100 MB word / tr (median time)" "$(median_ratio "$work/pal.json")" "<= 5 (aim 3)"
# The word and its reversed copy, and no third copy while the word grows.
for p in mirrorword pal; do
  report "$p peak memory / 100 MB word" "$(python3 -c "print(f'{$(peak $p) / $word_kib:.2f}')")" "<= 2.1"
done
