#!/usr/bin/env bash
# vorlenctl guard against the stand-in, run in the foreground as a Linux host
# runs it: crossings seen through the notification within a second, one
# event, history line and command each, a boundary hovered over crossing
# once, an overlay that can't be read reported and recovered from, commands
# that hang or fail, a prompt stop, and options refused before anything is
# written.
#   guard.sh BIN_DIR
set -u
bin=$1
runner=""
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"
ctl="$bin/vorlenctl"
MiB=1048576

# A machine with the filter on and C: protected now, a 64 MB threshold; its
# disk holds \hover, whose cached copies -restore drops.
protected() {
  fresh_state
  sim write C: '\hover' x
  run "$bin/vorlen" -enable
  run "$bin/vorlen" -protectvolume C:
  sim reboot
}

fill() {  # fill NAME MEGABYTES: a file of that size written into C:'s overlay
  head -c $(($2 * MiB)) /dev/zero | "$bin/fbwfsim" write C: "\\$1" > /dev/null 2>&1 ||
    fail "fbwfsim write $1 $2 MB refused"
}

# start_guard ARGS...: the guard in the background, its events in
# $work/events, its history in $work/guard.jsonl.
start_guard() {
  rm -f "$work"/guard.jsonl* "$work/events" "$work/commands"
  "$ctl" guard --history "$work/guard.jsonl" "$@" 2> "$work/events" &
  guard=$!
  echo "$guard" >> "$work/guards"
  until_true 3 grep -q 'event 1 started' "$work/events" || fail "the guard did not start: $(cat "$work/events")"
}

stop_guard() {
  kill -TERM "$guard" 2> /dev/null
  local started=$SECONDS
  wait "$guard"
  guard_status=$?
  [ $((SECONDS - started)) -le 1 ] || fail "the guard took $((SECONDS - started)) s to stop"
  [ "$guard_status" -eq 0 ] || fail "the guard exited $guard_status on SIGTERM"
}

events_named() { sed -n 's/^vorlenctl guard: event \([0-9]*\) \([a-z]*\): .*/\1 \2/p' "$work/events" | tr '\n' ' '; }
history_without_times() { sed 's/"time": "[^"]*", //' "$work/guard.jsonl"; }
crossings() { [ -f "$work/guard.jsonl" ] && wc -l < "$work/guard.jsonl" || echo 0; }
has_crossings() { [ "$(crossings)" -ge "$1" ]; }

test_crossings_up_and_back_act_once_each_in_order() {
  protected
  local record='echo "$VORLEN_PREVIOUS_LEVEL>$VORLEN_LEVEL $VORLEN_USED_BYTES $VORLEN_PERCENT" >> '"$work/commands"
  start_guard --interval 5 --on-warning "$record" --on-critical "$record; grep -c used_percent \$VORLEN_OVERLAY_JSON >> $work/commands" \
    --on-normal "$record"
  fill a 52
  until_true 1 has_crossings 1 || fail "the write past 80% was not seen within a second"
  fill b 6
  until_true 1 has_crossings 2 || fail "the write past 90% was not seen within a second"
  sim reboot
  until_true 6 has_crossings 3 || fail "the emptied overlay was not seen within the interval"
  stop_guard
  [ "$(events_named)" = "1 started 3 warning 4 critical 2 normal 8 stopped " ] || fail "events: $(cat "$work/events")"
  compare 'normal>warning 54526018 81.2
warning>critical 60817540 90.6
1
critical>normal 0 0.0
' "$work/commands" "the commands run, with their figures"
  history_without_times > "$work/got"
  compare '{"from": "normal", "to": "warning", "used_bytes": 54526018, "threshold_bytes": 67108864, "percent": 81.2, "command": {"exit_status": 0}}
{"from": "warning", "to": "critical", "used_bytes": 60817540, "threshold_bytes": 67108864, "percent": 90.6, "command": {"exit_status": 0}}
{"from": "critical", "to": "normal", "used_bytes": 0, "threshold_bytes": 67108864, "percent": 0.0, "command": {"exit_status": 0}}
' "$work/got" "the history"
  "$bin/fbwfsim" calls | tail -n 1 | grep -q 'FbwfUninitializeNotifications() = 0' ||
    fail "the registrations were not released last: $("$bin/fbwfsim" calls | tail -n 3)"
}

