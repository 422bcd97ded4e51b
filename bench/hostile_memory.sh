#!/usr/bin/env bash
# Peak memory and output size of the batch tool on models built to cost a reader as much as
# their size allows (tools/make_hostile_model.cpp), on tmpfs, each run in a new folder removed
# afterwards:
#   a model of nothing but directory entries (the job alone, and two jobs with -j 2);
#   a model of many collision bodies (the job, and --no-job --glb --png against the glb's size);
#   a small model whose directory names one block hundreds of times (the info file's size);
#   a 10 MB model of triangles each over half the picture (the picture's drawing budget).
# Usage: bench/hostile_memory.sh [DIRECTORY_MB] [BODIES_MB]   (default: 200 and 30)
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/timing.sh
directory_mb=${1:-200}
bodies_mb=${2:-30}

build_release
tool=$PWD/build/release/model-unpack-batch
make=$PWD/build/release/tools/make-hostile-model
choose_place
models=$(mktemp -d "$base/model-hostile-XXXXXX")
trap 'rm -rf "$models"' EXIT
"$make" directory "$directory_mb" "$models/directory.zmdl"
"$make" bodies "$bodies_mb" "$models/bodies.zmdl"
"$make" crowded 10 "$models/crowded.zmdl"
for kb in 30 100 1000; do "$make" repeated "$(awk -v k=$kb 'BEGIN { print k / 1000 }')" "$models/repeated$kb.zmdl"; done

# Runs the tool with ARGS in a new folder; prints "seconds peak_KiB".
measure() {
  local run
  run=$(mktemp -d "$base/model-run-XXXXXX")
  (cd "$run" && /usr/bin/time -f '%e %M' -o "$run.time" "$tool" "$@" >/dev/null 2>&1 || true)
  cat "$run.time"
  rm -rf "$run" "$run.time"
}
size_of() { stat -c %s "$1"; }

printf '%-40s %8s %10s %12s\n' case seconds peak_KiB output_bytes
read -r s m < <(measure -q -C ex "$models/directory.zmdl")
printf '%-40s %8s %10s %12s\n' "directory ${directory_mb} MB, job" "$s" "$m" "$(size_of "$models/directory.txt")"
read -r s m < <(measure -q -C ex -j 2 "$models/directory.zmdl" "$models/bodies.zmdl")
printf '%-40s %8s %10s %12s\n' "directory + bodies, -j 2" "$s" "$m" -
read -r s m < <(measure -q -C ex "$models/bodies.zmdl")
printf '%-40s %8s %10s %12s\n' "bodies ${bodies_mb} MB, job" "$s" "$m" "$(size_of "$models/bodies.txt")"
read -r s m < <(measure -q --no-job --glb --png "$models/bodies.zmdl")
glb=$(size_of "$models/bodies.glb")
printf '%-40s %8s %10s %12s\n' "bodies ${bodies_mb} MB, --no-job --glb --png" "$s" "$m" "$glb"
echo "  bound for the mesh outputs: 1.5 x glb + 16 MiB = $(( (glb * 3 / 2) / 1024 + 16384 )) KiB"
read -r s m < <(measure -q --no-job --png "$models/crowded.zmdl")
printf '%-40s %8s %10s %12s\n' "crowded 10 MB, --no-job --png" "$s" "$m" -
for kb in 30 100 1000; do
  model=$models/repeated$kb.zmdl
  read -r s m < <(measure -q -C ex "$model")
  printf '%-40s %8s %10s %12s\n' "repeated $(size_of "$model") B, job" "$s" "$m" \
    "$(size_of "${model%.zmdl}.txt")"
  echo "  bound for the info file: 10 x model + 64 KiB = $(( 10 * $(size_of "$model") + 65536 ))"
done
