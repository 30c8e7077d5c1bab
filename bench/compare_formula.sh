#!/usr/bin/env bash
# A formula potential against the built-in type it writes out, on the fast route at N = 2000 with
# 200 energies: whole-program wall and CPU time of each, and their ratio.
#   bench/compare_formula.sh [build dir]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
common='scheme = non-relativistic
l = 0
basis = laguerre
lambda = 4
e = 0.5
nstart = 2000
nend = 2000
solver = fast
energies = T
estart = 0.01
eend = 2.0
estep = 0.01'
# Each pair: the built-in lines, then the same potential as a formula.
pairs=(
    "pot_type = yukawa|g = 1.5|m = 1|r0 = 0" "pot_type = formula|v = -2.25*exp(-r)/r"
    "pot_type = yukawa|g = 1.5|m = 1|r0 = 10" "pot_type = formula|v = -2.25*exp(-r)/r|r0 = 10"
    "pot_type = woods-saxon|v0 = -2|radius = 3|diffuse = 0.5" "pot_type = formula|v = -2/(1+exp((r-3)/0.5))|breaks = 3"
)
TIMEFORMAT='%R %U %S'
run() {
    { echo "$common"; tr '|' '\n' <<<"$1"; } >"$scratch/run.inp"
    local times
    times=$( { time (cd "$scratch" && printf 'run.inp\nrun\n' | "$build/skarven" >/dev/null); } 2>&1 )
    rm -f "$scratch"/saved.vn.*
    read -r wall user sys <<<"$times"
    echo "$wall $(awk "BEGIN {print $user + $sys}")"
}
for ((k = 0; k < ${#pairs[@]}; k += 2)); do
    read -r wall_a cpu_a <<<"$(run "${pairs[k]}")"
    read -r wall_b cpu_b <<<"$(run "${pairs[k + 1]}")"
    printf '%-60s wall %7.2f s  cpu %7.2f s\n' "${pairs[k]}" "$wall_a" "$cpu_a"
    printf '%-60s wall %7.2f s  cpu %7.2f s  (cpu ratio %.2f)\n' "${pairs[k + 1]}" "$wall_b" \
        "$cpu_b" "$(awk "BEGIN {print $cpu_b / $cpu_a}")"
done
