#!/usr/bin/env bash
# Times the batch tool, medians of several runs, the sides alternating, each run in a new folder
# removed afterwards, on tmpfs by default (/dev/shm, or TMPDIR; --disk DIR for a disk, with a
# sync before each timed run):
#   -j 2 against -j 1 on MODELS generated models of 1 MB each (standard output compared);
#   --no-job --glb --png against the job alone on one generated model of SIZE_MB, with the
#   peak memory of each and the glb's size.
# Usage: bench/batch_compare.sh [--disk DIR] [RUNS] [MODELS] [SIZE_MB]
#        (default: 5 runs, 200 models, 100 MB)
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/timing.sh
choose_place "$@"
shift "$place_arguments"
runs=${1:-5}
models=${2:-200}
size=${3:-100}

build_release
batch=$PWD/build/release/model-unpack-batch
make_model=$PWD/build/release/tools/make-large-model
work=$(mktemp -d "$base/model-batch-XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

# A new folder holding hard links to the models named; prints its path.
fresh() {
  local run
  run=$(mktemp -d "$work/run-XXXXXX")
  for model in "$@"; do ln "$model" "$run/${model##*/}"; done
  echo "$run"
}

echo "in $base (${settle/:/no sync})"
# Parallel jobs: the same 1 MB model under MODELS names.
mkdir models
"$make_model" 1 models/m0.zmdl
for i in $(seq 1 $((models - 1))); do ln models/m0.zmdl "models/m$i.zmdl"; done
names=()
for i in $(seq 0 $((models - 1))); do names+=("m$i.zmdl"); done
declare -A runs_ns=([1]="" [2]="")
for _ in $(seq "$runs"); do
  for jobs in 1 2; do
    run=$(fresh models/m*.zmdl)
    $settle
    start=$(now)
    (cd "$run" && "$batch" -C out -j "$jobs" "${names[@]}" >"../stdout$jobs.txt")
    runs_ns[$jobs]+=" $(($(now) - start))"
    rm -rf "$run"
  done
done
one=$(printf '%s\n' ${runs_ns[1]} | median)
two=$(printf '%s\n' ${runs_ns[2]} | median)
cmp -s stdout1.txt stdout2.txt && same=identical || same=DIFFERENT
printf '%d models of 1 MB: -j 1 %s s, -j 2 %s s, speed-up %s, standard output %s\n' "$models" \
  "$(seconds "$one")" "$(seconds "$two")" "$(ratio "$one" "$two")" "$same"

# Mesh outputs against the job on one large model.
"$make_model" "$size" big.zmdl
job=() mesh=() job_peak=() mesh_peak=()
for _ in $(seq "$runs"); do
  run=$(fresh big.zmdl)
  $settle
  start=$(now)
  (cd "$run" && /usr/bin/time -f %M -o ../peak.txt "$batch" -q big)
  job+=($(($(now) - start)))
  job_peak+=("$(cat peak.txt)")
  rm -rf "$run"
  run=$(fresh big.zmdl)
  $settle
  start=$(now)
  (cd "$run" && /usr/bin/time -f %M -o ../peak.txt "$batch" -q --no-job --glb --png big)
  mesh+=($(($(now) - start)))
  mesh_peak+=("$(cat peak.txt)")
  glb_kib=$(($(stat -c %s "$run/big.glb") / 1024))
  rm -rf "$run"
done
job_m=$(printf '%s\n' "${job[@]}" | median)
mesh_m=$(printf '%s\n' "${mesh[@]}" | median)
printf '%d MB model: job %s s (peak %s KiB), --no-job --glb --png %s s (peak %s KiB), mesh/job %s, glb %d KiB, memory limit 1.5 x glb + 16 MiB = %d KiB\n' \
  "$size" "$(seconds "$job_m")" "$(printf '%s\n' "${job_peak[@]}" | median)" "$(seconds "$mesh_m")" \
  "$(printf '%s\n' "${mesh_peak[@]}" | median)" "$(ratio "$mesh_m" "$job_m")" "$glb_kib" \
  $((glb_kib * 3 / 2 + 16384))
