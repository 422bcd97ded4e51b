# Helpers shared by the benchmark scripts (sourced): times in nanoseconds, their median, and
# how they are printed.
now() { date +%s%N; }
# Median of the numbers on standard input.
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
seconds() { awk -v ns="$1" 'BEGIN { printf "%.3f", ns / 1e9 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

# Where a script measures: on tmpfs (TMPDIR, or /dev/shm) unless its first arguments are
# --disk DIR, then in DIR with a sync before each timed run. Sets base, settle and
# place_arguments (how many arguments it took).
choose_place() {
  base=${TMPDIR:-/dev/shm}
  settle=:
  place_arguments=0
  if [ "${1:-}" = --disk ]; then
    base=$2
    settle=sync
    place_arguments=2
  fi
}

build_release() {
  cmake --preset release >/dev/null
  cmake --build --preset release >/dev/null
}
