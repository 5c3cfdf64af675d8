#!/usr/bin/env bash
# ZLW against compress -b16 / uncompress (ncompress, 16-bit LZW too), as
# whole processes on the same 64 MiB text in one run: compressed sizes,
# best-of-three wall times (rounds alternating the four commands) and their
# ratios, and the peak heap of Compresse.
#
#   bench/zlw_peers.sh BUILD_BIN_DIR [TEXT_FILE]
# Without TEXT_FILE a 64 MiB English-like text is made (once) in the build
# directory.
set -euo pipefail
bin=${1:?usage: zlw_peers.sh BUILD_BIN_DIR [TEXT_FILE]}
outil=$bin/zlw_fichier
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
texte=${2:-$bin/../zlw_texte_64m.txt}
[[ -f $texte ]] || "$outil" texte "$texte" 64
command -v compress >/dev/null || { echo "zlw_peers: compress (ncompress) is missing" >&2; exit 1; }

# wall time of a command, in microseconds
temps() {
  local t0 t1
  t0=$(date +%s%N)
  "$@"
  t1=$(date +%s%N)
  echo $(( (t1 - t0) / 1000 ))
}

taille() { stat -c %s "$1"; }
secondes() { printf '%d.%06d' $(($1 / 1000000)) $(($1 % 1000000)); }

# Three rounds, the four commands one after the other in each (so that a
# change of load on the machine touches them alike); the best time of each.
cp "$texte" "$work/t"
declare -A best=()
for round in 1 2 3; do
  for k in c u zc zd; do
    case $k in
      c) t=$(temps sh -c "compress -b16 -c '$work/t' > '$work/t.Z'") ;;
      u) t=$(temps sh -c "uncompress -c '$work/t.Z' > '$work/t.u'") ;;
      zc) t=$(temps "$outil" compresse "$work/t" "$work/t.zlw") ;;
      zd) t=$(temps "$outil" decompresse "$work/t.zlw" "$work/t.back") ;;
    esac
    [[ -z ${best[$k]:-} || $t -lt ${best[$k]} ]] && best[$k]=$t
  done
done
cmp -s "$work/t" "$work/t.u" || { echo "zlw_peers: uncompress did not give the text back" >&2; exit 1; }
cmp -s "$work/t" "$work/t.back" || { echo "zlw_peers: ZLW did not give the text back" >&2; exit 1; }
t_c=$(secondes "${best[c]}"); t_u=$(secondes "${best[u]}"); t_zc=$(secondes "${best[zc]}"); t_zd=$(secondes "${best[zd]}")

n=$(taille "$work/t"); sz=$(taille "$work/t.Z"); sk=$(taille "$work/t.zlw")
awk -v n="$n" -v sz="$sz" -v sk="$sk" -v tc="$t_c" -v tu="$t_u" -v tzc="$t_zc" -v tzd="$t_zd" 'BEGIN {
  printf "ZLW against compress -b16 on %s bytes of text (best of 3 whole-process wall times)\n", n
  printf "  size        compress -b16 %11d   ZLW %11d   ZLW/compress %.4f (target <= 1.05)\n", sz, sk, sk / sz
  printf "  compress    compress -b16 %8.3f s    ZLW %8.3f s    compress/ZLW time %.3f (target >= 1)\n", tc, tzc, tc / tzc
  printf "  decompress  uncompress    %8.3f s    ZLW %8.3f s    uncompress/ZLW time %.3f (target >= 1)\n", tu, tzd, tu / tzd
  printf "  throughput  compress %.0f MB/s, ZLW %.0f MB/s; uncompress %.0f MB/s, ZLW %.0f MB/s\n", n / tc / 1e6, n / tzc / 1e6, n / tu / 1e6, n / tzd / 1e6
}'
"$outil" memoire 16 | sed 's/^/  /'
