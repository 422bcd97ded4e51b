#!/usr/bin/env bash
# Builds the fuzz harnesses and runs one of them: fuzz/run.sh [SECONDS] [HARNESS] [WORKERS]
#   HARNESS: job (default: whole conversion jobs on files held in memory), mesh (the glb and
#   the preview, checked by tinygltf and libspng) or batch_args (the batch command line).
#   SECONDS defaults to 1800, WORKERS to the number of cores.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-1800}
harness=${2:-job}
workers=${3:-$(nproc)}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
out=$PWD/fuzz-out/$harness
mkdir -p "$out/corpus" "$out/seeds" "$out/artifacts" "$out/logs"
dictionary=()
if [ "$harness" = batch_args ]; then
  printf -- '--exports-dir\0out\0-j\0002\0--glb\0--png\0--png-size\00064\0--no-job\0m\0' \
    >"$out/seeds/options"
  printf -- '-qhC\0d\0--\0-x\0' >"$out/seeds/short"
else
  build/fuzz/fuzz/make-fuzz-seeds examples/sample.zmdl "$out/seeds"
  dictionary=(-dict="$PWD/fuzz/model.dict")
fi
cd "$out/logs"
"$OLDPWD/build/fuzz/fuzz/fuzz_$harness" "$out/corpus" "$out/seeds" "${dictionary[@]}" \
  -artifact_prefix="$out/artifacts/" -max_total_time="$seconds" \
  -jobs="$workers" -workers="$workers" -print_final_stats=1
