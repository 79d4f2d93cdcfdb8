#!/usr/bin/env bash
# Installs the Debian packages a task needs, when missing.
#   scripts/install-deps.sh          building the library and the command, the demo
#   scripts/install-deps.sh test     the above and what the tests and benchmarks need
#   scripts/install-deps.sh package  the above and what `make package` needs
# One package per line, so lists merge easily.
set -euo pipefail

build_packages=(
  cmake
  make
  g++
  pkg-config
  libsqlite3-dev
  unixodbc-dev
  libpq-dev
  nlohmann-json3-dev
  libcli11-dev
  libboost-dev
  # webhook delivery (HTTP client) and its signatures (HMAC-SHA256)
  libcurl4-openssl-dev
  libssl-dev
)

test_packages=(
  odbc-postgresql
  postgresql
  libgtest-dev
  libgmock-dev
  libbenchmark-dev
  clang-format
  python3
  dpkg-dev
  file
  # /metrics is read with a Prometheus text-format parser in the HTTP tests
  python3-prometheus-client
  # the ONE Record export is read back as JSON-LD
  python3-rdflib
  # HTTP answers checked against the OpenAPI description; the browser test
  python3-jsonschema
  chromium
  chromium-driver
  python3-selenium
  # axe-core and Lighthouse for the page come from the npm registry; a machine whose
  # Node.js came from elsewhere (nodesource ships npm inside nodejs) keeps its own
  nodejs
  npm
  # number tests under a Brazilian locale
  locales
  # fuzz targets
  clang-14
  libfuzzer-14-dev
)

package_packages=(
  dpkg-dev
  file
  debhelper
  dh-python
  fakeroot
  lintian
  # the man pages are written in markdown
  pandoc
  # the package test: man -l, the completion, systemd-analyze verify, pip in a venv
  man-db
  bash-completion
  systemd
  python3-venv
)

mode="${1:-build}"
packages=("${build_packages[@]}")
case "$mode" in
  build) ;;
  test) packages+=("${test_packages[@]}" "${package_packages[@]}") ;;
  package) packages+=("${package_packages[@]}") ;;
  *)
    echo "usage: $0 [build|test|package]" >&2
    exit 2
    ;;
esac

# A package whose command is already on the machine is not asked for again: Debian's
# npm conflicts with a Node.js that brings its own npm.
provided_by_command() {
  case "$1" in
    nodejs) command -v node >/dev/null 2>&1 ;;
    npm) command -v npm >/dev/null 2>&1 ;;
    *) return 1 ;;
  esac
}

missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || provided_by_command "$p" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >/dev/null
fi

# The number tests run under a Brazilian locale too (comma as decimal separator).
if [ "$mode" = test ] && ! locale -a 2>/dev/null | grep -qix 'pt_BR.utf8'; then
  localedef -i pt_BR -f UTF-8 pt_BR.UTF-8
fi
