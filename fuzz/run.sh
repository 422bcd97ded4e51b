#!/usr/bin/env bash
# Builds the fuzz harness and runs it on all cores: fuzz/run.sh [SECONDS] (default 1800).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-1800}
cores=$(nproc)
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
# Absolute paths: the harness works in a temporary directory of its own.
out=$PWD/fuzz-out
mkdir -p "$out/corpus" "$out/seeds" "$out/artifacts"
build/fuzz/fuzz/make-fuzz-seeds examples/sample.zmdl "$out/seeds"
cd "$out"
"$OLDPWD/build/fuzz/fuzz/fuzz_job" "$out/corpus" "$out/seeds" -dict="$OLDPWD/fuzz/model.dict" \
  -artifact_prefix="$out/artifacts/" \
  -max_total_time="$seconds" -jobs="$cores" -workers="$cores" -print_final_stats=1
