#!/usr/bin/env bash
# Installs into a temporary prefix and checks that every program, manual page
# and desktop entry is there and well formed; then builds the Debian package
# and checks that it holds the same files and depends on what it should.
# Usage: install_test.sh BUILD_DIR NOTEPAD_PATH NAME:SECTION...
set -euo pipefail
build=$1 notepad=$2
shift 2

tmp=$(mktemp -d)
# Installing and packaging rewrite the build tree's install manifest: keep the
# one that was there (a real install's) and put it back.
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
expected=()
for row in "$@"; do
  p=${row%:*} section=${row#*:}
  programs+=("$p")
  expected+=("usr/bin/$p" "usr/share/man/man$section/$p.$section"
             "usr/share/applications/consoletools-$p.desktop")
done
printf '%s\n' "${expected[@]}" | sort > "$tmp/expected"

# The install, at the package's own prefix so the two lists compare as they are.
root=$tmp/root
DESTDIR=$root cmake --install "$build" --prefix /usr > "$tmp/install.log" ||
  { cat "$tmp/install.log"; exit 1; }
(cd "$root" && find . ! -type d | sed 's|^\./||' | sort) > "$tmp/installed"
diff -u "$tmp/expected" "$tmp/installed" || fail "installed files differ from the list above"

for p in "${programs[@]}"; do
  [[ -x $root/usr/bin/$p ]] || fail "$p is not an executable"

  entry=$root/usr/share/applications/consoletools-$p.desktop
  if [[ -f $entry ]]; then
    out=$(desktop-file-validate "$entry" 2>&1) || true
    [[ -z $out ]] || fail "desktop-file-validate $p: $out"
    grep -qx "Exec=$p" "$entry" || fail "$p's entry does not start $p"
    grep -qx 'Terminal=true' "$entry" || fail "$p's entry does not start a terminal"
  fi
done

for page in "$root"/usr/share/man/man?/*; do
  out=$(mandoc -T lint "$page" 2>&1) || true
  [[ -z $out ]] || fail "mandoc: $out"
  out=$(groff -ww -man -z "$page" 2>&1) || true
  [[ -z $out ]] || fail "groff on ${page##*/}: $out"
  for heading in NAME SYNOPSIS DESCRIPTION 'EXIT STATUS' FILES EXAMPLES; do
    grep -qx "\.SH \"\?$heading\"\?" "$page" || fail "${page##*/} has no $heading section"
  done
done
# note's page names the notepad file this build compiled in.
[[ -f $root/usr/share/man/man1/note.1 ]] &&
  { mandoc -T ascii "$root/usr/share/man/man1/note.1" | sed 's/.\x08//g' | grep -F "$notepad" > /dev/null ||
    fail "note.1 does not show $notepad"; }

# The package, built into the temporary folder alone.
cpack --config "$build/CPackConfig.cmake" -B "$tmp/package" > "$tmp/cpack.log" 2>&1 ||
  { cat "$tmp/cpack.log"; exit 1; }
debs=("$tmp"/package/*.deb)
[[ ${#debs[@]} == 1 && -f ${debs[0]} ]] || { fail "cpack made no single .deb"; exit 1; }
dpkg-deb --contents "${debs[0]}" | awk '$1 !~ /^d/ { sub(/^\.\//, "", $6); print $6 }' |
  sort > "$tmp/packaged"
diff -u "$tmp/installed" "$tmp/packaged" || fail "the package's files differ from the install's"

depends=$(dpkg-deb --field "${debs[0]}" Depends)
for lib in libc6 libstdc++6 libgcc-s1; do
  grep -qE "(^|, )${lib//+/\\+}( |,|$)" <<< "$depends" || fail "Depends lacks $lib: $depends"
done
[[ $(dpkg-deb --field "${debs[0]}" Recommends) == wmctrl ]] || fail "wmctrl is not recommended"

if ((failures)); then
  echo "$failures check(s) failed"
  exit 1
fi
echo "installed and packaged: ${#expected[@]} files"
