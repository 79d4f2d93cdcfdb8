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
  nlohmann-json3-dev
  libcli11-dev
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
  python3-rdflib
)

package_packages=(
  dpkg-dev
  file
)

packages=("${build_packages[@]}")
case "${1:-build}" in
  build) ;;
  test) packages+=("${test_packages[@]}") ;;
  package) packages+=("${package_packages[@]}") ;;
  *)
    echo "usage: $0 [build|test|package]" >&2
    exit 2
    ;;
esac

missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >/dev/null
fi
