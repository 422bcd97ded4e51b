#!/usr/bin/env bash
# The WebAssembly batch tool (the npm package, installed from its tarball) against the native
# one: the job on one generated model of SIZE_MB, medians of RUNS runs, the sides alternating,
# each run in a new folder removed afterwards, with the peak memory of each whole process
# (Node.js included) and the floor (cat of the same bytes). On tmpfs by default (/dev/shm, or
# TMPDIR; --disk DIR for a disk, with a sync before each timed run).
# Usage: bench/wasm_compare.sh [--disk DIR] [RUNS] [SIZE_MB]   (default: 5 runs, 100 MB)
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/timing.sh
choose_place "$@"
shift "$place_arguments"
runs=${1:-5}
size=${2:-100}

build_release
cmake --workflow --preset wasm >/dev/null
version=$(sed -n 's/^project(model-unpack VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
native=$PWD/build/release/model-unpack-batch
work=$(mktemp -d "$base/model-wasm-XXXXXX")
trap 'rm -rf "$work"' EXIT
npm install -g --prefix "$work/npm" --no-audit --no-fund \
  "build/wasm/model-unpack-$version.tgz" >/dev/null 2>&1
wasm=$work/npm/bin/model-unpack-batch
build/release/tools/make-large-model "$size" "$work/big.zmdl"
cd "$work"

echo "in $base (${settle/:/no sync})"
declare -A times=() peaks=()
for _ in $(seq "$runs"); do
  for side in native wasm floor; do
    run=$(mktemp -d "$work/run-XXXXXX")
    ln big.zmdl "$run/big.zmdl"
    $settle
    start=$(now)
    case $side in
      native) (cd "$run" && /usr/bin/time -f %M -o ../peak.txt "$native" -q big) ;;
      wasm) (cd "$run" && /usr/bin/time -f %M -o ../peak.txt "$wasm" -q big) ;;
      floor) /usr/bin/time -f %M -o peak.txt cat "$run/big.zmdl" >"$run/copy" ;;
    esac
    times[$side]+=" $(($(now) - start))"
    peaks[$side]+=" $(cat peak.txt)"
    rm -rf "$run"
  done
done
for side in native wasm floor; do
  declare "${side}_ns=$(printf '%s\n' ${times[$side]} | median)"
  declare "${side}_kib=$(printf '%s\n' ${peaks[$side]} | median)"
done
printf '%d MB model, the job (-q): native %s s (peak %s KiB), WebAssembly %s s (peak %s KiB, Node.js included), wasm/native %s; floor (cat) %s s\n' \
  "$size" "$(seconds "$native_ns")" "$native_kib" "$(seconds "$wasm_ns")" "$wasm_kib" \
  "$(ratio "$wasm_ns" "$native_ns")" "$(seconds "$floor_ns")"
