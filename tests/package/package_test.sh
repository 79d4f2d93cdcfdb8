#!/bin/sh
# The installed package's tests, one per first argument, run by ctest after
# package_install (package_tests.cmake), which sets PREFIX UNITDIR LIBDIR PYDIR
# (the install), BUILD SOURCE WORK (build tree, this folder, a scratch folder), CXX
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
man-completion)
  # The man page names every subcommand and every option the command's help
  # lists, so a new one cannot go undocumented.
  z418kt="$PREFIX/bin/z418kt"
  page="$SOURCE/../../src/cli/man/z418kt.1.md"
  subcommands() { "$z418kt" "$@" --help | sed -n 's/^  \([a-z][a-z0-9-]*\)\(  .*\)\{0,1\}$/\1/p'; }
  options() { "$z418kt" "$@" --help | sed -n 's/^  \(-[A-Za-z0-9],\)\{0,1\}\(--[A-Za-z0-9-]*\).*/\2/p'; }
  for command in $(subcommands); do
    grep -q "\*\*$command\*\*\|^## $command" "$page" || fail "man page lacks the command $command"
    nested=$(subcommands "$command")
    for path in "$command" $(for n in $nested; do echo "$command/$n"; done); do
      # shellcheck disable=SC2046
      for option in $(options $(echo "$path" | tr / ' ')); do
        case $option in --help | --version) continue ;; esac
        grep -qF -- "\\$option**" "$page" || fail "man page lacks $option of $path"
      done
      case $path in */*) grep -q "^## $(echo "$path" | tr / ' ')" "$page" || fail "man page lacks $path" ;; esac
    done
  done
  # The pages read as man pages (when pandoc made them).
  for page in "$PREFIX/share/man/man1/z418kt.1" "$PREFIX/share/man/man5/z418kt.conf.5"; do
    [ -e "$page" ] || { echo "no pandoc: $page not built" && continue; }
    MANWIDTH=80 man -l "$page" 2>"$WORK/man-errors" | grep -q "^NOME" || fail "man -l $page"
    if [ -s "$WORK/man-errors" ]; then cat "$WORK/man-errors" && fail "warnings from man -l $page"; fi
  done
  # Completion: subcommands, nested subcommands, options, operation names.
  if [ -f /usr/share/bash-completion/bash_completion ]; then
    cat >"$WORK/complete.sh" <<EOS
. /usr/share/bash-completion/bash_completion
. "$PREFIX/share/bash-completion/completions/z418kt"
complete_line() {
  COMP_LINE="\$1"; COMP_POINT=\${#COMP_LINE}
  read -ra COMP_WORDS <<<"\$COMP_LINE"
  case \$COMP_LINE in *' ') COMP_WORDS+=("") ;; esac
  COMP_CWORD=\$((\${#COMP_WORDS[@]} - 1)); COMPREPLY=()
  _z418kt; echo "\${COMPREPLY[*]}"
}
complete_line "$z418kt co"
complete_line "$z418kt coleta "
complete_line "$z418kt coleta show --js"
complete_line "$z418kt http --con"
complete_line "$z418kt invoke gCons"
EOS
    bash "$WORK/complete.sh" >"$WORK/completions"
    printf '%s\n' coleta 'show save delete list export history' --json --config \
      'gConsulta_Coleta gConsulta_Dados_Pessoa' >"$WORK/expected"
    diff "$WORK/expected" "$WORK/completions" || fail "completion"
  fi
  ;;
systemd-unit)
  # The unit as installed, pointed at this install's command.
  unit="$WORK/z418kt-http.service"
  sed "s|^ExecStart=[^ ]*|ExecStart=$PREFIX/bin/z418kt|" "$UNITDIR/z418kt-http.service" >"$unit"
  command -v systemd-analyze >/dev/null || { echo "no systemd-analyze" && exit 77; }
  [ -e "$PREFIX/share/man/man1/z418kt.1" ] || { echo "no man pages (no pandoc)" && exit 77; }
  # Documentation= is checked with man, so the pages must be found.
  MANPATH="$PREFIX/share/man" systemd-analyze verify "$unit" 2>&1 | tee "$WORK/verify" >&2
  if grep -v "Failed to connect to bus\|bus: No such file" "$WORK/verify" | grep -q .; then fail "systemd-analyze verify"; fi
  # Its hardening, scored offline: "OK" or "LOW" exposure.
  systemd-analyze security --offline=true "$unit" >"$WORK/security" 2>&1 || true
  tail -1 "$WORK/security"
  grep -q "Overall exposure level for z418kt-http.service: [0-9.]* \(OK\|SAFE\|LOW\)" "$WORK/security" ||
    fail "exposure: $(tail -1 "$WORK/security")"
  ;;
*) fail "unknown test $1" ;;
esac
