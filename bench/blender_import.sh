#!/usr/bin/env bash
# The Blender add-on's import against Blender's glTF importer on the 100 MB generated model and
# on one of 1,000,000 small triangles (58 MB), on tmpfs (bench/blender_import.py says how).
# Usage: bench/blender_import.sh [RUNS]   (after the release build; by hand, not in CI)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d /dev/shm/blender-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT
for size in 58 100; do
  "$root/build/release/tools/make-large-model" "$size" "$work/m$size.zmdl"
  BLENDER_USER_SCRIPTS="$work/scripts" BLENDER_USER_CONFIG="$work/config" \
    blender -b --factory-startup --python "$root/bench/blender_import.py" -- \
    "$root"/build/release/model-unpack-blender-*.zip "$work/m$size.zmdl" "${1:-3}" 2>&1 |
    grep -E '^(RESULT|gltf importer)' | sort -u
done
