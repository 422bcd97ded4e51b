#!/usr/bin/env bash
# Times whole jobs against two baselines on the same files, medians of several runs:
#   the I/O floor: copying the model and writing as many bytes as the job's outputs (cat);
#   od -A n -t f4 -v -w12 over the positions block's floats, against the tool on a model
#   holding only that block.
# Every timed run starts with the previous run's writes on disk (sync), so that no run pays
# for another's writeback; outputs are written over in place, as when a job is run again.
# Usage: bench/compare.sh [RUNS] [SIZES_MB...]   (default: 5 runs, 10 and 100 MB)
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/timing.sh
runs=${1:-5}
shift || true
sizes=("${@:-10 100}")
read -r -a sizes <<< "${sizes[*]}"

cmake --preset release >/dev/null
cmake --build --preset release >/dev/null
bin=$PWD/build/release/tools
work=$(mktemp -d "${TMPDIR:-/tmp}/model-compare-XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

printf '%-8s %10s %10s %8s %10s %10s %10s %8s %9s\n' model job_s floor_s job/floor \
  floats_s od_s od/floats outputs peak_KiB
for size in "${sizes[@]}"; do
  mkdir -p "m$size" && cd "m$size"
  "$bin/make-large-model" "$size" model.zmdl

  job=() floor=() peak=()
  "$bin/run-job" model >/dev/null  # the outputs exist from here on, for both sides
  for _ in $(seq "$runs"); do
    sync
    start=$(now)
    "$bin/run-job" --peak-memory model >/dev/null 2>peak.txt
    job+=($(($(now) - start)))
    peak+=("$(cat peak.txt)")
  done
  outputs=$(cat ./*.txt | wc -c)
  mkdir -p copy
  for f in model.zmdl ./*.txt; do cat "$f" >"copy/$f"; done
  for _ in $(seq "$runs"); do
    sync
    start=$(now)
    cat model.zmdl >copy/model.zmdl
    for f in ./*.txt; do cat "$f" >"copy/$f"; done
    floor+=($(($(now) - start)))
  done

  # The positions block alone: the same floats for the tool and for od.
  tail -c +5 pos.txt >floats.bin
  mkdir -p floats && {
    head -c 28 /dev/zero; printf 'positions'; head -c 55 /dev/zero
    printf '\xa4\x00\x00\x00'; head -c 68 /dev/zero; cat pos.txt
  } >floats/floats.zmdl
  tool=() od_times=()
  for _ in $(seq "$runs"); do
    sync
    start=$(now)
    (cd floats && "$bin/run-job" floats >/dev/null)
    tool+=($(($(now) - start)))
    sync
    start=$(now)
    od -A n -t f4 -v -w12 floats.bin >od.txt
    od_times+=($(($(now) - start)))
  done

  job_m=$(printf '%s\n' "${job[@]}" | median)
  floor_m=$(printf '%s\n' "${floor[@]}" | median)
  tool_m=$(printf '%s\n' "${tool[@]}" | median)
  od_m=$(printf '%s\n' "${od_times[@]}" | median)
  peak_m=$(printf '%s\n' "${peak[@]}" | median)
  printf '%-8s %10s %10s %8s %10s %10s %10s %8s %9s\n' "${size}MB" "$(seconds "$job_m")" \
    "$(seconds "$floor_m")" "$(ratio "$job_m" "$floor_m")" "$(seconds "$tool_m")" \
    "$(seconds "$od_m")" "$(ratio "$od_m" "$tool_m")" "$((outputs / 1000000))MB" "$peak_m"
  cd "$work"
  rm -rf "m$size"
done
