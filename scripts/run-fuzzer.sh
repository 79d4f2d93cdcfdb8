#!/usr/bin/env bash
# Runs a libFuzzer target for a bounded time from its seed corpus.
#   run-fuzzer.sh FUZZER SEED_DIR SECONDS
# Every seed runs first (the kept crash inputs among them), then the fuzzer
# explores for SECONDS. New inputs go to a throw-away folder, so the seed
# corpus in the repository changes only by hand. A crash leaves its input in
# the current directory (crash-*) and fails the run.
set -euo pipefail
fuzzer=$1 seeds=$2 seconds=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
  -print_final_stats=1 "$work" "$seeds"
