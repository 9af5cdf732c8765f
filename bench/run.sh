#!/usr/bin/env bash
# Start-up cost of vorlen against the process floor (/bin/true), measured in
# one run: instruction counts from callgrind (repeatable on a noisy machine),
# flushes from strace, wall-time medians. Builds the release configuration
# first. Prints a table, then one line per target saying whether it is met.
#
#   bench/run.sh [RUNS_FOR_WALL_TIME]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-300}
build="$here/build-release"
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release -DVORLEN_TESTS=OFF > /dev/null
cmake --build "$build" --target vorlen fbwflib fbwfsim -j 2 > /dev/null
vorlen="$build/bin/vorlen"
work=$(mktemp -d "${TMPDIR:-/tmp}/vorlen-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
export FBWFSIM_DIR

# A state folder whose next session lists N exclusions of volume C.
state_with() {
  FBWFSIM_DIR="$work/state-$1"
  "$vorlen" -enable > /dev/null
  if [ "$1" -gt 0 ]; then
    { cat "$FBWFSIM_DIR/config"; seq 1 "$1" | sed 's/^/C \\data\\folder number /'; } > "$work/config"
    mv "$work/config" "$FBWFSIM_DIR/config"
  fi
}

instructions() {  # instructions COMMAND...: user-space instructions of one run
  valgrind --tool=callgrind --callgrind-out-file="$work/callgrind.out" "$@" > /dev/null 2> "$work/callgrind.err"
  awk '/Collected :/ {print $4}' "$work/callgrind.err"
}

flushes() {  # flushes COMMAND...: fsync-like calls of one run
  strace -f -qq -e trace=fsync,fdatasync,sync_file_range,syncfs,sync -o "$work/strace" "$@" > /dev/null
  grep -c -E '^[0-9]+ +(fsync|fdatasync|sync_file_range|syncfs|sync)\(|^(fsync|fdatasync|sync_file_range|syncfs|sync)\(' \
    "$work/strace" || true
}

median_us() {  # median_us COMMAND...: median wall time of $runs runs, in microseconds
  local i start end times=()
  for ((i = 0; i < runs; i++)); do
    start=$EPOCHREALTIME
    "$@" > /dev/null
    end=$EPOCHREALTIME
    times+=($(( (${end/./} - ${start/./}) )))
  done
  printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}'
}

unique=0
addex() {  # a path not listed yet, so every run makes a change
  unique=$((unique + 1))
  "$vorlen" -addex C: "\\bench\\new $unique$RANDOM"
}

state_with 0
floor=$(instructions /bin/true)
help=$(instructions "$vorlen" -help)
unknown=$(instructions "$vorlen" -nosuchoption)
state0=$(instructions "$vorlen" -fbwfstate)
addex0=$(instructions "$vorlen" -addex C: '\bench\first')
addex_flushes=$(flushes "$vorlen" -addex C: '\bench\second')
state_with 1000
addex1k=$(instructions "$vorlen" -addex C: '\bench\first')
state_with 10000
state10k=$(instructions "$vorlen" -fbwfstate)
addex10k=$(instructions "$vorlen" -addex C: '\bench\first')

state_with 0
wall_true=$(median_us /bin/true)
wall_help=$(median_us "$vorlen" -help)
wall_state=$(median_us "$vorlen" -fbwfstate)
wall_addex=$(median_us addex)

ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }
row() { printf '| %-44s | %12s | %8s | %10s |\n' "$@"; }

echo
row "command" "instructions" "/bin/true" "wall (us)"
row "--------------------------------------------" "------------" "--------" "----------"
row "/bin/true" "$floor" "1.00" "$wall_true"
row "vorlen -help" "$help" "$(ratio "$help" "$floor")" "$wall_help"
row "vorlen -nosuchoption" "$unknown" "$(ratio "$unknown" "$floor")" ""
row "vorlen -fbwfstate" "$state0" "$(ratio "$state0" "$floor")" "$wall_state"
row "vorlen -addex C: \\path" "$addex0" "$(ratio "$addex0" "$floor")" "$wall_addex"
row "vorlen -fbwfstate, 10,000 exclusions" "$state10k" "$(ratio "$state10k" "$floor")" ""
row "vorlen -addex, 1,000 exclusions" "$addex1k" "$(ratio "$addex1k" "$floor")" ""
row "vorlen -addex, 10,000 exclusions" "$addex10k" "$(ratio "$addex10k" "$floor")" ""
echo
echo "wall times: medians of $runs runs each, side by side; reported, not asserted"
echo "flushes made by one -addex: $addex_flushes (the configuration file and its folder)"
echo

verdict() {  # verdict TEXT CONDITION
  if awk "BEGIN {exit !($2)}"; then echo "met      $1"; else echo "NOT MET  $1"; met=1; fi
}
met=0
verdict "-help at most 1.2 x /bin/true ($(ratio "$help" "$floor"))" "$help <= 1.2 * $floor"
verdict "unknown option at most 1.2 x /bin/true ($(ratio "$unknown" "$floor"))" "$unknown <= 1.2 * $floor"
verdict "-fbwfstate at most 2.5 x /bin/true ($(ratio "$state0" "$floor"))" "$state0 <= 2.5 * $floor"
verdict "-addex at most 3 x /bin/true ($(ratio "$addex0" "$floor"))" "$addex0 <= 3 * $floor"
verdict "-addex flushes exactly the file and its folder ($addex_flushes)" "$addex_flushes == 2"
verdict "-fbwfstate at 10,000 exclusions at most 1.5 x empty ($(ratio "$state10k" "$state0"))" \
  "$state10k <= 1.5 * $state0"
# Linear: the cost above an empty configuration grows at most in proportion
# to its size (10 times the entries, at most 10 times the extra cost, +20%).
verdict "-addex grows no worse than linearly ($(ratio $((addex10k - addex0)) $((addex1k - addex0))) x extra for 10 x size)" \
  "($addex10k - $addex0) <= 12 * ($addex1k - $addex0)"
exit "$met"
