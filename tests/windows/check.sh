#!/usr/bin/env bash
# The Windows executables under Wine against this build: every file they write byte for byte,
# standard output the same once CR LF is LF, the same exit statuses; and the interactive tool
# driven by keys put into its console.
# Usage: tests/windows/check.sh LINUX_BUILD WINDOWS_BUILD EXAMPLES   (exit 77: nothing to test)
set -uo pipefail
linux=$(realpath "$1")
windows=$2
examples=$(realpath "$3")
if [ ! -x "$windows/model-unpack-batch.exe" ] || ! command -v wine >/dev/null; then
  echo "skipped: no Windows build (cmake --workflow --preset windows) or no wine"
  exit 77
fi
windows=$(realpath "$windows")
export WINEDEBUG=-all WINEPREFIX="$linux/wineprefix" WINEDLLOVERRIDES="mscoree,mshtml="
work=$(mktemp -d "${TMPDIR:-/tmp}/model-unpack-windows-XXXXXX")
trap 'rm -rf "$work"; wineserver -k 2>/dev/null' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# Runs the same command line in lin/ (this build) and win/ (under Wine) and compares.
compare_batch() {
  local name=$1
  shift
  rm -rf "$work/lin" "$work/win"
  cp -r "$work/models" "$work/lin"
  cp -r "$work/models" "$work/win"
  (cd "$work/lin" && "$linux/model-unpack-batch" "$@" >../lin.out 2>../lin.err)
  local lin_status=$?
  local args=("$@")
  [ ${#win_args[@]} -gt 0 ] && args=("${win_args[@]}")
  (cd "$work/win" && timeout 120 wine "$windows/model-unpack-batch.exe" "${args[@]}" \
    >../win.out 2>../win.err)
  local win_status=$?
  [ "$lin_status" = "$win_status" ] || fail "$name: status $lin_status on Linux, $win_status on Windows"
  diff -r "$work/lin" "$work/win" >/dev/null || fail "$name: files differ: $(diff -rq "$work/lin" "$work/win" | head -3)"
  tr -d '\r' <"$work/win.out" | cmp -s - "$work/lin.out" || fail "$name: standard output differs"
  tr -d '\r' <"$work/win.err" | cmp -s - "$work/lin.err" ||
    fail "$name: standard error differs: $(tr -d '\r' <"$work/win.err" | diff - "$work/lin.err" | head -4)"
}

# What a user downloads: stripped executables that carry their version information and
# manifest, and the sample model to try them on.
for exe in model-unpack model-unpack-batch; do
  headers=$(x86_64-w64-mingw32-objdump -h "$windows/$exe.exe")
  grep -q '\.rsrc' <<<"$headers" || fail "$exe.exe has no resources"
  ! grep -q '\.debug' <<<"$headers" || fail "$exe.exe is not stripped"
  grep -aq 'longPathAware' "$windows/$exe.exe" || fail "$exe.exe has no manifest"
  # The version information's names are UTF-16.
  LC_ALL=C grep -aqP 'P\x00r\x00o\x00d\x00u\x00c\x00t\x00V\x00e\x00r\x00s\x00i\x00o\x00n' \
    "$windows/$exe.exe" || fail "$exe.exe has no version information"
done
zipped=$(unzip -Z1 "$windows"/model-unpack-*-windows-x86_64.zip)
grep -q '/sample\.zmdl$' <<<"$zipped" || fail "the zip holds no sample model"
grep -q '/START-HERE\.txt$' <<<"$zipped" || fail "the zip holds no quick start"
# Every link of its documents leads to a file in the zip.
unzip -q "$windows"/model-unpack-*-windows-x86_64.zip -d "$work/zip"
while IFS=: read -r page target; do
  target=${target%%#*}
  [ -z "$target" ] || [ -e "$(dirname "$page")/$target" ] || fail "${page#"$work"/zip/}: a broken link to $target"
done < <(grep -oH '](\([^)h#][^)]*\))' "$work"/zip/*/*.md "$work"/zip/*/docs/*.md | sed 's/\](\(.*\))$/\1/; s/:](/:/')

# A new Wine prefix says so on standard error once: made here, before anything is compared.
timeout 120 wine "$windows/model-unpack-batch.exe" --version >/dev/null 2>&1

mkdir -p "$work/models"
cp "$examples/sample.zmdl" "$work/models/"
"$linux/tools/make-soak-models" 40 "$work/models" 7 >/dev/null
for kind in bodies names materials repeated; do
  "$linux/tools/make-hostile-model" "$kind" 0.3 "$work/models/$kind.zmdl"
done
win_args=()
compare_batch "every model" -C ex --glb --png --png-size 64 -j 2 sample bodies names materials \
  repeated m1 m2 m3 m4 m5 m6 m7 m8 m9 m10 m11 m12 m13 m14 m15 m16 m17 m18 m19 m20
compare_batch "no job" -q --no-job --glb --png m21 m22 m23 m24 absent
compare_batch "a missing model" sample absent
compare_batch "a usage error" -j
compare_batch "a clash" --glb sample sample.glb
# A Windows path for -C: Z: is the Linux root under Wine.
win_args=(-C "Z:${work//\//\\}\\win\\ex" sample m1)
compare_batch "-C with a drive" -C "$work/lin/ex" sample m1
win_args=()
# No Windows shell expands wildcards: the tool does, in model names only, in name order; a
# name that matches nothing stays as it is, as a POSIX shell leaves it.
mapfile -t ones < <(cd "$work/models" && LC_ALL=C ls -d m1?.zmdl)
win_args=(-C ex "m1?.zmdl" "nomatch*")
compare_batch "wildcards" -C ex "${ones[@]}" "nomatch*"
win_args=()

# An exports folder whose path Windows cannot give back (about 265 characters and more, under
# Wine): an error for that model, and nothing written outside the folders asked for (before,
# the export files went to the root of the current drive, Z: being / here).
long=$(printf 'd%.0s' $(seq 1 120))
rm -rf "$work/win" && cp -r "$work/models" "$work/win"
roots_before=$(ls / | sort)
(cd "$work/win" && timeout 120 wine "$windows/model-unpack-batch.exe" -q -C "$long/$long/$long" \
  sample >/dev/null 2>&1)
long_status=$?
[ "$(ls / | sort)" = "$roots_before" ] || fail "a long exports folder: files written in the drive's root"
[ "$long_status" = 1 ] || [ -f "$work/win/$long/$long/$long/sample/pos.txt" ] ||
  fail "a long exports folder: status $long_status and no export files where asked"

# A read-only glb is refused, as a read-only info file is, and stays as it was.
rm -rf "$work/ro" && mkdir "$work/ro" && cp "$examples/sample.zmdl" "$work/ro/"
echo kept >"$work/ro/sample.glb"
(cd "$work/ro" && timeout 60 wine cmd /c attrib +r sample.glb >/dev/null 2>&1 &&
  timeout 120 wine "$windows/model-unpack-batch.exe" --glb sample >ro.out 2>ro.err)
ro_status=$?
[ "$ro_status" = 1 ] && [ "$(cat "$work/ro/sample.glb")" = kept ] &&
  tr -d '\r' <"$work/ro/ro.out" | grep -q 'Error writing sample.glb :(' ||
  fail "a read-only glb: status $ro_status, $(head -c 80 "$work/ro/sample.glb" | tr -dc '[:print:]')"

# Both tools give the console back with the code page they found (they switch it to UTF-8).
pages=$(cd "$work" && timeout 60 script -qfec "wine cmd /c 'chcp 437 & \
  $(winepath -w "$windows/model-unpack-batch.exe") --version & chcp & \
  $(winepath -w "$windows/model-unpack-batch.exe") -q absent & chcp & \
  $(winepath -w "$windows/model-unpack.exe") <NUL & chcp'" /dev/null 2>/dev/null |
  tr -d '\r' | sed 's/\x1b\[[0-9;?]*[a-zA-Z]//g' | grep -ao 'code page: [0-9]*' | sort -u)
[ "$pages" = "code page: 437" ] || fail "code pages after the tools: $(echo $pages)"

# The interactive tool, with keys put into its console; Wine gives a program a console when it
# is started on a terminal, which script(1) provides.
interactive() {
  local name=$1 keys=$2 expected_status=$3
  rm -rf "$work/int" && mkdir "$work/int" && cp "$examples/sample.zmdl" "$work/int/"
  cp "$examples/sample.zmdl" "$work/int/other.zmdl"
  (cd "$work/int" && timeout 60 script -qfec \
    "wine '$windows/inject-keys.exe' '$keys' out.txt '$windows/model-unpack.exe'" /dev/null \
    >/dev/null)
  local status=$?
  [ "$status" = "$expected_status" ] || fail "$name: exit status $status"
  tr -d '\r' <"$work/int/out.txt" >"$work/int.out"
}
batch_lines() {
  (cd "$work/lin" && rm -f ./*.txt && "$linux/model-unpack-batch" "$@" 2>/dev/null)
}
greeting="Esc to exit. Press '1' to enter file name"
rm -rf "$work/lin" && cp -r "$work/models" "$work/lin" && cp "$work/lin/sample.zmdl" "$work/lin/other.zmdl"

interactive "the sample" $'1sample\r\x1b' 0
{ printf '%s\nEnter filename: ' "$greeting"; batch_lines sample; printf '\n%s\n' "$greeting"; } >"$work/expected"
cmp -s "$work/expected" "$work/int.out" || fail "the sample: console lines differ"
for file in "$examples"/sample-output/*; do
  cmp -s "$file" "$work/int/$(basename "$file")" || fail "the sample: $(basename "$file") differs"
done

interactive "two names typed ahead" $'1sample\r1other\r\x1b' 0
{
  printf '%s\nEnter filename: ' "$greeting"; batch_lines sample
  printf '\n%s\nEnter filename: ' "$greeting"; batch_lines other; printf '\n%s\n' "$greeting"
} >"$work/expected"
cmp -s "$work/expected" "$work/int.out" || fail "two names typed ahead: console lines differ"

interactive "keys without a character" $'{up}{f5}{left}{f1}2{down}1sample\r{f10}\x1b' 0
{ printf '%s\nEnter filename: ' "$greeting"; batch_lines sample; printf '\n%s\n' "$greeting"; } >"$work/expected"
cmp -s "$work/expected" "$work/int.out" || fail "keys without a character: console lines differ"

long=$(printf 'n%.0s' $(seq 1 300))
interactive "a name too long" "1${long}"$'\r\x1b' 0
printf '%s\nEnter filename: File name too long :(\n\n%s\n' "$greeting" "$greeting" >"$work/expected"
cmp -s "$work/expected" "$work/int.out" || fail "a name too long: console lines differ"

interactive "a missing model" $'1absent\r\x1b' 0
grep -q "^Error opening input file :(\$" "$work/int.out" || fail "a missing model: no error line"

if [ "$failures" -gt 0 ]; then
  echo "$failures failed"
  exit 1
fi
echo "Windows executables under $(wine --version): all outputs as on Linux"
