#!/bin/sh
# The installed package's tests, one per first argument, run by ctest after
# package_install (package_tests.cmake), which sets PREFIX LIBDIR PYDIR (the
# install), BUILD SOURCE WORK (build tree, this folder, a scratch folder), CXX
# CC and SANITIZE (the build's sanitizer flags, if any).
set -eu
rm -rf "$WORK" && mkdir -p "$WORK"
library="$PREFIX/$LIBDIR/libz418kt08.so.1"
fail() { echo "$@" && exit 1; }

case "$1" in
public-interface)
  # Each public header compiles alone with only the standard library.
  for header in "$PREFIX"/include/z418kt/*.h; do
    printf '#include "z418kt/%s"\n' "$(basename "$header")" |
      "$CXX" -std=c++17 -Wall -Wextra -Werror -I"$PREFIX/include" -x c++ -fsyntax-only -
  done
  printf '#include "z418kt/z418kt_c.h"\n' |
    "$CC" -std=c99 -pedantic -Wall -Wextra -Werror -I"$PREFIX/include" -x c -fsyntax-only -
  # The library exports the public API and nothing else.
  nm -D --defined-only -C "$library" | cut -d' ' -f3- | sort -u >"$WORK/symbols"
  if grep -Ev -f "$SOURCE/public_symbols.txt" "$WORK/symbols"; then fail "^ not public API"; fi
  # One type for the error on both sides (the consumers link and load the rest).
  grep -q 'typeinfo for z418kt::AutomationError$' "$WORK/symbols" || fail "no typeinfo exported"
  ;;
cmake-consumer)
  cmake -S "$SOURCE/consumer" -B "$WORK/build" -DCMAKE_PREFIX_PATH="$PREFIX" \
    -DCMAKE_CXX_COMPILER="$CXX" -DCMAKE_CXX_FLAGS="$SANITIZE" -DCMAKE_BUILD_TYPE=Debug >/dev/null
  cmake --build "$WORK/build" >/dev/null
  "$WORK/build/coleta_roundtrip" "$WORK/coleta.db"
  ;;
pkg-config-consumer)
  export PKG_CONFIG_PATH="$PREFIX/$LIBDIR/pkgconfig"
  # shellcheck disable=SC2046,SC2086
  "$CXX" -std=c++17 $SANITIZE -o "$WORK/coleta_roundtrip" "$SOURCE/consumer/coleta_roundtrip.cpp" \
    $(pkg-config --cflags --libs z418kt) -Wl,-rpath,"$(pkg-config --variable=libdir z418kt)"
  "$WORK/coleta_roundtrip" "$WORK/coleta.db"
  ;;
c-dlopen)
  # shellcheck disable=SC2086
  "$CC" -std=c99 -Wall -Wextra -Werror $SANITIZE -I"$PREFIX/include" -o "$WORK/c_dlopen" \
    "$SOURCE/c_dlopen.c" -ldl
  "$WORK/c_dlopen" "$library" "$WORK/coleta.db"
  ;;
python)
  # A sanitized library needs its run time loaded first, and Python's own
  # allocations at exit are no leak of ours.
  if [ -n "$SANITIZE" ]; then
    LD_PRELOAD="$("$CC" -print-file-name=libasan.so) $("$CC" -print-file-name=libubsan.so)"
    export LD_PRELOAD ASAN_OPTIONS=detect_leaks=0
  fi
  PYTHONPATH="$PREFIX/$PYDIR" Z418KT_LIBRARY="$library" \
    /usr/bin/python3 "$SOURCE/python_module_test.py" "$WORK/coleta.db"
  ;;
deb)
  cpack -G DEB --config "$BUILD/CPackConfig.cmake" -B "$WORK" >/dev/null
  deb=$(ls "$WORK"/*.deb)
  dpkg -c "$deb" | awk '{print $6}' >"$WORK/contents"
  # It holds all that an install holds, the command included.
  installed=$(cd "$PREFIX" && find . ! -type d | sed 's|^\.|./usr|')
  for path in $installed; do grep -qx "$path" "$WORK/contents" || fail "$deb lacks $path"; done
  echo "$installed" | grep -qx ./usr/bin/z418kt || fail "the command is not installed"
  # Programs find the library right after dpkg -i: the package runs ldconfig.
  dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./postinst | grep -q ldconfig
  dpkg-deb -f "$deb" Depends | grep -q libsqlite3
  ;;
*) fail "unknown test $1" ;;
esac
