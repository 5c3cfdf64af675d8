#!/bin/sh
# Builds the Debian package from the build tree, unpacks it into a folder of
# its own (a name with a blank and an accent) and runs its kvrun from another
# folder: the library and its English messages must be found relative to
# kvrun, and the package must carry its page, its completion and its
# dependencies.
set -eu
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; fail "cpack"; }
deb=$(ls "$work"/out/*.deb)
[ "$(dpkg-deb --field "$deb" Architecture)" = i386 ] || fail "architecture"
depends=$(dpkg-deb --field "$deb" Depends)
case $depends in *libc6*) ;; *) fail "Depends lacks libc6: $depends" ;; esac
case $depends in *liblua5.4*) ;; *) fail "Depends lacks Lua: $depends" ;; esac

root="$work/unpacked here/é"
mkdir -p "$root" "$work/elsewhere"
dpkg-deb -x "$deb" "$root"
for f in usr/bin/kvrun usr/lib/kv140std/kv140std.so usr/lib/kv140std/kv140std.en.msg \
         usr/share/man/man1/kvrun.1.gz usr/share/bash-completion/completions/kvrun; do
  [ -f "$root/$f" ] || fail "$f missing from the package"
done
zcat "$root/usr/share/man/man1/kvrun.1.gz" | grep -q '^\.TH KVRUN 1' || fail "manual page"
grep -q 'complete .*kvrun' "$root/usr/share/bash-completion/completions/kvrun" || fail "completion"

cd "$work/elsewhere"
unset KV_LIBRARY || true
kvrun="$root/usr/bin/kvrun"
out=$("$kvrun" Phonétique Pharmacie) || fail "kvrun Phonétique Pharmacie: status $?"
[ "$out" = FARMASI ] || fail "Phonétique Pharmacie gave '$out'"
# The English message of an error, as the build tree's kvrun gives it.
status=0
packaged=$("$kvrun" --lang en TSL 400 0 0 2>&1) || status=$?
[ $status -eq 1 ] || fail "TSL 400 0 0: status $status"
expected=$("$build/bin/kvrun" --lang en TSL 400 0 0 2>&1) || true
french=$("$build/bin/kvrun" --lang fr TSL 400 0 0 2>&1) || true
[ "$packaged" = "$expected" ] || fail "message '$packaged', expected '$expected'"
[ "$packaged" != "$french" ] || fail "the English message file was not found"
echo "ok: $deb"
