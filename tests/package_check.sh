#!/usr/bin/env bash
# Builds the Debian package and the tarball from a build tree and checks what a user installing
# them relies on: every shared library the binaries need is declared in Depends (or comes with
# the C and C++ runtime), the man pages carry the version, the tarball has bin/ and share/man/.
# Usage: package_check.sh BUILD_DIR VERSION
set -euo pipefail
build=$1
version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "package check: $*" >&2; exit 1; }

cpack --config "$build/CPackConfig.cmake" -G "DEB;TGZ" -B "$work" >/dev/null 2>&1 ||
  fail "cpack failed"
deb=$(ls "$work"/*.deb)
tarball=$(ls "$work"/*.tar.gz)

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
# The packages a user gets with this one: those named in Depends and, since apt installs what
# they depend on in turn, theirs (a library of a library, such as libgcc-s1 under libstdc++6).
names_in() { tr ',|' '\n\n' <<<"$1" | awk 'NF {print $1}' | cut -d: -f1; }
declared=" libc6 libstdc++6 libgcc-s1 "
pending=$(names_in "$depends")
while [ -n "$pending" ]; do
  next=""
  for package in $pending; do
    [[ $declared == *" $package "* ]] && continue
    declared+="$package "
    next+=" $(names_in "$(dpkg-query -W -f='${Depends},${Pre-Depends}' "$package" 2>/dev/null)")"
  done
  pending=$(xargs -n1 <<<"$next" | sort -u)
done

dpkg-deb -x "$deb" "$work/root"
for binary in "$work"/root/usr/bin/*; do
  while read -r library; do
    # With /usr merged, a library may be known to dpkg under /lib or /usr/lib.
    package=""
    for path in "$library" "/usr$library" "${library#/usr}"; do
      package=$(dpkg -S "$path" 2>/dev/null | head -n 1 | cut -d: -f1) && [ -n "$package" ] && break
    done
    [ -n "$package" ] || fail "$(basename "$binary") needs $library, which no package provides"
    [[ $declared == *" $package "* ]] ||
      fail "$(basename "$binary") needs $library from $package, not in Depends ($depends) nor theirs"
  done < <(ldd "$binary" | awk '$2 == "=>" && $3 ~ /^\// {print $3}')
done

for page in "$work"/root/usr/share/man/man1/*.1.gz; do
  zcat "$page" | head -n 1 | grep -q "\"model-unpack $version\"" ||
    fail "$(basename "$page") does not carry the version $version"
done

listing=$(tar tzf "$tarball")
for wanted in bin/model-unpack bin/model-unpack-batch share/man/man1/model-unpack.1.gz \
  share/man/man1/model-unpack-batch.1.gz; do
  grep -q "/$wanted\$" <<<"$listing" || fail "the tarball has no $wanted"
done
echo "package check: passed"