test_a_use_hovering_at_a_boundary_crosses_once() {
  protected
  fill base 51
  start_guard --interval 1 --on-warning "echo w >> $work/commands"
  local round
  for round in 1 2 3 4 5 6; do
    fill hover 1
    sleep 0.3
    run "$bin/vorlen" -restore C: '\hover'
    grep -q 'restored' "$work/out" || fail "-restore: $(cat "$work/out")"
    sleep 0.3
  done
  stop_guard
  [ "$(crossings)" -eq 1 ] || fail "hovering gave $(crossings) crossings: $(cat "$work/guard.jsonl")"
  compare 'w
' "$work/commands" "one command for a hovering use"
}

test_an_unreadable_overlay_is_unknown_until_the_device_recovers() {
  protected
  fill a 55
  start_guard --interval 1 --on-warning "echo w >> $work/commands"
  until_true 2 has_crossings 1 || fail "no warning"
  sim fail FbwfGetMemoryUsage 5 4
  until_true 3 has_crossings 2 || fail "a failing reading was not reported"
  until_true 6 has_crossings 3 || fail "no recovery from the failing reading"
  run "$bin/vorlen" -disable
  sim reboot
  until_true 3 has_crossings 4 || fail "the filter off was not reported"
  "$bin/fbwfsim" calls --clear > /dev/null
  sleep 3
  local reads
  reads=$("$bin/fbwfsim" calls | grep -c FbwfIsFilterEnabled)
  [ "$reads" -le 4 ] || fail "$reads readings in 3 s while unknown"
  run "$bin/vorlen" -enable
  sim reboot
  until_true 3 has_crossings 5 || fail "no recovery from the filter off"
  kill -0 "$guard" || fail "the guard ended by itself"
  stop_guard
  history_without_times > "$work/got"
  compare '{"from": "normal", "to": "warning", "used_bytes": 57671746, "threshold_bytes": 67108864, "percent": 85.9, "command": {"exit_status": 0}}
{"from": "warning", "to": "unknown", "reason": "FbwfGetMemoryUsage failed with code 5 (access denied)"}
{"from": "unknown", "to": "warning", "used_bytes": 57671746, "threshold_bytes": 67108864, "percent": 85.9}
{"from": "warning", "to": "unknown", "reason": "the filter is off in this session"}
{"from": "unknown", "to": "normal", "used_bytes": 0, "threshold_bytes": 67108864, "percent": 0.0}
' "$work/got" "the history of an unreadable overlay"
  compare 'w
' "$work/commands" "no command for the level an unknown left"
}

test_refused_notifications_leave_the_readings_to_find_a_crossing() {
  protected
  sim fail FbwfCacheThresholdNotification 5 100
  start_guard --interval 2
  fill a 55
  until_true 3 has_crossings 1 || fail "a crossing was not found within the interval without notifications"
  stop_guard
  "$bin/fbwfsim" calls | grep -c 'FbwfCacheThresholdNotification(13) = 5' > "$work/got"
  [ "$(cat "$work/got")" -ge 1 ] || fail "the guard did not ask for a notification"
}

test_a_command_that_hangs_fails_or_is_missing_leaves_the_guard_going() {
  protected
  start_guard --interval 1 --command-timeout 1 --on-warning "sleep 30 & echo \$! > $work/hung; wait" --on-critical 'exit 4' \
    --on-normal "$work/no-such-command"
  fill a 55
  until_true 3 has_crossings 1 || fail "no warning"
  fill b 4
  until_true 3 has_crossings 2 || fail "no critical after a command that hung"
  sim reboot
  until_true 3 has_crossings 3 || fail "no normal"
  stop_guard
  grep -o '"command": {[^}]*}' "$work/guard.jsonl" > "$work/got"
  compare '"command": {"timed_out": true}
"command": {"exit_status": 4}
"command": {"exit_status": 127}
' "$work/got" "the commands' ends"
  # Gone, or a zombie its new parent has yet to reap.
  grep -qsE '^State:[[:space:]]+[^Z[:space:]]' "/proc/$(cat "$work/hung")/status" && fail "the hung command outlived its limit: $(grep State "/proc/$(cat "$work/hung")/status")"
  [ "$(grep -c 'event 6 command' "$work/events")" -eq 3 ] || fail "command events: $(cat "$work/events")"
}

