#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a bounded time each.
#   tools/run-fuzzers.sh BUILD_DIR SECONDS
set -euo pipefail
build=${1:?build directory}
seconds=${2:-30}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

status=0
for target in "$build"/tests/fuzz/*_fuzz; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  mkdir -p "$work/$name"
  echo "fuzzing $name for $seconds s"
  if "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$work/" "$work/$name" \
      >"$work/$name.log" 2>&1; then
    grep -E '^stat::number_of_executed_units' "$work/$name.log" || true
    echo "$name: 1 passed, 0 failed"
  else
    tail -40 "$work/$name.log"
    echo "$name: 0 passed, 1 failed"
    status=1
  fi
done
exit $status
