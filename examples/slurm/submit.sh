#!/bin/bash
# Submits a sweep made by make_sweep.sh: the job array of its runs (sweep.sbatch), and the merge
# (merge.sh), which starts only when every task of the array has ended with status 0.
#
#   submit.sh DIR [SKARVEN [FILE]]     # SKARVEN: the program (default: skarven on PATH)
#                                      # FILE: the result file to merge (default result.en)
#
# Options for both jobs (partition, account, time) go through sbatch's own environment
# variables, for example SBATCH_PARTITION=short SBATCH_TIMELIMIT=0:10:00 submit.sh DIR.
# Logs: DIR/logs/run-JOB_TASK.out and DIR/logs/merge-JOB.out.
set -euo pipefail

die() {
    echo "submit.sh: $*" >&2
    exit 1
}

(($# >= 1 && $# <= 3)) || die "usage: submit.sh DIR [SKARVEN [FILE]]"
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
command -v sbatch >/dev/null || die "sbatch not found: is this a Slurm submit host?"
[[ -f $1/sweep.list ]] || die "no <$1/sweep.list>: make the sweep with make_sweep.sh first"
dir=$(cd "$1" && pwd)
skarven=$(command -v "${2:-skarven}") || die "program <${2:-skarven}> not found"
skarven=$(realpath "$skarven")
file=${3:-result.en}

tasks=$(grep -cv '^;' "$dir/sweep.list" || true)
((tasks > 0)) || die "<$dir/sweep.list> lists no tasks"
mkdir -p "$dir/logs"

# --parsable prints "jobid" or "jobid;cluster".
array=$(sbatch --parsable --array="0-$((tasks - 1))" --chdir="$dir" \
    --output="$dir/logs/run-%A_%a.out" "$here/sweep.sbatch" "$dir" "$skarven")
array=${array%%;*}
[[ $array =~ ^[0-9]+$ ]] || die "sbatch gave no job id for the array: <$array>"
merge=$(sbatch --parsable --dependency="afterok:$array" --kill-on-invalid-dep=yes \
    --chdir="$dir" --output="$dir/logs/merge-%j.out" "$here/merge.sh" "$dir" "$file")
merge=${merge%%;*}
[[ $merge =~ ^[0-9]+$ ]] || die "sbatch gave no job id for the merge: <$merge>"
echo "submit.sh: array job $array ($tasks tasks), merge job $merge after it; table: $dir/sweep.dat"
