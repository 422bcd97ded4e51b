#!/usr/bin/env bash
# The batch tool's --json lines against their schema, with a real validator (ajv), on sample,
# generated, hostile and damaged models: each line valid, each model's events in order, each
# file event true to the file; -j 2 gives the lines -j 1 gives.
# Usage: report_check.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$(realpath "$1")
source=$(realpath "$2")
checks="$source/tests/report"
[ -d "$checks/node_modules/ajv" ] || { echo "npm ci --prefix tests/report first (script/bootstrap test)"; exit 1; }
batch="$build/model-unpack-batch"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

"$build/make-sample-model" sample.zmdl >/dev/null
"$build/tools/make-large-model" 2 large.zmdl
for kind in directory bodies repeated materials names; do
  "$build/tools/make-hostile-model" "$kind" 1 "$kind.zmdl"
done
head -c 1500 sample.zmdl >cut.zmdl            # ends inside a block
head -c 100 sample.zmdl >short.zmdl           # ends inside the directory
head -c 10 sample.zmdl >tiny.zmdl             # ends inside the header
head -c 4000 /dev/urandom >random.zmdl
cp sample.zmdl "$(printf 'caf\xe9.zmdl')"     # a name that is not UTF-8
models=(sample large directory bodies repeated materials names cut short tiny random
        "$(printf 'caf\xe9')" absent)

status=0
run() {  # OUTPUT ARGS...: the run's lines into OUTPUT; its status must be 0 or 1
  local out=$1
  shift
  "$batch" --json "$@" >"$out" 2>/dev/null || [ $? -eq 1 ] || { echo "$* failed"; status=1; }
}
mkdir one two
cp -- *.zmdl one/
cp -- *.zmdl two/
(cd one && run ../one.jsonl -C ex -j 1 --glb --png "${models[@]}")
(cd two && run ../two.jsonl -C ex -j 2 --glb --png "${models[@]}")
cmp -s one.jsonl two.jsonl || { echo "-j 2 differs from -j 1"; status=1; }
run list.jsonl --list "${models[@]}"
run mesh.jsonl --no-job --glb "${models[@]}"
(cd one && node "$checks/validate.mjs" "$source/docs/report.schema.json" ../one.jsonl) || status=1
node "$checks/validate.mjs" "$source/docs/report.schema.json" list.jsonl mesh.jsonl || status=1

# A listing and a job tell the same header and directory.
grep -h '"event":"\(header\|block\|directory\)"' list.jsonl >listed
grep -h '"event":"\(header\|block\|directory\)"' one.jsonl >converted
cmp -s listed converted || { echo "a listing and a job differ"; status=1; }
exit $status
