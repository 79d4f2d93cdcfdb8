#!/bin/sh
# The Debian packages as an administrator gets them: built from this tree
# with the Debian tools (scripts/build-packages.sh, kept in BUILD/packages so
# a second run compiles only what changed), checked by lintian, unpacked into
# a throwaway root and used from there (the command, the man pages, a C++
# consumer through CMake and pkg-config, the Python module from Debian's
# package and pip-installed into a fresh venv of the first python3 on PATH,
# the unit), and, when run as root on a machine without them, installed with
# dpkg and purged again, leaving nothing behind. Set by package_tests.cmake:
# BUILD PREFIX SOURCE WORK CXX SANITIZE.
set -eu
fail() { echo "$@" && exit 1; }
for tool in dpkg-buildpackage dh lintian pandoc; do
  command -v "$tool" >/dev/null || { echo "no $tool: scripts/install-deps.sh package" && exit 77; }
done
rm -rf "$WORK" && mkdir -p "$WORK"
top=$(cd "$SOURCE/../.." && pwd)
out="$BUILD/packages"

start=$(date +%s)
# What is checked here is the packaging, not the code's speed: a tree laid out
# for /usr (as `make test` configures it) gives its binaries to the packages;
# any other is compiled again for them, without optimisation.
if [ "${PREFIX:-}" = /usr ]; then
  export Z418KT_PREBUILT="$BUILD"
  # Its binaries are stripped into the packages; their debug symbols are not kept.
  export DEB_BUILD_OPTIONS="noautodbgsym ${DEB_BUILD_OPTIONS:-}"
else
  export DEB_BUILD_OPTIONS="noopt ${DEB_BUILD_OPTIONS:-}"
fi
"$top/scripts/build-packages.sh" "$out" >"$WORK/build.log" 2>&1 || { tail -40 "$WORK/build.log" && fail "build"; }
echo "packages built in $(($(date +%s) - start)) s${Z418KT_PREBUILT:+ from $BUILD}"
# Packages made from a sanitized tree carry its sanitizers: what loads their
# library is compiled with the same flags, or gets the runtime preloaded.
flags="" preload=""
if [ -n "${Z418KT_PREBUILT:-}" ] && [ -n "${SANITIZE:-}" ]; then
  flags=$SANITIZE
  preload="$("$CXX" -print-file-name=libasan.so) $("$CXX" -print-file-name=libubsan.so)"
fi
with_runtime() { LD_PRELOAD="$preload" ASAN_OPTIONS=detect_leaks=0 "$@"; }
arch=$(dpkg --print-architecture)
version=$(dpkg-parsechangelog -l "$top/debian/changelog" -S Version)
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
debs=""
for p in libz418kt08-1:$arch libz418kt-dev:$arch z418kt:$arch python3-z418kt:all; do
  deb="$out/${p%%:*}_${version}_${p#*:}.deb"
  [ -f "$deb" ] || fail "no $deb"
  debs="$debs $deb"
done

# lintian: no error, no warning.
# shellcheck disable=SC2086
lintian --fail-on error,warning --suppress-tags-from-file /dev/null $debs >"$WORK/lintian" 2>&1 ||
  { cat "$WORK/lintian" && fail "lintian"; }
if grep -q '^[EW]:' "$WORK/lintian"; then cat "$WORK/lintian" && fail "lintian"; fi

# Each package holds its part, and the library's users depend on a version range.
has() {
  dpkg-deb -c "$out/$1_${version}_$2.deb" >"$WORK/contents"
  grep -q " \./$3$" "$WORK/contents" || fail "$1 lacks $3"
}
has libz418kt08-1 "$arch" "usr/lib/$multiarch/libz418kt08.so.1.0.0"
has libz418kt-dev "$arch" "usr/lib/$multiarch/libz418kt08.so -> libz418kt08.so.1"
has libz418kt-dev "$arch" "usr/include/z418kt/z418kt.h"
has libz418kt-dev "$arch" "usr/lib/$multiarch/pkgconfig/z418kt.pc"
has z418kt "$arch" "usr/bin/z418kt"
has z418kt "$arch" "etc/z418kt/z418kt.conf"
has z418kt "$arch" "lib/systemd/system/z418kt-http.service"
has z418kt "$arch" "usr/share/man/man1/z418kt.1.gz"
has z418kt "$arch" "usr/share/man/man5/z418kt.conf.5.gz"
has z418kt "$arch" "usr/share/bash-completion/completions/z418kt"
has python3-z418kt all "usr/lib/python3/dist-packages/z418kt.py"
dpkg-deb -f "$out/libz418kt08-1_${version}_$arch.deb" Depends | grep -q libsqlite3 || fail "library Depends"
dpkg-deb -I "$out/libz418kt08-1_${version}_$arch.deb" shlibs | grep -qx "libz418kt08 1 libz418kt08-1 (>= 1.0.0)" ||
  fail "shlibs: $(dpkg-deb -I "$out/libz418kt08-1_${version}_$arch.deb" shlibs)"

# Unpacked into a throwaway root and used from there.
root="$WORK/root"
for deb in $debs; do dpkg-deb -x "$deb" "$root"; done
lib="$root/usr/lib/$multiarch"
LD_LIBRARY_PATH="$lib" "$root/usr/bin/z418kt" --version | grep -qx "z418kt $version" || fail "--version"
# The packaged command is the one of these sources: it knows every option
# its man page names (a stale build would not).
z418kt() { LD_LIBRARY_PATH="$lib" "$root/usr/bin/z418kt" "$@"; }
for path in "" $(z418kt --help | sed -n 's/^  \([a-z][a-z0-9-]*\)\(  .*\)\{0,1\}$/\1/p'); do
  # shellcheck disable=SC2086
  z418kt $path --help
  # shellcheck disable=SC2086
  for sub in $(z418kt $path --help | sed -n 's/^  \([a-z][a-z0-9-]*\)\(  .*\)\{0,1\}$/\1/p'); do
    z418kt $path "$sub" --help
  done
