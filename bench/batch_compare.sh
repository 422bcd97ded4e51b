#!/usr/bin/env bash
# Times the batch tool, medians of several runs:
#   -j 2 against -j 1 on MODELS generated models of 1 MB each (standard output compared);
#   --no-job --glb --png against the job alone on one generated model of SIZE_MB, with the
#   peak memory of each and the glb's size.
# Each timed run starts with earlier writes on disk (sync) and writes over the outputs of a
# first, untimed run, as when a batch is run again.
# Usage: bench/batch_compare.sh [RUNS] [MODELS] [SIZE_MB]   (default: 5 runs, 200 models, 100 MB)
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/timing.sh
runs=${1:-5}
models=${2:-200}
size=${3:-100}

cmake --preset release >/dev/null
cmake --build --preset release >/dev/null
batch=$PWD/build/release/model-unpack-batch
make_model=$PWD/build/release/tools/make-large-model
work=$(mktemp -d "${TMPDIR:-/tmp}/model-batch-XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

# Parallel jobs: the same 1 MB model under MODELS names.
mkdir -p many
"$make_model" 1 many/m0.zmdl
for i in $(seq 1 $((models - 1))); do cp many/m0.zmdl "many/m$i.zmdl"; done
names=(many/m*.zmdl)
declare -A times
for jobs in 1 2; do
  runs_ns=()
  "$batch" -C "out$jobs" -j "$jobs" "${names[@]}" >/dev/null
  for _ in $(seq "$runs"); do
    sync
    start=$(now)
    "$batch" -C "out$jobs" -j "$jobs" "${names[@]}" >"stdout$jobs.txt"
    runs_ns+=($(($(now) - start)))
  done
  times[$jobs]=$(printf '%s\n' "${runs_ns[@]}" | median)
done
cmp -s stdout1.txt stdout2.txt && same=identical || same=DIFFERENT
printf '%d models of 1 MB: -j 1 %s s, -j 2 %s s, speed-up %s, standard output %s\n' "$models" \
  "$(seconds "${times[1]}")" "$(seconds "${times[2]}")" "$(ratio "${times[1]}" "${times[2]}")" "$same"

# Mesh outputs against the job on one large model.
"$make_model" "$size" big.zmdl
job=() mesh=() job_peak=() mesh_peak=()
"$batch" -q --glb --png big
for _ in $(seq "$runs"); do
  sync
  start=$(now)
  /usr/bin/time -f %M -o peak.txt "$batch" -q big
  job+=($(($(now) - start)))
  job_peak+=("$(cat peak.txt)")
  sync
  start=$(now)
  /usr/bin/time -f %M -o peak.txt "$batch" -q --no-job --glb --png big
  mesh+=($(($(now) - start)))
  mesh_peak+=("$(cat peak.txt)")
done
job_m=$(printf '%s\n' "${job[@]}" | median)
mesh_m=$(printf '%s\n' "${mesh[@]}" | median)
glb_kib=$(($(stat -c %s big.glb) / 1024))
printf '%d MB model: job %s s (peak %s KiB), --glb --png %s s (peak %s KiB), mesh/job %s, glb %d KiB, memory limit 1.5 x glb + 16 MiB = %d KiB\n' \
  "$size" "$(seconds "$job_m")" "$(printf '%s\n' "${job_peak[@]}" | median)" "$(seconds "$mesh_m")" \
  "$(printf '%s\n' "${mesh_peak[@]}" | median)" "$(ratio "$mesh_m" "$job_m")" "$glb_kib" \
  $((glb_kib * 3 / 2 + 16384))
