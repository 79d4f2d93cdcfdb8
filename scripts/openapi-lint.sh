#!/usr/bin/env bash
# Lints the OpenAPI description with Spectral (spectral:oas) and Redocly
# (recommended rules): no error and no warning may remain.
#   scripts/openapi-lint.sh OPENAPI_JSON
# Both come from the npm registry, at the versions below, into a cache folder
# (Z418KT_LINT_CACHE, default ~/.cache/z418kt-lint) installed once and reused;
# no install script runs, so nothing else (no browser) is downloaded. When
# they cannot be installed (no registry), it exits 77: the test is skipped.
set -euo pipefail

spec="${1:?usage: $0 OPENAPI_JSON}"
here="$(cd "$(dirname "$0")" && pwd)"
cache="${Z418KT_LINT_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/z418kt-lint}"
spectral_version=6.16.3
redocly_version=2.77.0

export PUPPETEER_SKIP_DOWNLOAD=1 REDOCLY_TELEMETRY=off REDOCLY_SUPPRESS_UPDATE_NOTICE=true \
  NO_UPDATE_NOTIFIER=1
installed() {
  grep -q "\"version\": \"$2\"" "$cache/node_modules/$1/package.json" 2>/dev/null
}
if ! installed @stoplight/spectral-cli "$spectral_version" ||
  ! installed @redocly/cli "$redocly_version"; then
  command -v npm >/dev/null || { echo "npm is not installed: skipped"; exit 77; }
  mkdir -p "$cache"
  [ -f "$cache/package.json" ] || echo '{"private": true}' >"$cache/package.json"
  if ! (cd "$cache" && timeout 300 npm install --no-audit --no-fund --ignore-scripts \
    "@stoplight/spectral-cli@$spectral_version" "@redocly/cli@$redocly_version" >npm.log 2>&1); then
    echo "the linters could not be installed (see $cache/npm.log): skipped"
    exit 77
  fi
fi

status=0
echo "== Spectral (spectral:oas)"
timeout 120 "$cache/node_modules/.bin/spectral" lint --fail-severity=hint \
  -r "$here/../tests/http/spectral.yaml" "$spec" || status=1
echo "== Redocly (recommended)"
redocly_out="$(timeout 120 "$cache/node_modules/.bin/redocly" lint "$spec" 2>&1)" || status=1
echo "$redocly_out"
if grep -Eq "You have [0-9]+ warning" <<<"$redocly_out"; then status=1; fi
exit $status