done >"$WORK/help"
for option in $(grep -o '\*\*\\--[a-z0-9-]*\*\*' "$top/src/cli/man/z418kt.1.md" | tr -d '*\\' | sort -u); do
  grep -q -- "^  \(-.,\)\{0,1\}$option\b" "$WORK/help" || fail "the packaged z418kt lacks $option"
done
for page in man1/z418kt.1.gz man5/z418kt.conf.5.gz; do
  MANWIDTH=80 man -l "$root/usr/share/man/$page" | grep -q "^NOME" || fail "man -l $page"
done
cmake -S "$SOURCE/consumer" -B "$WORK/consumer" -DCMAKE_PREFIX_PATH="$root/usr" \
  -DCMAKE_CXX_COMPILER="$CXX" -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_BUILD_RPATH="$lib" >/dev/null
cmake --build "$WORK/consumer" >/dev/null
"$WORK/consumer/coleta_roundtrip" "$WORK/cmake.db"
# shellcheck disable=SC2046
# shellcheck disable=SC2086
PKG_CONFIG_PATH="$lib/pkgconfig" "$CXX" -std=c++17 $flags -o "$WORK/pkg-config-consumer" \
  "$SOURCE/consumer/coleta_roundtrip.cpp" $(PKG_CONFIG_PATH="$lib/pkgconfig" pkg-config --cflags --libs z418kt) \
  -Wl,-rpath,"$lib"
"$WORK/pkg-config-consumer" "$WORK/pkg-config.db"
read_coleta='import sys, z418kt
db = "Provider=SQLite;Data Source=" + sys.argv[1]
z418kt.init_database(db, demo=True)
answer = z418kt.Component().call("gConsulta_Coleta", {"invntConecta_DB": db, "invntUsuario_Internet_ID": 0,
                                  "invntBanco_Dados": "ORACLE"}, invntDOCTO_TRANSPORTE_ID=100)
assert answer.status == 0, answer.message
print(answer.args["outvnttxt_embalagem"])'
PYTHONPATH="$root/usr/lib/python3/dist-packages" Z418KT_LIBRARY="$lib/libz418kt08.so.1" \
  with_runtime /usr/bin/python3 -c "$read_coleta" "$WORK/debian-python.db" >/dev/null || fail "python3-z418kt"
python=$(command -v python3)
"$python" -m venv "$WORK/venv"
"$WORK/venv/bin/python" -m pip install --no-index --quiet "$top/python" || fail "pip install ./python with $python"
(cd "$WORK" && Z418KT_LIBRARY="$lib/libz418kt08.so.1" with_runtime "$WORK/venv/bin/python" -c "$read_coleta" "$WORK/venv.db" >/dev/null) ||
  fail "the venv's module"
unit="$WORK/z418kt-http.service"
sed "s|^ExecStart=/usr/bin/z418kt|ExecStart=$root/usr/bin/z418kt|" "$root/lib/systemd/system/z418kt-http.service" >"$unit"
MANPATH="$root/usr/share/man" systemd-analyze verify "$unit" 2>&1 | grep -v "Failed to connect to bus\|bus: No such file" | grep . && fail "systemd-analyze verify"

# Installed with dpkg and purged: only as root, and only where no z418kt
# package is installed already (an administrator's stays untouched).
if [ "$(id -u)" != 0 ] || dpkg -l libz418kt08-1 z418kt libz418kt-dev python3-z418kt 2>/dev/null | grep -q '^.i'; then
  echo "dpkg -i skipped: not root, or z418kt already installed"
  exit 0
fi
packages="python3-z418kt z418kt libz418kt-dev libz418kt08-1"
trap 'dpkg -P $packages >/dev/null 2>&1 || true' EXIT
# shellcheck disable=SC2086
dpkg -i $debs >"$WORK/dpkg-i.log" 2>&1 || { cat "$WORK/dpkg-i.log" && fail "dpkg -i"; }
z418kt --version | grep -qx "z418kt $version" || fail "z418kt on the PATH"
[ "$(stat -c %a /etc/z418kt/token)" = 600 ] || fail "the token is not 0600"
[ "$(wc -c </etc/z418kt/token)" -ge 33 ] || fail "the token is too short"
with_runtime /usr/bin/python3 -c 'import z418kt; print(z418kt.version())' | grep -q "$version" || fail "Debian's python3"
MANPATH=/usr/share/man man -w z418kt.conf >/dev/null || fail "man z418kt.conf"
dpkg -L $packages 2>/dev/null | sort -u >"$WORK/files"
# shellcheck disable=SC2086
dpkg -P $packages >"$WORK/dpkg-p.log" 2>&1 || { cat "$WORK/dpkg-p.log" && fail "dpkg -P"; }
trap - EXIT
while read -r path; do
  if [ -d "$path" ]; then
    case $path in *z418kt*) fail "left behind: $path" ;; esac
  elif [ -e "$path" ] || [ -L "$path" ]; then
    fail "left behind: $path"
  fi
done <"$WORK/files"
[ ! -e /etc/z418kt ] || fail "left behind: /etc/z418kt ($(ls -A /etc/z418kt))"
echo "dpkg -i and dpkg -P left nothing behind"
