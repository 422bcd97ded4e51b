#!/usr/bin/env bash
# The npm package as a user gets it: installed from its tarball with npm install -g, its
# model-unpack-batch run beside the native one on the sample, builder-made and hostile models,
# with relative and absolute paths, folder links, a name that is not UTF-8, a closed standard
# output, -C, -q, --glb, --png, a missing model and a usage error:
# standard output, standard error, exit status and every file written byte-identical.
# Usage: package_check.sh NATIVE_BUILD_DIR TARBALL EXAMPLES_DIR
# Exits 77 (skipped) when the tarball has not been built (cmake --workflow --preset wasm).
set -euo pipefail
native=$1/model-unpack-batch
tarball=$2
examples=$3
[ -f "$tarball" ] || { echo "no $tarball: run cmake --workflow --preset wasm"; exit 77; }
work=$(mktemp -d "${TMPDIR:-/tmp}/wasm-check-XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "wasm package check: $*" >&2; exit 1; }

npm install -g --prefix "$work/npm" --no-audit --no-fund "$tarball" >/dev/null 2>&1 ||
  fail "npm install -g failed"
wasm=$work/npm/bin/model-unpack-batch
[ -x "$wasm" ] || fail "no model-unpack-batch in the installed package"

mkdir -p "$work/models"
cp "$examples/sample.zmdl" "$work/models/"
"$1/tools/make-soak-models" 60 "$work/models" 3 >/dev/null
"$1/tools/make-hostile-model" bodies 1 "$work/models/bodies.zmdl"
"$1/tools/make-hostile-model" repeated 1 "$work/models/repeated.zmdl"
# Large enough for its mesh to grow the module's memory by hundreds of megabytes.
"$1/tools/make-hostile-model" bodies 30 "$work/models/large.zmdl"
mkdir -p "$work/models/real/sub"
cp "$examples/sample.zmdl" "$work/models/real/"
ln -s . "$work/models/here"
cp "$examples/sample.zmdl" "$work/models/"$'caf\xe9.zmdl'
ln -s real/sub "$work/models/deep"

# Each command runs in a fresh copy of the models for each tool, at the same place, since
# absolute names reach the files; "ABS" stands for that place, "CAFE" for a name in Latin-1
# (not valid UTF-8: bash's read cannot split it, so it comes in afterwards).
commands=(
  "sample.zmdl"
  "-C ex --glb --png --png-size 64 m*.zmdl sample.zmdl bodies.zmdl repeated.zmdl"
  "-q -j 2 -C ABS/out --glb ABS/sample.zmdl m1.zmdl missing.zmdl"
  "--no-job --png ./sample.zmdl"
  "--exports-dir=ex2 -qC ex3 m2.zmdl"
  "--png-size 9 sample.zmdl"
  "--glb sample.zmdl sample"
  "--no-job --glb large"
  "-C ex sample here/sample"
  "deep/../sample"
  "CAFE"
  "CLOSED sample"
)
for i in "${!commands[@]}"; do
  for side in native wasm; do
    run=$work/here
    rm -rf "$run"
    mkdir -p "$run" "$work/run$i"
    cp -r "$work/models" "$run/models"
    read -r -a args <<<"${commands[$i]//ABS/$run/models}"
    args=("${args[@]//CAFE/$'caf\xe9'}")
    tool=$native
    [ $side = wasm ] && tool=$wasm
    set +e
    if [ "${args[0]}" = CLOSED ]; then  # standard output closed
      (cd "$run/models" && "$tool" "${args[@]:1}" >&- 2>../stderr </dev/null)
    else
      (cd "$run/models" && eval "$tool $(printf '%q ' "${args[@]}")" >../stdout 2>../stderr </dev/null)
    fi
    echo $? >"$run/status"
    set -e
    mv "$run" "$work/run$i/$side"
  done
  diff -r --no-dereference "$work/run$i/native" "$work/run$i/wasm" >"$work/diff" 2>&1 ||
    fail "'${commands[$i]}' differs: $(head -c 2000 "$work/diff")"
  echo "same: ${commands[$i]} (status $(cat "$work/run$i/native/status"))"
done
