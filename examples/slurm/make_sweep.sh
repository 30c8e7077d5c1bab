#!/bin/bash
# Writes the parameter files of a sweep: one copy of TEMPLATE per VALUE, with the line
# "KEY = VALUE" appended (a repeated key takes its last value, so the template's own line for
# KEY, if any, is overridden). Task i of the job array runs DIR/params/i.inp.
#
#   make_sweep.sh TEMPLATE DIR KEY VALUE...
#   make_sweep.sh yukawa-sweep.inp sweep g $(seq 0.25 0.25 2)
#
# DIR/sweep.list records the sweep ("; task KEY" and one "i VALUE" line per task) for the
# submit and merge steps. DIR must not hold an earlier sweep's parameter files.
set -euo pipefail

die() {
    echo "make_sweep.sh: $*" >&2
    exit 1
}

(($# >= 4)) || die "usage: make_sweep.sh TEMPLATE DIR KEY VALUE..."
template=$1
dir=$2
key=$3
shift 3

[[ -f $template && -r $template ]] || die "cannot read the template <$template>"
[[ $key =~ ^[A-Za-z_][A-Za-z0-9_]*$ ]] || die "<$key> is not a parameter name"
for value in "$@"; do
    # Blanks would split the value in the file and in sweep.list; the loader reads 80 columns.
    [[ $value =~ ^[^[:space:][:cntrl:]]+$ ]] || die "value <$value> is empty or holds blanks"
    line="$key = $value"
    ((${#line} <= 80)) || die "<$line> is longer than the 80 columns the loader reads"
done
if [[ -d $dir/params ]] && [[ -n $(ls -A "$dir/params") ]]; then
    die "<$dir/params> already holds parameter files: remove them or choose another directory"
fi

mkdir -p "$dir/params"
list_tmp=$dir/sweep.list.tmp.$$
trap 'rm -f "$list_tmp"' EXIT
printf '; task %s\n' "$key" >"$list_tmp"
task=0
for value in "$@"; do
    file=$dir/params/$task.inp
    {
        cat "$template"
        # A template without a final newline would glue its last line to ours.
        [[ -z $(tail -c 1 "$template") ]] || echo
        printf '; task %d of the sweep over %s\n%s = %s\n' "$task" "$key" "$key" "$value"
    } >"$file.tmp"
    mv "$file.tmp" "$file"
    printf '%d %s\n' "$task" "$value" >>"$list_tmp"
    task=$((task + 1))
done
mv "$list_tmp" "$dir/sweep.list"
echo "make_sweep.sh: $task parameter files in $dir/params (tasks 0-$((task - 1)), $key = $1 ... ${!#})"
