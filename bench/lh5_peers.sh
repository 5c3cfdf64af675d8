#!/usr/bin/env bash
# File compaction ("-lh5-") against its peers, as whole processes on the
# same 64 MiB text in one run:
#   expanding   kvrun fDécompacte  against  lhasa p of a jlha -lh5- archive of the text
#   compacting  kvrun fCompacte    against  gzip -6
#   size        our compacted file against the jlha archive (gzip's for information)
# Three rounds, the commands one after the other in each (so that a change
# of load on the machine touches them alike); the median of each, as wall
# time and as processor time (user + system, steadier on a busy machine).
#
#   bench/lh5_peers.sh BUILD_BIN_DIR [TEXT_FILE]
# Without TEXT_FILE the text is made (once) in the build directory: the
# licence texts of /usr/share/common-licenses (package base-files, on every
# Debian machine), each file once in name order (links skipped), repeated
# and cut at 64 MiB. The jlha archive of the text is made once beside it.
set -euo pipefail
bin=${1:?usage: lh5_peers.sh BUILD_BIN_DIR [TEXT_FILE]}
kvrun=$bin/kvrun
for c in lhasa jlha gzip; do
  command -v $c >/dev/null || { echo "lh5_peers: $c is missing (packages lhasa, jlha-utils, gzip)" >&2; exit 1; }
done
texte=${2:-$bin/../lh5_texte_64m.txt}
if [[ ! -f $texte ]]; then
  corpus=$(mktemp)
  (cd /usr/share/common-licenses && for f in $(LC_ALL=C ls); do [[ -L $f ]] || cat "$f"; done) > "$corpus"
  : > "$texte.tmp"
  while (($(stat -c %s "$texte.tmp") < 64 << 20)); do cat "$corpus" >> "$texte.tmp"; done
  truncate -s $((64 << 20)) "$texte.tmp"
  mv "$texte.tmp" "$texte"
  rm -f "$corpus"
fi
archive=$texte.jlha.lzh
if [[ ! -f $archive || $archive -ot $texte ]]; then
  rm -f "$archive"
  (cd "$(dirname "$texte")" && jlha co5q "$(basename "$archive")" "$(basename "$texte")" >/dev/null)
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$texte" "$work/t"

# One timed command: appends "wall cpu" (seconds) to the file named $1.
mesure() {
  local f=$1 TIMEFORMAT='%3R %3U %3S' r
  shift
  r=$({ time "$@" >/dev/null 2>&1; } 2>&1) || { echo "lh5_peers: failed: $*" >&2; exit 1; }
  awk '{ printf "%s %.3f\n", $1, $2 + $3 }' <<<"$r" >> "$f"
}
# A library call through kvrun must print the result code 0.
kv() {
  local r
  r=$("$kvrun" "$@" 2>/dev/null) && [[ $r == 0 ]] || { echo "lh5_peers: kvrun $* gave '$r'" >&2; return 1; }
}

kv fCompacte "$work/t" "$work/t.kvc"  # the file expanded in every round
for round in 1 2 3; do
  mesure "$work/m.kd" kv fDécompacte "$work/t.kvc" "$work/t.kd"
  mesure "$work/m.lh" sh -c "lhasa pq '$archive' > '$work/t.lh'"
  mesure "$work/m.kc" kv fCompacte "$work/t" "$work/t.kvc2"
  mesure "$work/m.gz" sh -c "gzip -6 -c '$work/t' > '$work/t.gz'"
done
cmp -s "$work/t" "$work/t.kd" || { echo "lh5_peers: fDécompacte did not give the text back" >&2; exit 1; }
cmp -s "$work/t" "$work/t.lh" || { echo "lh5_peers: lhasa did not give the text back" >&2; exit 1; }
cmp -s "$work/t.kvc" "$work/t.kvc2" || { echo "lh5_peers: two compactions of the text differ" >&2; exit 1; }

mediane() { sort -n -k"$2" "$1" | sed -n 2p | awk -v k="$2" '{ print $k }'; }
n=$(stat -c %s "$work/t")
awk -v n="$n" \
  -v kd="$(mediane "$work/m.kd" 1)" -v kdc="$(mediane "$work/m.kd" 2)" \
  -v lh="$(mediane "$work/m.lh" 1)" -v lhc="$(mediane "$work/m.lh" 2)" \
  -v kc="$(mediane "$work/m.kc" 1)" -v kcc="$(mediane "$work/m.kc" 2)" \
  -v gz="$(mediane "$work/m.gz" 1)" -v gzc="$(mediane "$work/m.gz" 2)" \
  -v skv="$(stat -c %s "$work/t.kvc")" -v sjl="$(stat -c %s "$archive")" -v sgz="$(stat -c %s "$work/t.gz")" 'BEGIN {
  printf "-lh5- against its peers on %d bytes of text (medians of 3 whole-process times: wall, and processor user+system)\n", n
  printf "  expand   lhasa p (jlha archive) %7.3f s (cpu %6.3f)   kvrun fDécompacte %7.3f s (cpu %6.3f)   lhasa/kvrun %.2f (target >= 3), cpu %.2f\n", lh, lhc, kd, kdc, lh / kd, lhc / kdc
  printf "  compact  gzip -6                %7.3f s (cpu %6.3f)   kvrun fCompacte   %7.3f s (cpu %6.3f)   gzip/kvrun  %.2f (target >= 1.3), cpu %.2f\n", gz, gzc, kc, kcc, gz / kc, gzc / kcc
  printf "  size     kvrun fCompacte %d B   jlha -lh5- archive %d B   kvrun/jlha %.4f (target <= 1)   gzip -6 %d B (for information)\n", skv, sjl, skv / sjl, sgz
}'
