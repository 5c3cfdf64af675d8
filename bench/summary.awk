# The targets of one ./kv bench run, each as a ratio against its peer with
# "met" or "MISSED": reads the saved outputs of the benchmark programs
# (Google Benchmark's console lines) and of the whole-process peer scripts
# (their lines ending in "(target OP LIMIT)").
#
#   awk [-v emulated=1] -f bench/summary.awk build/bench/*.txt

function secondes(v, unite) {
  return v * (unite == "ns" ? 1e-9 : unite == "us" ? 1e-6 : unite == "ms" ? 1e-3 : 1)
}
function tient(r, op, limite) {
  return op == ">=" ? r >= limite : op == ">" ? r > limite : op == "<=" ? r <= limite : r < limite
}
# Under emulation (-v emulated=1) the figures are qemu's, not the
# processor's: each ratio is shown without a verdict.
function ligne(quoi, r, op, limite) {
  if (emulated) {
    printf "  %-58s %8.3f   (target %s %s)   no verdict\n", quoi, r, op, limite
    return
  }
  printf "  %-58s %8.3f   (target %s %s)   %s\n", quoi, r, op, limite, tient(r, op, limite) ? "met" : "MISSED"
  if (!tient(r, op, limite)) manque++
}
# One ratio of two benchmark rows (wall times), when both ran.
function paire(quoi, haut, bas, op, limite) {
  if (!(haut in t) || !(bas in t)) {
    printf "  %-58s    (rows %s and %s not in this run)\n", quoi, haut, bas
    return
  }
  ligne(quoi, t[haut] / t[bas], op, limite)
}

/^BM_/ && $3 ~ /^(ns|us|ms|s)$/ {
  t[$1] = secondes($2, $3)
  if ($NF == "chosen") {
    nom = $1
    sub(/\/.*/, "", nom)
    t[nom "/chosen"] = t[$1]
  }
  next
}
/\(target (>=|<=|>|<) [0-9.]+\)/ {
  match($0, /[0-9.]+ \(target (>=|<=|>|<) [0-9.]+\)/)
  morceau = substr($0, RSTART, RLENGTH)
  split(morceau, m, /[ ()]+/)
  quoi = $0
  sub(/^ +/, "", quoi)
  sub(/ +.*/, "", quoi)
  peers[++np] = FILENAME ": " quoi
  pr[np] = m[1]; pop[np] = m[3]; plim[np] = m[4]
}

END {
  manque = 0
  print "Targets of this run (ratio = peer's time / ours, or ours / peer's where the target is an upper bound)"
  paire("CRC-32, chosen path, speed against zlib crc32 (64 MiB)", "BM_Crc32Zlib", "BM_Crc32/chosen", ">=", 5)
  paire("CRC-32, chosen path, speed against zlib crc32 (1 MiB, cached)", "BM_Crc32Zlib1M", "BM_Crc32_1M/chosen", ">=", 6)
  paire("base 64 encode, chosen path, against OpenSSL", "BM_Base64EncodeOpenSSL", "BM_Base64Encode/chosen", ">=", 4)
  paire("base 64 decode, chosen path, against OpenSSL", "BM_Base64DecodeOpenSSL", "BM_Base64Decode/chosen", ">=", 4)
  paire("fLitLigne entry point, time over a C getline loop", "BM_fLitLigne_entry/iterations:3", "BM_getline/iterations:3", "<=", 1.25)
  paire("kvrun Lua loop, kv.fLitLigne time over f:read(\"l\")", "BM_kvrun_lua/iterations:3", "BM_kvrun_lua_read/iterations:3", "<=", 1.0)
  for (i = 1; i <= np; i++) {
    q = peers[i]
    sub(/^.*\//, "", q)
    sub(/\.txt:/, ":", q)
    ligne(q, pr[i], pop[i], plim[i])
  }
  if (emulated) {
    print "  no verdict: these figures were measured under qemu user-mode emulation, not on this machine's processor"
    exit 0
  }
  print manque == 0 ? "  every target met" : "  targets missed: " manque
}
