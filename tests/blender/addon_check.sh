#!/usr/bin/env bash
# The Blender add-on in Debian's Blender, in a window under Xvfb (undo needs one): installed
# from its zip, it imports what the batch tool writes; nothing is left beside the models or in
# the temporary folder. Exit 77 without Blender (script/bootstrap blender).
# Usage: addon_check.sh BUILD_DIR SOURCE_DIR
set -uo pipefail
build=$(realpath "$1")
source=$(realpath "$2")
command -v blender >/dev/null && command -v xvfb-run >/dev/null ||
  { echo "skipped: no blender or xvfb-run (script/bootstrap blender)"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/models" "$work/tmp" "$work/scripts" "$work/config"
cd "$work/models" || exit 1
cp "$source/examples/sample.zmdl" .
for kind in bodies materials repeated names directory; do
  "$build/tools/make-hostile-model" "$kind" 0.05 "$kind.zmdl"
done
head -c 1200 sample.zmdl >cut.zmdl   # normals cut short, material numbers gone
listing=$(ls -la --time-style=+ .)

status=0
TMPDIR="$work/tmp" BLENDER_USER_SCRIPTS="$work/scripts" BLENDER_USER_CONFIG="$work/config" \
  timeout 300 xvfb-run -a blender --factory-startup --python "$source/tests/blender/addon_check.py" \
  -- "$build"/model-unpack-blender-*.zip "$build/model-unpack-batch" "$work/models" >"$work/out" 2>&1 ||
  status=1
grep -E '^FAIL|faults$' "$work/out"
grep -q '^0 faults$' "$work/out" || { tail -20 "$work/out"; status=1; }
# The reports carry the tool's own lines.
grep -q 'Error opening input file absent.zmdl :(' "$work/out" || { echo "no report of the absent model"; status=1; }
grep -q 'Warning: normals: 3 of 4 elements lie past the end of the file' "$work/out" ||
  { echo "no report of the damaged model's warnings"; status=1; }
[ "$(ls -la --time-style=+ .)" = "$listing" ] || { echo "files written beside the models"; status=1; }
[ -z "$(ls -A "$work/tmp" | grep model-unpack)" ] || { echo "temporary folders left: $(ls "$work/tmp")"; status=1; }
exit $status
