#!/usr/bin/env bash
# Compares two builds of the job side by side on one generated model, on tmpfs: the runs of A
# and B alternate, each in a new folder removed afterwards; medians, and the floor (cat of the
# model and of the job's output bytes into new files) measured between them.
# Usage: bench/ab_jobs.sh RUN_JOB_A RUN_JOB_B [RUNS] [SIZE_MB]   (default: 9 runs, 100 MB)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
source "$here/bench/timing.sh"
a=$(realpath "$1")
b=$(realpath "$2")
runs=${3:-9}
size=${4:-100}
work=$(mktemp -d "${TMPDIR:-/dev/shm}/model-ab-XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
"$here/build/release/tools/make-large-model" "$size" model.zmdl
mkdir reference && ln model.zmdl reference/model.zmdl && (cd reference && "$a" model >/dev/null)

time_in_fresh_folder() {
  local run start
  run=$(mktemp -d "$work/run-XXXXXX")
  ln model.zmdl "$run/model.zmdl"
  start=$(now)
  (cd "$run" && "$1" model >/dev/null)
  echo $(($(now) - start))
  rm -rf "$run"
}
floor() {
  local run start
  run=$(mktemp -d "$work/run-XXXXXX")
  start=$(now)
  cat model.zmdl >"$run/model.copy"
  for f in reference/*.txt; do cat "$f" >"$run/${f##*/}"; done
  echo $(($(now) - start))
  rm -rf "$run"
}
times_a=() times_b=() floors=()
for _ in $(seq "$runs"); do
  times_a+=("$(time_in_fresh_folder "$a")")
  floors+=("$(floor)")
  times_b+=("$(time_in_fresh_folder "$b")")
done
m_a=$(printf '%s\n' "${times_a[@]}" | median)
m_b=$(printf '%s\n' "${times_b[@]}" | median)
m_f=$(printf '%s\n' "${floors[@]}" | median)
echo "A $(seconds "$m_a") s ($(ratio "$m_a" "$m_f") x floor), B $(seconds "$m_b") s ($(ratio "$m_b" "$m_f") x floor), floor $(seconds "$m_f") s, B/A $(ratio "$m_b" "$m_a")"
