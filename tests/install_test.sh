#!/usr/bin/env bash
# Installs into a temporary folder and checks that every program, manual page
# and desktop entry is there and well formed.
# Usage: install_test.sh BUILD_DIR PREFIX GAMESDIR NOTEPAD_PATH NAME:SECTION...
# (the build's install prefix, and its games folder relative to it).
set -euo pipefail
build=$1 prefix=$2 games=$3 notepad=$4
shift 4

tmp=$(mktemp -d)
# Installing rewrites the build tree's install manifest: keep the one that was
# there (a real install's) and put it back.
manifest=$build/install_manifest.txt
[[ -f $manifest ]] && cp -p "$manifest" "$tmp/manifest"
restore() {
  if [[ -f $tmp/manifest ]]; then cp -p "$tmp/manifest" "$manifest"; else rm -f "$manifest"; fi
  rm -rf "$tmp"
}
trap restore EXIT
trap 'exit 1' HUP INT TERM
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

programs=()
declare -A folder_of exec_of
files=()
for row in "$@"; do
  IFS=: read -r p section <<< "$row"
  programs+=("$p")
  # A launcher starts a program by name from bin/, by its full path from
  # another folder.
  if [[ $section == 6 && $games != bin ]]; then
    folder_of[$p]=$games exec_of[$p]=$prefix/$games/$p
  else
    folder_of[$p]=bin exec_of[$p]=$p
  fi
  files+=("${folder_of[$p]}/$p" "share/man/man$section/$p.$section"
          "share/applications/consoletools-$p.desktop"
          "share/icons/hicolor/scalable/apps/consoletools-$p.svg")
done
# note ends as soon as it has answered: its launcher keeps the window open
# until Enter, so that the answer can be read.
exec_of[note]="sh -c \"note; echo 'Press Enter to close this window.'; read line\""
files+=(share/doc/consoletools/copyright share/metainfo/org.example.consoletools.metainfo.xml)
printf '%s\n' "${files[@]}" | sort > "$tmp/expected"

# The install, at the build's prefix.
root=$tmp/root
DESTDIR=$root cmake --install "$build" > "$tmp/install.log" || { cat "$tmp/install.log"; exit 1; }
root=$root$prefix
(cd "$root" && find . ! -type d | sed 's|^\./||' | sort) > "$tmp/installed"
diff -u "$tmp/expected" "$tmp/installed" || fail "installed files differ from the list above"

# check_entry FILE NAME COMMAND: a valid launcher of NAME whose command line
# is COMMAND, in a terminal, with NAME's icon.
check_entry() {
  local out
  out=$(desktop-file-validate "$1" 2>&1) || true
  [[ -z $out ]] || fail "desktop-file-validate $2: $out"
  grep -qxF "Exec=$3" "$1" || fail "$2's entry does not start: $3"
  grep -qx 'Terminal=true' "$1" || fail "$2's entry does not start a terminal"
  grep -qx "Icon=consoletools-$2" "$1" || fail "$2's entry does not show its icon"
}
for p in "${programs[@]}"; do
  [[ -x $root/${folder_of[$p]}/$p ]] || fail "$p is not an executable"
  entry=$root/share/applications/consoletools-$p.desktop
  [[ -f $entry ]] && check_entry "$entry" "$p" "${exec_of[$p]}"
done

for page in "$root"/share/man/man?/*; do
  out=$(mandoc -T lint "$page" 2>&1) || true
  [[ -z $out ]] || fail "mandoc: $out"
  out=$(groff -ww -man -z "$page" 2>&1) || true
  [[ -z $out ]] || fail "groff on ${page##*/}: $out"
  for heading in NAME SYNOPSIS DESCRIPTION 'EXIT STATUS' FILES EXAMPLES; do
    grep -qx "\.SH \"\?$heading\"\?" "$page" || fail "${page##*/} has no $heading section"
  done
done
# note's page names the notepad file this build compiled in.
note_page=$root/share/man/man1/note.1
[[ -f $note_page ]] &&
  { mandoc -T ascii "$note_page" | sed 's/.\x08//g' | grep -F "$notepad" > /dev/null ||
    fail "note.1 does not show $notepad"; }

# The metadata, valid for appstream 0.16 (bookworm) and 1.x (trixie and
# later), but for 1.x's warning that it names no homepage: the programs have
# none.
for metainfo in "$root"/share/metainfo/*; do
  out=$("$(dirname "$0")/../packaging/validate-metainfo" "$metainfo") || (($? == 2)) ||
    fail "appstreamcli validate ${metainfo##*/}: $out"
  # The programs it says the package provides are the ones installed.
  diff -u <(sed -n 's|^ *<binary>\(.*\)</binary>$|\1|p' "$metainfo" | sort) \
    <(cd "$root" && find bin "$games" -maxdepth 1 -type f -perm -u+x -printf '%f\n' | sort -u) ||
    fail "${metainfo##*/} does not provide the programs installed"
done

if ((failures)); then
  echo "$failures check(s) failed"
  exit 1
fi
echo "installed: $(wc -l < "$tmp/installed") files"
