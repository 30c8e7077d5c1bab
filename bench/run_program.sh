#!/usr/bin/env bash
# Whole-program timings: runs the program on bench/params/<name>.inp in a scratch directory and
# prints wall and CPU (user + system, all threads) time.
#   bench/run_program.sh [build dir] [names...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
shift || true
names=("$@")
[ ${#names[@]} -gt 0 ] || names=(yukawa-400 shell-150 well-1500)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
TIMEFORMAT='%R %U %S'
for name in "${names[@]}"; do
    cp "$here/params/$name.inp" "$scratch/"
    times=$( { time (cd "$scratch" && printf '%s\n%s\n' "$name.inp" "$name" | "$build/skarven" >/dev/null); } 2>&1 )
    read -r wall user sys <<<"$times"
    printf '%-22s wall %8.2f s   cpu %8.2f s\n' "$name" "$wall" "$(awk "BEGIN {print $user + $sys}")"
    rm -f "$scratch"/saved.vn.*
done
