#!/usr/bin/env bash
# Compares two builds of the batch tool side by side, on tmpfs: the runs of A and B alternate,
# each in a new folder removed afterwards; medians, with the floor's median (the models read,
# and the info and export files of one run written anew as two files, as many times) after:
#   -j 1 and -j 2 with -C on MODELS generated models of 1 MB each;
#   the job with -C on one generated model of SIZE_MB, and its glb and png alone (no floor);
# then the peak memory of each on two directory models of DIRECTORY_MB at -j 2, with /tmp
# read-only (a private mount namespace: root only; skipped otherwise).
# Usage: bench/ab_batch.sh BATCH_A BATCH_B [RUNS] [MODELS] [SIZE_MB] [DIRECTORY_MB]
#        (default: 7 runs, 200 models, 100 MB, 150 MB)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
source "$here/bench/timing.sh"
a=$(realpath "$1")
b=$(realpath "$2")
runs=${3:-7}
models=${4:-200}
size=${5:-100}
directory_mb=${6:-150}
tools=$here/build/release/tools
work=$(mktemp -d "${TMPDIR:-/dev/shm}/model-ab-batch-XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

mkdir small large
"$tools/make-large-model" 1 small/m0.zmdl
for i in $(seq 1 $((models - 1))); do ln small/m0.zmdl "small/m$i.zmdl"; done
"$tools/make-large-model" "$size" large/big.zmdl
names=()
for i in $(seq 0 $((models - 1))); do names+=("m$i"); done

# A new folder holding links to the models of SET (small or large); prints its path.
fresh() {
  local run
  run=$(mktemp -d "$work/run-XXXXXX")
  ln "$1"/*.zmdl "$run/"
  echo "$run"
}
# Runs TOOL -C out ARGS... on the models of SET in a new folder; prints the nanoseconds.
time_run() {
  local set=$1 tool=$2 run start
  shift 2
  run=$(fresh "$set")
  start=$(now)
  (cd "$run" && "$tool" -C out "$@" >/dev/null)
  echo $(($(now) - start))
  rm -rf "$run"
}
# What any tool must move: the models and one run's outputs read and written anew.
floor() {
  local set=$1 run copy start
  shift
  run=$(fresh "$set")
  (cd "$run" && "$a" -C out "$@" >/dev/null)
  copy=$(mktemp -d "$work/copy-XXXXXX")
  start=$(now)
  find "$run" -type f -name '*.zmdl' -print0 | xargs -0 cat >/dev/null
  find "$run/out" "$run" -maxdepth 1 -type f -name '*.txt' -print0 | xargs -0 cat >"$copy/info"
  find "$run/out" -mindepth 2 -type f -print0 | xargs -0 cat >"$copy/exports"
  echo $(($(now) - start))
  rm -rf "$run" "$copy"
}

# Runs A and B alternately on SET with ARGS; sets ma and mb, their medians in nanoseconds.
time_both() {
  local set=$1 times_a=() times_b=()
  shift
  for _ in $(seq "$runs"); do
    times_a+=("$(time_run "$set" "$a" "$@")")
    times_b+=("$(time_run "$set" "$b" "$@")")
  done
  ma=$(printf '%s\n' "${times_a[@]}" | median)
  mb=$(printf '%s\n' "${times_b[@]}" | median)
}

compare() {
  local label=$1 set=$2 floors=() mf
  shift 2
  time_both "$set" "$@"
  for _ in $(seq "$runs"); do floors+=("$(floor "$set" "$@")"); done
  mf=$(printf '%s\n' "${floors[@]}" | median)
  printf '%s: A %s s, B %s s, B/A %s (floor %s s, B/floor %s)\n' "$label" "$(seconds "$ma")" \
    "$(seconds "$mb")" "$(ratio "$mb" "$ma")" "$(seconds "$mf")" "$(ratio "$mb" "$mf")"
}

# The same without a floor, for runs that write no info or export files.
compare_alone() {
  local label=$1 set=$2
  shift 2
  time_both "$set" "$@"
  printf '%s: A %s s, B %s s, B/A %s\n' "$label" "$(seconds "$ma")" "$(seconds "$mb")" \
    "$(ratio "$mb" "$ma")"
}

compare "$models models of 1 MB, -j 1" small -j 1 "${names[@]}"
compare "$models models of 1 MB, -j 2" small -j 2 "${names[@]}"
compare "$size MB model" large big
compare_alone "$size MB model, --no-job --glb --png" large --no-job --glb --png big

if [ "$(id -u)" -ne 0 ] || ! command -v unshare >/dev/null; then
  echo "peak memory with /tmp read-only: skipped (needs root for a mount namespace)"
  exit 0
fi
"$tools/make-hostile-model" directory "$directory_mb" d.zmdl
ln d.zmdl e.zmdl
for tool in "$a" "$b"; do
  run=$(mktemp -d "$work/run-XXXXXX")
  ln d.zmdl e.zmdl "$run/"
  unshare -m sh -c 'mount -t tmpfs -o ro,size=1m tmpfs /tmp && cd "$1" &&
    /usr/bin/time -f %M -o peak.txt "$2" -C ex -j 2 d e | wc -c >bytes.txt' _ "$run" "$tool"
  printf '%s: two %d MB directory models at -j 2, /tmp read-only: peak %s KiB, %s bytes of lines\n' \
    "$([ "$tool" = "$a" ] && echo A || echo B)" "$directory_mb" "$(cat "$run/peak.txt")" \
    "$(cat "$run/bytes.txt")"
  rm -rf "$run"
done