test_a_restarted_guard_does_not_act_again_and_get_and_check_report_it() {
  protected
  fill a 55
  start_guard --on-warning "echo w >> $work/commands"
  until_true 2 has_crossings 1 || fail "no warning"
  stop_guard
  "$ctl" guard --history "$work/guard.jsonl" --on-warning "echo w >> $work/commands" 2> "$work/events" &
  guard=$!
  echo "$guard" >> "$work/guards"
  sleep 1.5
  stop_guard
  compare 'w
' "$work/commands" "a restart at the same level"
  "$ctl" get --guard-history "$work/guard.jsonl" | grep -A1 '"guard": {' | tail -n 1 > "$work/got"
  compare '    "level": "warning",
' "$work/got" "get's guard"
  "$ctl" check --guard-history "$work/guard.jsonl" | grep -q '^FBWF WARNING - overlay 85.9% used (55.0 MiB of 64 MiB), guard at warning since 20[0-9-]*T[0-9:]*Z | ' ||
    fail "check: $("$ctl" check --guard-history "$work/guard.jsonl")"
}

test_a_library_missing_at_start_or_a_state_folder_reset_is_unknown_until_it_is_back() {
  protected
  mkdir -p "$work/lonely"
  cp "$ctl" "$work/lonely/"
  ctl="$work/lonely/vorlenctl" start_guard --interval 1
  until_true 3 has_crossings 1 || fail "no unknown without the library"
  cp "$library" "$work/lonely/"
  until_true 3 has_crossings 2 || fail "no recovery once the library is there"
  sim reset
  until_true 3 has_crossings 3 || fail "a reset state folder was not seen"
  stop_guard
  history_without_times | sed 's/(126): .*"}$/(126): ..."}/' > "$work/got"
  compare '{"from": "normal", "to": "unknown", "reason": "the write filter'"'"'s library can'"'"'t be loaded (126): ..."}
{"from": "unknown", "to": "normal", "used_bytes": 0, "threshold_bytes": 67108864, "percent": 0.0}
{"from": "normal", "to": "unknown", "reason": "the filter is off in this session"}
' "$work/got" "the history of a missing library and a reset"
}

test_options_and_files_it_cant_use_are_refused_before_anything_is_written() {
  protected
  mkdir -p "$work/folder"
  ln -sf "$work/elsewhere" "$work/link"
  local cases=(
    "--warning 90% --critical 85%|the warning level 90% is not below the critical level 85%"
    "--warning 0|--warning takes a share of the threshold (85%) or a size (48MB), not 0"
    "--critical 101%|--critical takes a share of the threshold (85%) or a size (48MB), not 101%"
    "--hysteresis 60|--hysteresis takes points of the threshold from 0 to 50, not 60"
    "--interval 0|--interval takes seconds from 0.01 to 86400, not 0"
    "--history $work/folder|$work/folder is a folder"
    "--history $work/link|$work/link is a link, which the guard does not follow"
    "--textfile $work/nothing|--textfile takes a folder, which $work/nothing is not"
  )
  if [ "$(id -u)" -eq 0 ]; then
    : > "$work/theirs" && chown 65534 "$work/theirs"
    cases+=("--history $work/theirs|$work/theirs belongs to another user")
  fi
  local entry
  for entry in "${cases[@]}"; do
    # shellcheck disable=SC2086
    timeout 5 "$ctl" guard --history "$work/fresh/guard.jsonl" ${entry%%|*} > "$work/out" 2> "$work/err"
    status=$?
    [ "$status" -eq 2 ] || fail "guard ${entry%%|*} exited $status, not 2"
    compare "vorlenctl: ${entry#*|} (see vorlenctl --help)
" "$work/err" "guard ${entry%%|*}"
  done
  [ ! -e "$work/fresh" ] && [ ! -e "$work/elsewhere" ] || fail "a refused guard wrote something"
}

run_tests
# Whatever a test's end, no guard outlives the suite.
[ -f "$work/guards" ] && xargs kill -KILL < "$work/guards" 2> /dev/null
finish "all guard tests passed"
