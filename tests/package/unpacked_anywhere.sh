#!/bin/sh
# Builds the edition's two Debian packages from the build tree and checks
# their fields and contents: kv140std (the library, Multi-Arch: same, only
# under the edition's multiarch folder plus its copyright file) and kvrun
# (depending on that library of the same version). Then unpacks both into a
# folder of its own (a name with a blank and an accent) and runs kvrun from
# another folder: the library and its English messages must be found relative
# to kvrun.
#   unpacked_anywhere.sh BUILD_DIR DEB_ARCH TRIPLET VERSION
set -eu
build=$1 arch=$2 triplet=$3 version=$4
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; fail "cpack"; }
lib="$work/out/kv140std_${version}_$arch.deb"
run="$work/out/kvrun_${version}_$arch.deb"
[ -f "$lib" ] && [ -f "$run" ] || fail "cpack made: $(ls "$work/out")"
[ "$(ls "$work"/out/*.deb | wc -l)" -eq 2 ] || fail "cpack made more than two packages: $(ls "$work/out")"

field() { dpkg-deb --field "$1" "$2"; }
for deb in "$lib" "$run"; do
  [ "$(field "$deb" Architecture)" = "$arch" ] || fail "$deb: Architecture $(field "$deb" Architecture)"
  [ "$(field "$deb" Version)" = "$version" ] || fail "$deb: Version $(field "$deb" Version)"
done
[ "$(field "$lib" Package)" = kv140std ] || fail "library package name"
[ "$(field "$run" Package)" = kvrun ] || fail "kvrun package name"
[ "$(field "$lib" Multi-Arch)" = same ] || fail "kv140std: Multi-Arch '$(field "$lib" Multi-Arch)'"
case $(field "$run" Multi-Arch) in "" | no) ;; *) fail "kvrun: Multi-Arch '$(field "$run" Multi-Arch)'" ;; esac
# The library carries the C++ runtime inside: libc6 is its only dependency.
depends=$(field "$lib" Depends)
case $depends in libc6*) ;; *) fail "kv140std: Depends '$depends'" ;; esac
case $depends in *,*) fail "kv140std depends on more than libc6: '$depends'" ;; esac
depends=$(field "$run" Depends)
case $depends in "kv140std (= $version),"*) ;; *) fail "kvrun: Depends lacks kv140std (= $version) first: '$depends'" ;; esac
case $depends in *libc6*) ;; *) fail "kvrun: Depends lacks libc6: '$depends'" ;; esac
case $depends in *liblua5.4*) ;; *) fail "kvrun: Depends lacks Lua: '$depends'" ;; esac

# Multi-Arch: same packages of two architectures may share only identical
# files: kv140std holds its own architecture's folder, and one file outside
# it, the copyright file taken unchanged from the source tree.
dpkg-deb --fsys-tarfile "$lib" | tar -t | grep -v '/$' >"$work/lib.list"
unexpected=$(grep -v -e "^\./usr/lib/$triplet/kv140std/" -e '^\./usr/share/doc/kv140std/copyright$' "$work/lib.list" || true)
[ -z "$unexpected" ] || fail "kv140std holds files outside lib/$triplet/kv140std/: $unexpected"
dpkg-deb --fsys-tarfile "$lib" | tar -xO ./usr/share/doc/kv140std/copyright | cmp -s - "$source_dir/cmake/deb/copyright" ||
  fail "kv140std's copyright file differs from cmake/deb/copyright"

root="$work/unpacked here/é"
mkdir -p "$root" "$work/elsewhere"
dpkg-deb -x "$lib" "$root"
dpkg-deb -x "$run" "$root"
for f in usr/bin/kvrun "usr/lib/$triplet/kv140std/kv140std.so" "usr/lib/$triplet/kv140std/kv140std.en.msg" \
         usr/share/man/man1/kvrun.1.gz usr/share/bash-completion/completions/kvrun usr/share/doc/kvrun/copyright; do
  [ -f "$root/$f" ] || fail "$f missing from the packages"
done
zcat "$root/usr/share/man/man1/kvrun.1.gz" | grep -q '^\.TH KVRUN 1' || fail "manual page"
zcat "$root/usr/share/man/man1/kvrun.1.gz" | grep -qF "/usr/lib/$triplet/kv140std/kv140std.so" || fail "the manual page names another library folder"
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
echo "ok: $(basename "$lib") $(basename "$run")"
