#!/usr/bin/env bash
# Runs a fuzz target for a bounded time from the seed corpus; new inputs go
# to a corpus in the build folder, so the repository's seeds stay as they are.
#   run.sh TARGET SEEDS WORK SECONDS [DICTIONARY]
set -euo pipefail
target=$1 seeds=$2 work=$3 seconds=$4 dictionary=${5:-}
mkdir -p "$work"
flags=(-max_total_time="$seconds" -print_final_stats=1 -timeout=10 -rss_limit_mb=2048
  -artifact_prefix="$work.")
[ -n "$dictionary" ] && flags+=(-dict="$dictionary")
"$target" "${flags[@]}" "$work" "$seeds" 2> "$work.log" || {
  tail -n 40 "$work.log"
  echo "the failing input is kept as $work.crash-*"
  exit 1
}
runs=$(awk '/stat::number_of_executed_units/ {print $2}' "$work.log")
echo "$(basename "$target"): $runs executions in ${seconds}s, no fault"
