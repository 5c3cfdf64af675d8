#!/usr/bin/env bash
# ZLW against compress -b16 / uncompress (ncompress, 16-bit LZW too), as
# whole processes on the same 64 MiB text in one run: compressed sizes,
# best-of-three wall times and their ratios, and the peak heap of Compresse.
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

# best of three wall times, in seconds, of a command
temps() {
  local best= t0 t1 t i
  for i in 1 2 3; do
    t0=$(date +%s%N)
    "$@"
    t1=$(date +%s%N)
    t=$(( (t1 - t0) / 1000 ))
    [[ -z $best || $t -lt $best ]] && best=$t
  done
  printf '%d.%06d' $((best / 1000000)) $((best % 1000000))
}

taille() { stat -c %s "$1"; }

cp "$texte" "$work/t"
t_c=$(temps sh -c "compress -b16 -c '$work/t' > '$work/t.Z'")
t_u=$(temps sh -c "uncompress -c '$work/t.Z' > '$work/t.u'")
cmp -s "$work/t" "$work/t.u" || { echo "zlw_peers: uncompress did not give the text back" >&2; exit 1; }
t_zc=$(temps "$outil" compresse "$work/t" "$work/t.zlw")
t_zd=$(temps "$outil" decompresse "$work/t.zlw" "$work/t.back")
cmp -s "$work/t" "$work/t.back" || { echo "zlw_peers: ZLW did not give the text back" >&2; exit 1; }

n=$(taille "$work/t"); sz=$(taille "$work/t.Z"); sk=$(taille "$work/t.zlw")
awk -v n="$n" -v sz="$sz" -v sk="$sk" -v tc="$t_c" -v tu="$t_u" -v tzc="$t_zc" -v tzd="$t_zd" 'BEGIN {
  printf "ZLW against compress -b16 on %s bytes of text (best of 3 whole-process wall times)\n", n
  printf "  size        compress -b16 %11d   ZLW %11d   ZLW/compress %.4f (target <= 1.05)\n", sz, sk, sk / sz
  printf "  compress    compress -b16 %8.3f s    ZLW %8.3f s    compress/ZLW time %.3f (target >= 1)\n", tc, tzc, tc / tzc
  printf "  decompress  uncompress    %8.3f s    ZLW %8.3f s    uncompress/ZLW time %.3f (target >= 1)\n", tu, tzd, tu / tzd
  printf "  throughput  compress %.0f MB/s, ZLW %.0f MB/s; uncompress %.0f MB/s, ZLW %.0f MB/s\n", n / tc / 1e6, n / tzc / 1e6, n / tu / 1e6, n / tzd / 1e6
}'
"$outil" memoire 16 | sed 's/^/  /'
