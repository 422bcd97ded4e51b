#!/usr/bin/env bash
# Times whole jobs against two baselines on the same files, medians of several runs:
#   the I/O floor: cat of the model and of the job's output bytes into new files;
#   od -A n -t f4 -v -w12 over the positions block's floats, against the tool on a model
#   holding only that block.
# By default everything happens on tmpfs (/dev/shm, or TMPDIR), where the disk can neither hide
# nor add cost and only the tool's own work differs. The sides are run alternately, each run
# in a new folder that is removed afterwards. With --disk DIR the same is done in DIR, with a
# sync before each timed run (there the disk's own work varies from run to run).
# Usage: bench/compare.sh [--disk DIR] [RUNS] [SIZES_MB...]   (default: 5 runs, 10 and 100 MB)
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/timing.sh
choose_place "$@"
shift "$place_arguments"
runs=${1:-5}
shift || true
sizes=("${@:-10 100}")
read -r -a sizes <<< "${sizes[*]}"

build_release
bin=$PWD/build/release/tools
work=$(mktemp -d "$base/model-compare-XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

# A new folder holding the model under NAME (a hard link: nothing is copied), for one run.
fresh() {
  local run
  run=$(mktemp -d "$work/run-XXXXXX")
  ln "$1" "$run/$2"
  echo "$run"
}

echo "in $base (${settle/:/no sync})"
printf '%-8s %10s %10s %8s %10s %10s %10s %8s %9s\n' model job_s floor_s job/floor \
  floats_s od_s od/floats outputs peak_KiB
for size in "${sizes[@]}"; do
  "$bin/make-large-model" "$size" "model$size.zmdl"
  # The outputs once, untimed: what the floor writes.
  reference=$(fresh "model$size.zmdl" model.zmdl)
  (cd "$reference" && "$bin/run-job" model >/dev/null)
  outputs=$(cat "$reference"/*.txt | wc -c)

  job=() floor=() peak=()
  for _ in $(seq "$runs"); do
    run=$(fresh "model$size.zmdl" model.zmdl)
    $settle
    start=$(now)
    (cd "$run" && "$bin/run-job" --peak-memory model >/dev/null 2>../peak.txt)
    job+=($(($(now) - start)))
    peak+=("$(cat peak.txt)")
    rm -rf "$run"

    run=$(mktemp -d "$work/run-XXXXXX")
    $settle
    start=$(now)
    cat "model$size.zmdl" >"$run/model.copy"
    for f in "$reference"/*.txt; do cat "$f" >"$run/${f##*/}"; done
    floor+=($(($(now) - start)))
    rm -rf "$run"
  done

  # The positions block alone: the same floats for the tool and for od.
  tail -c +5 "$reference/pos.txt" >floats.bin
  {
    head -c 28 /dev/zero; printf 'positions'; head -c 55 /dev/zero
    printf '\xa4\x00\x00\x00'; head -c 68 /dev/zero; cat "$reference/pos.txt"
  } >floats.zmdl
  rm -rf "$reference"
  tool=() od_times=()
  for _ in $(seq "$runs"); do
    run=$(fresh floats.zmdl floats.zmdl)
    $settle
    start=$(now)
    (cd "$run" && "$bin/run-job" floats >/dev/null)
    tool+=($(($(now) - start)))
    rm -rf "$run"
    run=$(mktemp -d "$work/run-XXXXXX")
    $settle
    start=$(now)
    od -A n -t f4 -v -w12 floats.bin >"$run/od.txt"
    od_times+=($(($(now) - start)))
    rm -rf "$run"
  done

  job_m=$(printf '%s\n' "${job[@]}" | median)
  floor_m=$(printf '%s\n' "${floor[@]}" | median)
  tool_m=$(printf '%s\n' "${tool[@]}" | median)
  od_m=$(printf '%s\n' "${od_times[@]}" | median)
  peak_m=$(printf '%s\n' "${peak[@]}" | median)
  printf '%-8s %10s %10s %8s %10s %10s %10s %8s %9s\n' "${size}MB" "$(seconds "$job_m")" \
    "$(seconds "$floor_m")" "$(ratio "$job_m" "$floor_m")" "$(seconds "$tool_m")" \
    "$(seconds "$od_m")" "$(ratio "$od_m" "$tool_m")" "$((outputs / 1000000))MB" "$peak_m"
  rm -f "model$size.zmdl" floats.bin floats.zmdl
done
