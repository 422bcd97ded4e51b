#!/usr/bin/env bash
# A soak through the real binary, run by hand: COUNT random models (every kind, random counts,
# truncations, offsets and indices out of range, NaN and infinite floats, counts far past the
# end), converted by the ASan+UBSan build of model-unpack-batch with -C, -j 2, --glb and --png.
# Checks: no sanitizer report, exit statuses 0 or 1 only, every model file unchanged, no hidden
# temporary left, and no validator error in a random sample of the glbs.
# Usage: tools/soak.sh [COUNT] [SAMPLE]   (default 20000 models, 500 glbs validated)
set -euo pipefail
cd "$(dirname "$0")/.."
count=${1:-20000}
sample=${2:-500}
root=$PWD
cmake --preset asan >/dev/null
cmake --build --preset asan --target model-unpack-batch make-soak-models >/dev/null
[ -d tests/gltf/node_modules ] || npm ci --prefix tests/gltf --no-audit --no-fund >/dev/null
work=$(mktemp -d "${TMPDIR:-/tmp}/model-soak-XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/models"
build/asan/tools/make-soak-models "$count" "$work/models" 7
(cd "$work/models" && sha256sum ./*.zmdl | sort >"$work/before.sha")

cd "$work/models"
export ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1
statuses=()
start=$(date +%s)
batch=0
# 500 models per run of the tool, so command lines stay short.
find . -name '*.zmdl' | sort | xargs -n 500 echo >"$work/batches"
while read -r -a models; do
  set +e
  "$root/build/asan/model-unpack-batch" -q -C "$work/exports" -j 2 --glb --png --png-size 64 \
    "${models[@]}" 2>>"$work/stderr.txt"
  status=$?
  set -e
  statuses+=("$status")
  batch=$((batch + 1))
done <"$work/batches"
seconds=$(($(date +%s) - start))

(sha256sum ./*.zmdl | sort >"$work/after.sha")
changed=$(diff "$work/before.sha" "$work/after.sha" | grep -c '^>' || true)
reports=$(grep -c -E 'ERROR: AddressSanitizer|ERROR: LeakSanitizer|runtime error:' \
  "$work/stderr.txt" || true)
bad_status=0
for status in "${statuses[@]}"; do [ "$status" = 0 ] || [ "$status" = 1 ] || bad_status=$((bad_status + 1)); done
temporaries=$(find . "$work/exports" -name '.*' ! -name . | wc -l)
glbs=$(find . -name '*.glb' | wc -l)
pngs=$(find . -name '*.png' | wc -l)
mapfile -t chosen < <(find . -name '*.glb' | shuf -n "$sample" --random-source=<(yes))
set +e
node "$root/tests/gltf/validate.js" "${chosen[@]}" >"$work/validator.txt"
validator=$?
set -e
invalid=$(grep -E '^\./' "$work/validator.txt" | grep -c -v ': 0 errors,' || true)

echo "models: $count in $batch runs of the tool, $seconds s"
echo "exit statuses: ${statuses[*]}"
echo "runs with a status other than 0 or 1: $bad_status"
echo "sanitizer reports: $reports"
echo "model files changed: $changed"
echo "hidden temporaries left: $temporaries"
echo "glbs written: $glbs, pngs written: $pngs"
echo "glbs validated: ${#chosen[@]}, with errors: $invalid (validator exit $validator)"
[ "$bad_status" = 0 ] && [ "$reports" = 0 ] && [ "$changed" = 0 ] && [ "$temporaries" = 0 ] &&
  [ "$invalid" = 0 ]
