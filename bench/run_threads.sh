#!/usr/bin/env bash
# Threads on a shared machine, with wall times and ratios from one run: each whole-program case of
# bench/params with 1 thread, with 2 threads, and with 2 threads while one CPU-bound process
# (yes, started and ended here by its process id) runs beside it; then eigensys at n = 1000 the
# same way (and with 1 thread beside the busy process), and with 1 thread beside LAPACK dsyevd,
# the driver of numpy's eigh, on the same matrix (numpy itself too when python3 has it).
# Needs a build with -DSKARVEN_BENCH=ON.
#   bench/run_threads.sh [build dir] [names...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
shift || true
names=("$@")
[ ${#names[@]} -gt 0 ] || names=(yukawa-400 shell-150 well-1500)
scratch=$(mktemp -d)
busy=""
stop_busy() {
    if [ -n "$busy" ]; then
        kill "$busy" 2>/dev/null || true
        wait "$busy" 2>/dev/null || true
        busy=""
    fi
}
trap 'stop_busy; rm -rf "$scratch"' EXIT

now() { date +%s.%N; }
ratio() { awk "BEGIN {printf \"%.2f\", $1 / $2}"; }

# timed <threads> <busy: 0|1> <command...>: sets `wall` to the command's wall time in seconds.
wall=""
timed() {
    local threads=$1 with_busy=$2
    shift 2
    if [ "$with_busy" = 1 ]; then
        yes >/dev/null &
        busy=$!
    fi
    local start
    start=$(now)
    OMP_NUM_THREADS=$threads "$@" >"$scratch/last.out"
    wall=$(awk "BEGIN {printf \"%.3f\", $(now) - $start}")
    stop_busy
}

program() {  # one whole run on a fresh directory state (no saved potential to reuse)
    rm -f "$scratch"/saved.vn.*
    (cd "$scratch" && printf '%s\n%s\n' "$name.inp" "$name" | "$build/skarven")
}

printf '%-22s %10s %10s %12s %7s %9s\n' case "1 thread" "2 threads" "2 thr+busy" "2/1" "busy2/1"
for name in "${names[@]}"; do
    cp "$here/params/$name.inp" "$scratch/"
    timed 1 0 program
    one=$wall
    timed 2 0 program
    two=$wall
    timed 2 1 program
    busy2=$wall
    printf '%-22s %9.2fs %9.2fs %11.2fs %7s %9s\n' "$name" "$one" "$two" "$busy2" \
        "$(ratio "$two" "$one")" "$(ratio "$busy2" "$one")"
done

best_of() { awk '$1 == 1000 {print $2}' "$scratch/last.out"; }
eigen=("$build/bench/bench_eigensys" --save "$scratch/a1000.bin" 1000)
timed 1 0 "${eigen[@]}"
one=$(best_of)
timed 2 0 "${eigen[@]}"
two=$(best_of)
timed 2 1 "${eigen[@]}"
busy2=$(best_of)
timed 1 1 "${eigen[@]}"
busy1=$(best_of)
export OMP_WAIT_POLICY=passive
timed 2 1 "${eigen[@]}"
passive2=$(best_of)
unset OMP_WAIT_POLICY
printf '%-22s %9.2fs %9.2fs %11.2fs %7s %9s\n' "eigensys n=1000" "$one" "$two" "$busy2" \
    "$(ratio "$two" "$one")" "$(ratio "$busy2" "$one")"
printf '  1 thread + busy %.2f s (busy2 / busy1 = %s); 2 threads + busy, OMP_WAIT_POLICY=passive %.2f s\n' \
    "$busy1" "$(ratio "$busy2" "$busy1")" "$passive2"

printf 'eigensys n=1000, 1 thread: %.2f s' "$one"
if [ -x "$build/bench/peer_eigh" ]; then
    lapack=$("$build/bench/peer_eigh" "$scratch/a1000.bin" | awk '{print $(NF-1)}')
    printf '   LAPACK dsyevd: %.2f s' "$lapack"
fi
if python3 -c 'import numpy' 2>/dev/null; then
    numpy=$(OMP_NUM_THREADS=1 OPENBLAS_NUM_THREADS=1 python3 - "$scratch/a1000.bin" <<'PY'
import sys, time
import numpy as np
a = np.fromfile(sys.argv[1]).reshape(1000, 1000)
np.linalg.eigh(a)
times = []
for _ in range(3):
    start = time.perf_counter()
    np.linalg.eigh(a)
    times.append(time.perf_counter() - start)
print(f"{min(times):.4f}")
PY
)
    printf '   numpy eigh: %.2f s' "$numpy"
fi
printf '\n'
