#!/usr/bin/env bash
# Interrupts the release build of model-unpack-batch at random moments, by hand, not in CI:
# TRIALS runs of -C ex -j 2 --glb --png on four generated models of SIZE_MB, each ended by a
# random one of the signals it answers after a random delay, half of them over a folder that
# holds an earlier run's outputs, half over an empty one. Checks after each: the run died by
# that signal (or ended first), no hidden temporary is left, and each model's outputs are
# either all there and byte for byte a whole run's, or (on an empty folder) all absent, and
# no folder the run made is left empty.
# Usage: tools/interrupt_soak.sh [TRIALS] [SIZE_MB]   (default 100 trials, 20 MB)
set -euo pipefail
cd "$(dirname "$0")/.."
trials=${1:-100}
size=${2:-20}
cmake --preset release >/dev/null
cmake --build --preset release --target model-unpack-batch make-large-model >/dev/null
batch=$PWD/build/release/model-unpack-batch
work=$(mktemp -d "${TMPDIR:-/dev/shm}/model-interrupt-XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir models
"$OLDPWD/build/release/tools/make-large-model" "$size" models/a.zmdl
for m in b c d; do ln models/a.zmdl "models/$m.zmdl"; done
run() { (cd "$1" && "$batch" -q -C ex -j 2 --glb --png a b c d); }
mkdir whole && ln models/*.zmdl whole/ && run whole
signals=(HUP INT QUIT TERM USR1 USR2 ALRM XCPU VTALRM PROF IO PWR)
ulimit -c 0
bad=0 ended_first=0
for trial in $(seq "$trials"); do
  rm -rf try && mkdir try && ln models/*.zmdl try/
  (( trial % 2 )) && cp -r whole/ex whole/*.txt whole/*.glb whole/*.png try/
  signal=${signals[RANDOM % ${#signals[@]}]}
  (cd try && exec "$batch" -q -C ex -j 2 --glb --png a b c d 2>/dev/null) &
  pid=$!
  sleep "0.$((RANDOM % 400))"
  kill -s "$signal" "$pid" 2>/dev/null || ended_first=$((ended_first + 1))
  { wait "$pid"; } 2>/dev/null || true
  problem=""
  [ -z "$(find try -name '.*' ! -name . -print -quit)" ] || problem+=" temporaries left;"
  [ -z "$(find try -type d -empty -print -quit)" ] || problem+=" empty folder left;"
  for m in a b c d; do
    present=0
    for f in "$m.txt" "$m.glb" "$m.png" "ex/$m"; do [ -e "try/$f" ] && present=$((present + 1)); done
    if [ "$present" = 4 ]; then
      cmp -s "try/$m.txt" "whole/$m.txt" && cmp -s "try/$m.glb" "whole/$m.glb" &&
        cmp -s "try/$m.png" "whole/$m.png" && diff -r -q "try/ex/$m" "whole/ex/$m" >/dev/null ||
        problem+=" $m differs from a whole run;"
    elif [ "$present" != 0 ]; then
      problem+=" $m has $present of its 4 outputs;"
    fi
  done
  if [ -n "$problem" ]; then
    bad=$((bad + 1))
    echo "trial $trial (SIG$signal):$problem"
  fi
done
echo "trials: $trials, ended before the signal: $ended_first, with a problem: $bad"
[ "$bad" = 0 ]
