#!/usr/bin/env bash
# Start-up cost of vorlen against the process floor (/bin/true), measured in
# one run: instruction counts from callgrind (repeatable on a noisy machine),
# flushes from strace, wall-time medians. Builds the release configuration
# first. Prints a table, then one line per target saying whether it is met;
# then the fleet's figures (bench/fleet.sh; VORLEN_FLEET_DEVICES devices, 1000).
#
#   bench/run.sh [RUNS_FOR_WALL_TIME]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-300}
build="$here/build-release"
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release -DVORLEN_TESTS=OFF > /dev/null
cmake --build "$build" --target vorlen vorlenctl fbwflib fbwfsim -j 2 > /dev/null
vorlen="$build/bin/vorlen"
vorlenctl="$build/bin/vorlenctl"
work=$(mktemp -d "${TMPDIR:-/tmp}/vorlen-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
export FBWFSIM_DIR XDG_STATE_HOME="$work/xdg-state"  # vorlenctl's lock and history stay here

# A state folder with the filter on, C protected and N exclusions of 36
# characters in each session's list, written once by vorlen itself (as a
# provisioning script leaves it). They share their endings, as real lists
# do (\...\*.log), so a comparison from a name's end meets them.
state_with() {
  FBWFSIM_DIR="$work/state-$1"
  "$vorlen" -enable > /dev/null
  "$vorlen" -protectvolume C: > /dev/null
  if [ "$1" -gt 0 ]; then
    seq 1 "$1" | awk '{printf "C \\dir%06d\\sub folder\\file%06d.log\n", $1, $1}' > "$work/list"
    sed '/^# seal /d; /^\[current exclusions\]$/r '"$work/list"'
         /^\[next exclusions\]$/r '"$work/list" "$FBWFSIM_DIR/config" > "$work/config"
    mv "$work/config" "$FBWFSIM_DIR/config"
    "$vorlen" -addex C: '\warm up' | grep -q 'is now excluded' || { echo "bench: the lists do not load" >&2; exit 1; }
  fi
}

peak_kib() {  # peak_kib COMMAND...: the most memory one run held
  /usr/bin/time -f %M "$@" 2>&1 > /dev/null | tail -n 1
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
# vorlenctl on a machine with a few exclusions, set once already.
printf '%s' '{"filter": true, "protected": ["C:"], "exclusions": {"C:": ["\\a", "\\b", "\\c"]}}' > "$work/desired.json"
"$vorlenctl" set "$work/desired.json" > /dev/null
ctl_get=$(instructions "$vorlenctl" get)
ctl_check=$(instructions "$vorlenctl" check --allow-off)
ctl_set=$(instructions "$vorlenctl" set "$work/desired.json")
state_with 10000
state10k=$(instructions "$vorlen" -fbwfstate)
addex10k=$(instructions "$vorlen" -addex C: '\bench\first')
remex10k=$(instructions "$vorlen" -remex C: '\dir005000\sub folder\file005000.log')
remexcase10k=$(instructions "$vorlen" -remex C: '\DIR004999\SUB FOLDER\FILE004999.LOG')
state_with 100000
addex100k=$(instructions "$vorlen" -addex C: '\bench\first')
remex100k=$(instructions "$vorlen" -remex C: '\dir050000\sub folder\file050000.log')
config100k=$(stat -c %s "$FBWFSIM_DIR/config")
peak100k=$(peak_kib "$vorlen" -addex C: '\bench\second')

state_with 0
wall_true=$(median_us /bin/true)
wall_help=$(median_us "$vorlen" -help)
wall_state=$(median_us "$vorlen" -fbwfstate)
wall_addex=$(median_us addex)

# The guard left idle on an empty overlay for 30 s, after 5 s to settle: its
# CPU time (the library's 100 ms watcher included, in the same process) and
# resident memory.
"$vorlenctl" guard --history "$work/guard.jsonl" 2> /dev/null &
guard=$!
sleep 5
guard_ticks=$(awk '{print $14 + $15}' "/proc/$guard/stat")
sleep 30
guard_ticks=$(($(awk '{print $14 + $15}' "/proc/$guard/stat") - guard_ticks))
guard_rss=$(awk '/^VmRSS/ {print $2}' "/proc/$guard/status")
kill -TERM "$guard"
wait "$guard"
guard_cpu=$(awk -v t="$guard_ticks" -v hz="$(getconf CLK_TCK)" 'BEGIN {printf "%.2f", 100 * t / hz / 30}')

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
row "vorlenctl get" "$ctl_get" "$(ratio "$ctl_get" "$floor")" ""
row "vorlenctl check" "$ctl_check" "$(ratio "$ctl_check" "$floor")" ""
row "vorlenctl set, nothing to change" "$ctl_set" "$(ratio "$ctl_set" "$floor")" ""
row "vorlen -fbwfstate, 10,000 in each list" "$state10k" "$(ratio "$state10k" "$floor")" ""
row "vorlen -addex, 10,000 in each list" "$addex10k" "$(ratio "$addex10k" "$floor")" ""
row "vorlen -remex, 10,000 in each list" "$remex10k" "$(ratio "$remex10k" "$floor")" ""
row "vorlen -remex in another case, 10,000" "$remexcase10k" "$(ratio "$remexcase10k" "$floor")" ""
row "vorlen -addex, 100,000 in each list" "$addex100k" "$(ratio "$addex100k" "$floor")" ""
row "vorlen -remex, 100,000 in each list" "$remex100k" "$(ratio "$remex100k" "$floor")" ""
echo
echo "wall times: medians of $runs runs each, side by side; reported, not asserted"
echo "flushes made by one -addex: $addex_flushes (the configuration file and its folder)"
echo "vorlenctl guard, idle: ${guard_cpu}% of a core over 30 s, resident ${guard_rss} KiB"
echo "-addex, 100,000 in each list: peak $((peak100k / 1024)) MiB for a $((config100k / 1048576)) MiB config"
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
verdict "-fbwfstate, 10,000 in each list, at most 2.5 x /bin/true ($(ratio "$state10k" "$floor"))" \
  "$state10k <= 2.5 * $floor"
verdict "-addex, 10,000 in each list, at most 15 x /bin/true ($(ratio "$addex10k" "$floor"))" \
  "$addex10k <= 15 * $floor"
verdict "-remex, 10,000 in each list, at most 15 x /bin/true ($(ratio "$remex10k" "$floor"))" \
  "$remex10k <= 15 * $floor"
verdict "-remex in another case, 10,000 in each list, at most 15 x /bin/true ($(ratio "$remexcase10k" "$floor"))" \
  "$remexcase10k <= 15 * $floor"
verdict "vorlenctl get at most 3 x /bin/true ($(ratio "$ctl_get" "$floor"))" "$ctl_get <= 3 * $floor"
verdict "vorlenctl check at most 3 x /bin/true ($(ratio "$ctl_check" "$floor"))" "$ctl_check <= 3 * $floor"
verdict "vorlenctl set with nothing to change at most 3 x /bin/true ($(ratio "$ctl_set" "$floor"))" \
  "$ctl_set <= 3 * $floor"
verdict "vorlenctl guard idle under 1% of a core (${guard_cpu}%)" "$guard_cpu < 1"
verdict "-addex, 100,000 in each list, peak at most 3 x config + 4 MiB ($((peak100k / 1024)) MiB)" \
  "$peak100k <= 3 * $config100k / 1024 + 4096"

# The fleet: Ansible over 1,000 simulated devices, with its own verdicts.
echo
bash "$here/bench/fleet.sh" "$build/bin" "${VORLEN_FLEET_DEVICES:-1000}" || met=1
exit "$met"
