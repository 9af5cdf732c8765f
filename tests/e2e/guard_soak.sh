#!/usr/bin/env bash
# The guard over a long run: 4 writers fill the overlay and reboots empty it
# at random while the guard watches. Its history must be one unbroken chain
# of crossings, each at a use its level allows, with one command per
# crossing; its level at the end the one the overlay's use gives; its
# resident memory after the first minute may grow by less than 1 MiB, and
# its CPU time while the overlay is idle stay under 1% of a core.
#   guard_soak.sh BIN_DIR [SECONDS] [all|crossings-only]
set -u
bin=$1
seconds=${2:-180}
figures=${3:-all}
runner=""
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"
MiB=1048576

fresh_state
run "$bin/vorlen" -enable
run "$bin/vorlen" -protectvolume C:
sim reboot
record='echo "$VORLEN_PREVIOUS_LEVEL>$VORLEN_LEVEL" >> '"$work/commands"
"$bin/vorlenctl" guard --history "$work/guard.jsonl" --interval 1 \
  --on-warning "$record" --on-critical "$record" --on-normal "$record" 2> "$work/events" &
guard=$!
pids=("$guard")
trap 'kill -KILL "${pids[@]}" 2> /dev/null; rm -rf "$work"' EXIT

writer() {  # writer N: files of 1 to 4 MB until told to stop
  local n=0
  while [ ! -e "$work/stop" ]; do
    n=$((n + 1))
    head -c $(((RANDOM % 4 + 1) * MiB)) /dev/zero | "$bin/fbwfsim" write C: "\\w$1-$n" > /dev/null 2>&1
    sleep "0.$((RANDOM % 5))"
  done
}
for i in 1 2 3 4; do
  writer "$i" &
  pids+=($!)
done
rss() { awk '/^VmRSS/ {print $2}' "/proc/$guard/status"; }
cpu_ticks() { awk '{print $14 + $15}' "/proc/$guard/stat"; }

end=$((SECONDS + seconds))
rss_at_minute=""
while [ $SECONDS -lt $end ]; do
  sleep "$((RANDOM % 8 + 3))"
  "$bin/fbwfsim" reboot > /dev/null 2>&1
  [ -z "$rss_at_minute" ] && [ $SECONDS -ge 60 ] && rss_at_minute=$(rss)
done
touch "$work/stop"
wait "${pids[@]:1}"
sleep 3  # the last crossing read
rss_at_end=$(rss)
ticks=$(cpu_ticks)
sleep 20
idle_ticks=$(($(cpu_ticks) - ticks))
kill -TERM "$guard"
wait "$guard" || fail "the guard exited $? on SIGTERM"

# One chain: each crossing leaves the level the one before reached.
levels=$(sed 's/.*"from": "\([a-z]*\)", "to": "\([a-z]*\)".*/\1 \2/' "$work/guard.jsonl")
previous=normal count=0
while read -r from to; do
  count=$((count + 1))
  [ "$from" = "$previous" ] || fail "crossing $count leaves $from, but the guard was at $previous"
  [ "$from" != "$to" ] || fail "crossing $count stays at $to"
  previous=$to
done <<< "$levels"
[ "$count" -ge 10 ] || fail "only $count crossings in $seconds s"
# Each at a use its level allows, the hysteresis of 5 points counted.
awk -F'"percent": ' 'NF > 1 {
    split($2, p, ","); percent = p[1] + 0
    if ($0 ~ /"to": "critical"/ && percent < 85) print "critical at " percent
    if ($0 ~ /"to": "warning"/ && (percent < 75 || percent >= 90)) print "warning at " percent
    if ($0 ~ /"to": "normal"/ && percent >= 80) print "normal at " percent
  }' "$work/guard.jsonl" > "$work/wrong"
[ -s "$work/wrong" ] && fail "crossings at a use their level does not allow: $(tr '\n' ' ' < "$work/wrong")"
grep -o '"from": "[a-z]*", "to": "[a-z]*"' "$work/guard.jsonl" | sed 's/"from": "\([a-z]*\)", "to": "\([a-z]*\)"/\1>\2/' > "$work/crossed"
cmp -s "$work/crossed" "$work/commands" || fail "commands and crossings differ: $(diff "$work/crossed" "$work/commands" | head -n 5)"
# Its last level is the one the overlay's use now gives.
used=$("$bin/vorlenctl" overlay --json | sed -n 's/.*"used_percent": \([0-9.]*\).*/\1/p')
last=$(tail -n 1 <<< "$levels" | cut -d' ' -f2)
awk -v u="$used" -v l="$last" 'BEGIN {
    ok = (l == "normal" && u < 80) || (l == "warning" && u >= 75 && u < 90) || (l == "critical" && u >= 85)
    exit !ok }' || fail "the guard ended at $last with the overlay $used% used"

if [ "$figures" = all ]; then
  [ -n "$rss_at_minute" ] || fail "no reading after the first minute (a soak of $seconds s)"
  [ -n "$rss_at_minute" ] && [ $((rss_at_end - rss_at_minute)) -lt 1024 ] ||
    fail "resident memory grew from $rss_at_minute KiB to $rss_at_end KiB after the first minute"
  hz=$(getconf CLK_TCK)
  # Under 1% of a core over 20 s: 0.2 s of CPU time.
  [ $((idle_ticks * 100)) -lt $((hz * 20)) ] || fail "the idle guard used $idle_ticks ticks of CPU in 20 s ($hz a second)"
fi
echo "crossings $count; resident $rss_at_minute KiB after a minute, $rss_at_end KiB at the end; idle CPU $idle_ticks ticks in 20 s"
finish "the guard's soak of $seconds s kept one chain of crossings"
