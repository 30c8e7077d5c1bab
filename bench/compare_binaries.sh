#!/usr/bin/env bash
# Two builds of the program on every bundled example and benchmark input, with both solvers at one
# and two threads: every file a run leaves and its screen, less the date and elapsed-time lines,
# must be the same (the timings of the partial-wave progress lines aside). For checking that a
# change moves no number.
#   bench/compare_binaries.sh OLD_BINARY NEW_BINARY
# The long inputs (cross-sections, yukawa-2000-fast, well-1500) are left out, and so are the eigen
# route on the inputs meant for the fast one.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
old=$(realpath "$1")
new=$(realpath "$2")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

runs=0
differing=0
for input in "$here"/../examples/*.inp "$here"/params/*.inp; do
    name=$(basename "$input" .inp)
    case $name in cross-sections | yukawa-2000-fast | well-1500) continue ;; esac
    # Inputs with keys newer than the old binary (the limit, run-time potentials, a Coulomb tail)
    # have no old run.
    case $name in converged | woods-saxon | table | proton-well | cross-sections-*) continue ;; esac
    solvers="eigen fast"
    case $name in shell-500-fast | yukawa-400 | yukawa-400-scan) solvers=fast ;; esac
    for solver in $solvers; do
        for threads in 1 2; do
            for side in old new; do
                dir=$scratch/$name-$solver-$threads/$side
                mkdir -p "$dir"
                { grep -v '^solver' "$input"; echo "solver = $solver"; } >"$dir/run.inp"
                binary=$old
                [ "$side" = new ] && binary=$new
                (cd "$dir" && OMP_NUM_THREADS=$threads OMP_WAIT_POLICY=passive "$binary" \
                    <<<$'run.inp\nout\n' >screen.txt 2>&1; echo "status $?" >>screen.txt)
            done
            runs=$((runs + 1))
            pair=$scratch/$name-$solver-$threads
            if ! diff -r -q -I '^; date' -I 'Elapsed CPU' -I ' time = ' "$pair/old" "$pair/new" >/dev/null; then
                differing=$((differing + 1))
                echo "differs: $name, solver $solver, $threads thread(s)"
                diff -r -I '^; date' -I 'Elapsed CPU' -I ' time = ' "$pair/old" "$pair/new" | head -n 6
            fi
        done
    done
done
echo "$runs run pairs compared, $differing differ"
[ "$differing" -eq 0 ]
