#!/usr/bin/env bash
# The same settings through the eigen route, the fast route and the LAPACK peer, with times and
# ratios from one run. Needs a build with -DSKARVEN_BENCH=ON (for peer_lapack).
#   bench/compare_solvers.sh [build dir]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build-bench}" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
TIMEFORMAT='%R'

wall_of() {  # wall time of the program on a parameter file
    local file=$1 root=$2
    rm -f "$scratch"/saved.vn.*
    { time (cd "$scratch" && printf '%s\n%s\n' "$file" "$root" | "$build/skarven" >/dev/null); } 2>&1
}

cp "$here"/params/*.inp "$scratch/"
sed 's/^screen = F/screen = F\nsolver = fast/' "$scratch/yukawa-400-scan.inp" >"$scratch/yukawa-400-fast.inp"

fast400=$(wall_of yukawa-400-fast.inp fast400)
eigen400=$(wall_of yukawa-400-scan.inp eigen400)
peer400=$( { time "$build/bench/peer_lapack" "$scratch/yukawa-400-scan.inp" >/dev/null; } 2>&1 )
fast2000=$(wall_of yukawa-2000-fast.inp fast2000)
shell500=$(wall_of shell-500-fast.inp shell500)

echo "Yukawa, Laguerre, N = 1..400, 1000 energies:"
printf '  fast %.3f s   eigen %.2f s   LAPACK peer %.2f s\n' "$fast400" "$eigen400" "$peer400"
printf '  eigen / fast = %.0f   peer / fast = %.0f\n' "$(awk "BEGIN {print $eigen400 / $fast400}")" \
    "$(awk "BEGIN {print $peer400 / $fast400}")"
printf 'Yukawa, Laguerre, N = 1..2000, 1000 energies, fast: %.2f s\n' "$fast2000"
printf 'Relativistic shell, N = 1..500, 500 energies, fast: %.2f s\n' "$shell500"
paste <(grep -v '^;' "$scratch/eigen400.en" | awk '{print $3}') \
      <(grep -v '^;' "$scratch/fast400.en" | awk '{print $3}') |
    awk '{d = $1 - $2; if (d < 0) d = -d; if (d > m) m = d} END {printf "largest |delta_eigen - delta_fast| over the energies: %.2e\n", m}'
