#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, when missing.
set -euo pipefail
packages=(cmake make g++ pkg-config libsqlite3-dev unixodbc-dev odbc-postgresql postgresql
  libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev libcli11-dev clang-format
  libcpp-httplib-dev
  # HTTP and browser tests only
  chromium chromium-driver python3-selenium python3-jsonschema)
# Tests only: the ONE Record export is read back as JSON-LD.
packages+=(python3-rdflib)
# Benchmarks only: the raw PostgreSQL baseline.
packages+=(libpq-dev)
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
