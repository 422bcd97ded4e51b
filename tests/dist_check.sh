#!/usr/bin/env bash
# The release folder as a user downloads it: SHA256SUMS verifies and names every artifact, and
# each artifact carries the MIT licence, the third-party notices and the version, in its name
# and in its own metadata.
# Usage: dist_check.sh DIST_DIR VERSION   (exits 77 when the folder has not been built)
set -euo pipefail
dist=$(cd "$1" 2>/dev/null && pwd) || { echo "no $1: run cmake --workflow --preset dist"; exit 77; }
version=$2
[ -f "$dist/SHA256SUMS" ] || { echo "no $dist: run cmake --workflow --preset dist"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "dist check: $*" >&2; exit 1; }
mit='Permission is hereby granted, free of charge'

(cd "$dist" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not verify"
listed=$(awk '{print $2}' "$dist/SHA256SUMS" | sort)
present=$(cd "$dist" && ls | grep -vx SHA256SUMS | sort)
[ "$listed" = "$present" ] || fail "SHA256SUMS lists '$listed', the folder holds '$present'"
for name in $present; do
  [[ $name == *"$version"* ]] || fail "$name lacks the version $version"
done

# has FILE TEXT...: FILE holds each TEXT.
has() {
  local file=$1 text
  shift
  for text in "$@"; do grep -qF -- "$text" "$file" || fail "${file#"$work"/} lacks '$text'"; done
}

deb=$dist/model-unpack_${version}_amd64.deb
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "the Debian package's version"
dpkg-deb -x "$deb" "$work/deb"
has "$work/deb/usr/share/doc/model-unpack/copyright" "License: Expat" "$mit"
has "$work/deb/usr/share/doc/model-unpack/THIRD-PARTY-NOTICES.txt" nlohmann-json3-dev libstb-dev
zcat "$work/deb/usr/share/doc/model-unpack/changelog.gz" | head -1 |
  grep -qF "model-unpack ($version)" || fail "the Debian changelog's newest entry"

top=model-unpack-$version-linux-x86_64
tar -xzf "$dist/$top.tar.gz" -C "$work"
has "$work/$top/share/doc/model-unpack/copyright" "$mit"
has "$work/$top/share/doc/model-unpack/THIRD-PARTY-NOTICES.txt" nlohmann-json3-dev
"$work/$top/bin/model-unpack-batch" --version | grep -qx "model-unpack-batch $version" ||
  fail "the tarball's model-unpack-batch --version"

tar -xzf "$dist/model-unpack-$version.tgz" -C "$work"
has "$work/package/package.json" "\"version\": \"$version\"" '"license": "MIT"'
has "$work/package/LICENSE" "$mit"
has "$work/package/THIRD-PARTY-NOTICES.txt" wasi-libc nlohmann-json3-dev

zip=model-unpack-$version-windows-x86_64
(cd "$work" && cmake -E tar xf "$dist/$zip.zip")
has "$work/$zip/LICENSE.txt" "$mit"
has "$work/$zip/THIRD-PARTY-NOTICES.txt" mingw-w64 nlohmann-json3-dev
has "$work/$zip/model-unpack-batch.exe" "model-unpack-batch $version"

has "$work/package/report.schema.json" '"$schema": "https://json-schema.org/draft/2020-12/schema"'
cmp -s "$work/package/report.schema.json" "$dist/model-unpack-$version-report.schema.json" ||
  fail "the npm package's schema is not the release folder's"

# The Blender add-on: its version, the licence, both tools of this release.
(cd "$work" && cmake -E tar xf "$dist/model-unpack-blender-$version.zip")
addon=$work/model_unpack_zmdl
has "$addon/__init__.py" "\"version\": (${version//./, })"
has "$addon/LICENSE.txt" "$mit"
has "$addon/THIRD-PARTY-NOTICES.txt" mingw-w64
has "$addon/bin/linux-x86_64/model-unpack-batch" "model-unpack-batch $version"
has "$addon/bin/windows-x86_64/model-unpack-batch.exe" "model-unpack-batch $version"

page=$dist/model-unpack-$version.html
has "$page" "<meta name=\"generator\" content=\"model-unpack $version\">" "$mit" three/LICENSE fflate/LICENSE
echo "build/dist: $(wc -w <<<"$present") artifacts, each with the licence and version $version"
