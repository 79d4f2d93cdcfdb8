#!/bin/sh
# Builds the Debian packages of this checkout (debian/) into OUTDIR, default
# build/packages: libz418kt08-1, libz418kt-dev, z418kt, python3-z418kt.
#   scripts/build-packages.sh [OUTDIR]
# dpkg-buildpackage writes next to the tree it builds, so the checkout's
# files (committed or not, ignored ones left out) are copied to
# OUTDIR/z418kt-VERSION first. The copy keeps its build directory and the
# files' times, so the next run compiles only what changed; a fresh OUTDIR
# is a clean build. Prints how long the build took.
set -eu
source_dir=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$source_dir/build/packages}
mkdir -p "$out"
out=$(cd "$out" && pwd)
version=$(dpkg-parsechangelog -l "$source_dir/debian/changelog" -S Version)
tree="$out/z418kt-$version"
mkdir -p "$tree"

cd "$source_dir"
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  git ls-files -z --cached --others --exclude-standard
else
  find . -path './build*' -prune -o ! -type d -print0 | sed -z 's|^\./||'
fi | sort -z >"$out/files"
# Newer files replace their copy; files gone from the checkout leave it.
xargs -0 -r sh -c 'for f; do [ -e "$f" ] && printf "%s\0" "$f"; done' sh <"$out/files" |
  xargs -0 -r cp --parents -p -u -t "$tree"
(cd "$tree" && find . -path ./obj-deb -prune -o -path ./debian -prune -o ! -type d -print0 |
  sed -z 's|^\./||' | sort -z) >"$out/copied"
comm -z -13 "$out/files" "$out/copied" | (cd "$tree" && xargs -0 -r rm -f)

rm -f "$out"/*.deb "$out"/*.buildinfo "$out"/*.changes
# dh skips configure and build when its stamp says they were done: they
# must run every time, and make then compiles only what changed.
rm -f "$tree/debian/debhelper-build-stamp"
# What an earlier build listed (a debug package, say) is not this build's.
rm -f "$tree/debian/files"
start=$(date +%s)
(cd "$tree" && dpkg-buildpackage --build=binary --no-sign --no-pre-clean -j"${JOBS:-$(nproc)}")
echo "packages built in $(($(date +%s) - start)) s:"
ls "$out"/*.deb
