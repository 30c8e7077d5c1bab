#!/bin/bash
#SBATCH --job-name=skarven-merge
#SBATCH --ntasks=1
#SBATCH --cpus-per-task=1
# Collects one result file of every run of a sweep into one table, DIR/sweep.dat: each data line
# of DIR/runs/ID/FILE, as the program wrote it, behind the task id and the swept value. Run after
# the job array (submit.sh chains it with --dependency=afterok) or by hand:
#
#   merge.sh DIR [FILE]     # FILE: result.en (default), result, result.xs, result.pw or result.lim
#
# A task that has not run, or whose run did not end with status 0 (DIR/runs/ID/exit-status), or a
# missing or empty result file is an error naming the task; the table is then not written.
set -euo pipefail

die() {
    echo "merge.sh: $*" >&2
    exit 1
}

# The arguments joined by ", ".
join() {
    local IFS=$'\x1f' text
    text="$*"
    echo "${text//$'\x1f'/, }"
}

(($# == 1 || $# == 2)) || die "usage: merge.sh DIR [FILE]"
dir=$1
file=${2:-result.en}
list=$dir/sweep.list
# The angle file holds one block per energy; its lines alone do not say which energy.
[[ $file != *.dcs ]] || die "<$file>: the angle blocks do not merge into one table"
[[ -f $list ]] || die "no <$list>: make the sweep with make_sweep.sh first"

key=$(awk 'NR == 1 && $1 == ";" && $2 == "task" { print $3 }' "$list")
[[ -n $key ]] || die "<$list> does not start with '; task KEY'"

out=$dir/sweep.dat
tmp=$out.tmp.$$
trap 'rm -f "$tmp"' EXIT
missing=()
failed=()
columns=""
runs=0
{
    while read -r task value; do
        [[ $task == ";" ]] && continue
        result=$dir/runs/$task/$file
        status=$(cat "$dir/runs/$task/exit-status" 2>/dev/null || true)
        if [[ $status != 0 ]]; then
            failed+=("$task${status:+ (exit status $status)}")
            continue
        fi
        if [[ ! -s $result ]]; then
            missing+=("$task")
            continue
        fi
        if [[ -z $columns ]]; then
            columns=$(sed -n 's/^; NUMERICAL RESULTS: *//p' "$result" | head -n 1)
            printf '; skarven sweep over %s: %s of each run\n' "$key" "$file"
            printf '; task  %s  %s\n' "$key" "$columns"
        fi
        # Data lines are every line that is neither a comment nor blank; their text is kept.
        awk -v task="$task" -v value="$value" -v name="$result" '
            /^;/ || /^[[:space:]]*$/ { next }
            { sub(/^[[:space:]]+/, ""); print task "  " value "  " $0; lines++ }
            END { if (!lines) { print "merge.sh: no data lines in <" name ">" > "/dev/stderr"; exit 1 } }
        ' "$result"
        runs=$((runs + 1))
    done <"$list"
} >"$tmp"
((${#failed[@]} == 0)) || die "task(s) not run or not complete: $(join "${failed[@]}")"
((${#missing[@]} == 0)) || die "no $file for task(s) $(join "${missing[@]}") in <$dir/runs>"
((runs > 0)) || die "<$list> lists no tasks"
mv "$tmp" "$out"
echo "merge.sh: $runs runs merged into $out"
