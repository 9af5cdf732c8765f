#!/usr/bin/env bash
# vorlenctl against the stand-in: each subcommand's whole output, its exit
# statuses, desired states that converge and hostile ones that are refused
# whole, a fault in the middle of a plan, a library that lacks functions, and
# the overlay's levels.
#   vorlenctl.sh BIN_DIR RECORDING_LIBRARY [RUNNER]
set -u
bin=$1
recording=$2
runner=${3:-}
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"
ctl="$bin/vorlenctl$ext"

# ctl_says STATUS EXPECTED_OUTPUT ARGS...
ctl_says() {
  local expected_status=$1 expected=$2
  shift 2
  run "$ctl" "$@"
  compare "$expected" "$work/out" "vorlenctl $*"
  [ "$status" -eq "$expected_status" ] || fail "vorlenctl $* exited $status, not $expected_status: $(cat "$work/err")"
}

desired() {  # desired NAME JSON: a desired state's file, as the program names it
  printf '%s' "$2" > "$work/$1"
  native "$work/$1"
}

# The filter on, C: protected with one exclusion and a 16 MB threshold, all
# for the next session.
arranged() {
  fresh_state
  sim reset
  local change
  for change in -enable "-protectvolume C:" "-addex C: \\temp" "-setcache 16"; do
    # shellcheck disable=SC2086
    run "$bin/vorlen$ext" $change
  done
  sim calls --failed
}

test_get_prints_both_sessions_and_the_overlay() {
  arranged
  ctl_says 0 '{
  "current": {
    "filter": false,
    "compression": false,
    "preallocation": false,
    "threshold_mb": 64,
    "protected": [],
    "exclusions": {}
  },
  "next": {
    "filter": true,
    "compression": false,
    "preallocation": false,
    "threshold_mb": 16,
    "protected": [
      "C:"
    ],
    "exclusions": {
      "C:": [
        "\\temp"
      ]
    }
  },
  "memory": {
    "current_threshold": 67108864,
    "next_threshold": 16777216,
    "dir_structure": 0,
    "file_data": 0
  },
  "size_display": null,
  "reboot_pending": true,
  "unavailable": []
}
' get
}

test_test_says_whether_the_next_session_is_as_desired() {
  arranged
  ctl_says 0 '{
  "in_desired_state": true,
  "differences": [],
  "reboot_pending": true
}
' test "$(desired same.json '{"filter": true, "exclusions": {"c:": ["\\TEMP"]}, "threshold_mb": 16}')"
  ctl_says 1 '{
  "in_desired_state": false,
  "differences": [
    {
      "key": "compression",
      "have": false,
      "want": true
    },
    {
      "key": "exclusions",
      "volume": "C:",
      "have": [
        "\\temp"
      ],
      "want": []
    }
  ],
  "reboot_pending": true
}
' test "$(desired other.json '{"compression": true, "exclusions": {"C:": []}}')"
}

test_set_converges_in_one_run_and_then_changes_nothing() {
  fresh_state
  local file
  file=$(desired want.json '{"filter": false, "compression": true, "protected": ["D:"], "exclusions": {"D:": ["\\a", "\\b"]}}')
  run "$ctl" set "$file" --check
  [ "$status" -eq 0 ] || fail "set --check exited $status"
  grep -q '"status": null' "$work/out" || fail "set --check made calls: $(cat "$work/out")"
  run "$bin/fbwfsim$ext" calls
  grep -vE 'Fbwf(Is|Get)' "$work/out" && fail "set --check called a function that changes something"
  run "$ctl" set "$file" --exit-reboot
  [ "$status" -eq 194 ] || fail "set --exit-reboot with a reboot needed exited $status (3010 reads as 194)"
  tr -d ' \n' < "$work/out" | grep -qF '"calls":[{"function":"FbwfEnableFilter","arguments":[],"status":0},{"function":"FbwfEnableCompression","arguments":[],"status":0},{"function":"FbwfProtectVolume","arguments":["D:"],"status":0},{"function":"FbwfAddExclusion","arguments":["D:","\\a"],"status":0},{"function":"FbwfAddExclusion","arguments":["D:","\\b"],"status":0},{"function":"FbwfDisableFilter","arguments":[],"status":0}]' ||
    fail "set made other calls: $(cat "$work/out")"
  run "$ctl" set "$file"
  tr -d ' \n' < "$work/out" | grep -qF '"changed":false,"reboot_required":true,"calls":[]' || fail "a second set: $(cat "$work/out")"
  run "$ctl" get
  python3 -c 'import json, sys; json.dump(json.load(open(sys.argv[1]))["next"], open(sys.argv[2], "w"))' \
    "$work/out" "$work/next.json"
  run "$ctl" set "$(native "$work/next.json")"
  tr -d ' \n' < "$work/out" | grep -qF '"changed":false' || fail "get's next session set again changed: $(cat "$work/out")"
}

# fbwfsim shows a session as vorlenctl shows and reads one: both sessions
# alike, the next one a desired state that changes nothing, and a volume's
# kept list out of it.
test_a_session_fbwfsim_shows_is_a_desired_state_that_changes_nothing() {
  arranged
  run "$bin/vorlen$ext" -unprotectvolume D:
  sim reboot
  run "$bin/vorlen$ext" -protectvolume D:
  run "$bin/vorlen$ext" -addex D: '\kept'
  run "$bin/vorlen$ext" -unprotectvolume D:
  run "$bin/vorlen$ext" -remex C: '\temp'  # a protected volume with an empty list
  run "$bin/fbwfsim$ext" show --json
  python3 -c 'import json, sys; d = json.load(open(sys.argv[1], encoding="utf-8")); print(json.dumps(d["next"])); assert d["kept_exclusions"]["next"] == {"D:": ["\\kept"]}, d' \
    "$work/out" > "$work/next.json" || fail "fbwfsim show --json: $(cat "$work/out")"
  cp "$work/out" "$work/shown.json"
  run "$ctl" get
  python3 -c 'import json, sys; a, b = (json.load(open(f, encoding="utf-8")) for f in sys.argv[1:]); assert (a["current"], a["next"]) == (b["current"], b["next"]), (a, b)' \
    "$work/shown.json" "$work/out" || fail "fbwfsim and vorlenctl show the sessions differently"
  sim calls --clear
  run "$ctl" set "$(native "$work/next.json")"
  [ "$status" -eq 0 ] || fail "vorlenctl set of the session fbwfsim shows exited $status: $(cat "$work/err")"
  tr -d ' \n' < "$work/out" | grep -qF '"changed":false,"reboot_required":true,"calls":[]' ||
    fail "the session fbwfsim shows is not the one vorlenctl reads: $(cat "$work/out")"
}

test_a_failed_call_stops_the_plan_and_is_named() {
  fresh_state
  sim fail FbwfAddExclusion 5
  run "$ctl" set "$(desired want.json '{"protected": ["C:"], "exclusions": {"C:": ["\\a", "\\b"]}}')"
  [ "$status" -eq 3 ] || fail "set with a failing call exited $status"
  grep -q 'FbwfAddExclusion failed with code 5' "$work/err" || fail "the failure is not named: $(cat "$work/err")"
  tr -d ' \n' < "$work/out" | grep -qF '{"function":"FbwfAddExclusion","arguments":["C:","\\a"],"status":5}]' ||
    fail "the calls made are not listed up to the failure: $(cat "$work/out")"
}

test_a_desired_state_that_cannot_be_taken_changes_nothing() {
  arranged
  cp "$state/config" "$work/config.before"
  python3 -c 'import sys; sys.stdout.write("[" * 100000 + "]" * 100000)' > "$work/deep.json"
  head -c 104857600 /dev/zero | tr '\0' ' ' > "$work/huge.json"
  printf '{"filter": true, "x": "\xff"}' > "$work/invalid.json"
  local case file
  while IFS='|' read -r case file; do
    [ -n "$file" ] || file=$(desired bad.json "$case")
    run "$ctl" set "$file"
    [ "$status" -eq 2 ] && [ -s "$work/err" ] || fail "set $case exited $status: $(cat "$work/err")"
    grep -q '^vorlenctl: ' "$work/err" || fail "set $case said: $(cat "$work/err")"
  done <<EOF
deep|$(native "$work/deep.json")
huge|$(native "$work/huge.json")
invalid UTF-8|$(native "$work/invalid.json")
missing|$(native "$work/no such file.json")
{"filter": true, "filter": false}|
{"threshold_mb": -1}|
{"threshold_mb": 4294967296}|
{"threshold_mb": 1e400}|
{"threshold_mb": 64.5}|
{"fitler": true}|
{"filter": "yes"}|
{"protected": ["C"]}|
{"exclusions": {"D:": ["\\a"]}}|
{"protected": [], "exclusions": {"C:": []}}|
[true]|
{"filter": true|
EOF
  run "$ctl" test "$(desired bad.json '{
  "filter": tru
}')"
  grep -q ':2:' "$work/err" || fail "a syntax error is not placed by line: $(cat "$work/err")"
  cmp -s "$work/config.before" "$state/config" || fail "a refused desired state changed the machine"
  ctl_says 2 "" bogus
}

test_a_library_missing_or_lacking_functions() {
  fresh_state
  local alone="$work/alone" partial="$work/partial"
  mkdir -p "$alone" "$partial"
  cp "$ctl" "$alone/"
  cp "$ctl" "$partial/"
  cp "$recording" "$partial/$(basename "$library")"
  unset LD_LIBRARY_PATH
  run "$alone/vorlenctl$ext" get
  [ "$status" -eq 3 ] && grep -q "library can't be loaded (126)" "$work/err" || fail "get without a library: $status $(cat "$work/err")"
  run "$alone/vorlenctl$ext" check
  [ "$status" -eq 3 ] && grep -q "^FBWF UNKNOWN - the write filter's library can't be loaded (126): .*$(basename "$library") can't be loaded from" "$work/out" ||
    fail "check without a library: $status $(cat "$work/out")"
  run "$partial/vorlenctl$ext" get
  [ "$status" -eq 0 ] || fail "get from a library that lacks functions exited $status: $(cat "$work/err")"
  tr -d ' \n' < "$work/out" | grep -qF '"unavailable":["FbwfIsFilterEnabled","FbwfIsCompressionEnabled","FbwfIsCachePreAllocationEnabled","FbwfGetMemoryUsage","FbwfGetVolumeList","FbwfGetSizeDisplay"]' ||
    fail "the functions the library lacks are not named: $(cat "$work/out")"
}

test_overlay_and_check_read_the_overlay_at_each_level() {
  arranged
  ctl_says 2 "FBWF CRITICAL - the filter is off in this session: the device is unprotected | overlay_used=0B;53687091.2;60397977.6;0;67108864 overlay_used_percent=0.0%;80;90;0;100
" check
  ctl_says 0 "FBWF OK - the filter is off in this session, as allowed; overlay 0.0% used (0.0 MiB of 64 MiB) | overlay_used=0B;53687091.2;60397977.6;0;67108864 overlay_used_percent=0.0%;80;90;0;100
" check --allow-off
  sim reboot
  sim write C: '\a' "$(head -c 1000 /dev/zero | tr '\0' a)"
  sim write C: '\dir\big' "$(head -c 3000 /dev/zero | tr '\0' b)"
  sim write C: '\temp\through' 'to the disk'
  ctl_says 0 "FBWF OK - overlay 0.0% used (0.0 MiB of 16 MiB) | overlay_used=4206B;13421772.8;15099494.4;0;16777216 overlay_used_percent=0.0%;80;90;0;100
" check
  # Above a level of 0 by 4206 bytes: shown with the digits that tell it.
  ctl_says 1 "FBWF WARNING - overlay 0.02% used (0.00 MiB of 16 MiB) | overlay_used=4206B;0;15099494.4;0;16777216 overlay_used_percent=0.02%;0;90;0;100
" check -w 0
  ctl_says 2 "FBWF CRITICAL - overlay 0.02% used (0.00 MiB of 16 MiB) | overlay_used=4206B;0;0;0;16777216 overlay_used_percent=0.02%;0;0;0;100
" check --warning=0 --critical 0
  ctl_says 3 "FBWF UNKNOWN - the warning level 95% is above the critical level 90%
" check --warning 95
  ctl_says 0 '{
  "memory": {
    "current_threshold": 16777216,
    "next_threshold": 16777216,
    "dir_structure": 206,
    "file_data": 4000
  },
  "used_percent": 0.0,
  "largest": [
    {
      "volume": "C:",
      "path": "\\dir\\big",
      "bytes": 3000
    }
  ]
}
' overlay --json --top 1
}

test_options_go_before_or_after_the_operand_and_a_check_run_reports_what_a_real_one_would() {
  arranged
  local file
  file=$(desired want.json '{"compression": true}')
  run "$ctl" set --check "$file"
  [ "$status" -eq 0 ] || fail "set --check FILE exited $status: $(cat "$work/err")"
  tr -d ' \n' < "$work/out" | grep -qF '"changed":true,"reboot_required":true,"calls":[{"function":"FbwfEnableCompression","arguments":[],"status":null}]' ||
    fail "set --check does not report the change it would make: $(cat "$work/out")"
  $runner "$ctl" set --exit-reboot - < "$work/want.json" > "$work/out" 2> "$work/err"
  status=$?
  [ "$status" -eq 194 ] || fail "set --exit-reboot - exited $status (3010 reads as 194): $(cat "$work/err")"
  # A file named --check is reached after --.
  cp "$work/want.json" "$work/--check"
  (cd "$work" && $runner "$ctl" set --check -- --check > out 2> err)
  status=$?
  [ "$status" -eq 0 ] && grep -q '"changed": false' "$work/out" || fail "set -- --check exited $status: $(cat "$work/err")"
  run "$ctl" overlay --top=0 --json
  [ "$status" -eq 0 ] && grep -q '"largest": \[\]' "$work/out" || fail "overlay --top=0 exited $status: $(cat "$work/err")"
  # The usage line itself is the unit tests'; here, that --warning=VALUE reaches it.
  run "$ctl" check --allow-off --warning=80,5
  [ "$status" -eq 3 ] && grep -q '^FBWF UNKNOWN - usage: .*(--warning takes a range .*, not 80,5)$' "$work/out" ||
    fail "check --warning=80,5: $status $(cat "$work/out")"
  run "$ctl" set "$file" --chek
  [ "$status" -eq 2 ] && grep -qF 'unknown option --chek' "$work/err" || fail "an unknown option: $status $(cat "$work/err")"
}

test_what_the_filter_would_refuse_is_refused_before_any_call() {
  arranged
  sim calls --clear
  local case expected
  while IFS='|' read -r case expected; do
    run "$ctl" set --check "$(desired bad.json "$case")"
    [ "$status" -eq 2 ] && grep -qF "$expected" "$work/err" || fail "set --check $case: $status $(cat "$work/err")"
    run "$ctl" set "$(desired bad.json "$case")"
    [ "$status" -eq 2 ] && grep -qF "$expected" "$work/err" || fail "set $case: $status $(cat "$work/err")"
  done <<'EOF'
{"filter": true, "threshold_mb": 8}|threshold_mb 8 is outside the range
{"threshold_mb": 200000}|threshold_mb 200000 is outside the range
{"exclusions": {"C:": ["Logs"]}}|it does not start at the volume's root with a backslash
{"exclusions": {"C:": ["\\C:\\Logs"]}}|"\C:\Logs" on C: is not a path the filter accepts
{"exclusions": {"C:": ["\\NUL"]}}|a device name
{"protected": ["C"]}|a volume is a letter and a colon, such as C:
EOF
  run "$bin/fbwfsim$ext" calls
  [ ! -s "$work/out" ] || fail "a refused desired state made calls: $(cat "$work/out")"
  # A 32-bit Windows (the x86 build under a 32-bit wine) knows its range; on
  # other hosts the threshold the library refuses names the documented ranges.
  sim reset --release xpe
  run "$ctl" set "$(desired big.json '{"filter": true, "threshold_mb": 2048}')"
  if grep -qF "32-bit release accepts" "$work/err"; then
    [ "$status" -eq 2 ] && grep -qF 'threshold_mb 2048 is outside the range this device'"'"'s 32-bit release accepts: 16 to 1024 MB' "$work/err" ||
      fail "a 32-bit device's refusal: $status $(cat "$work/err")"
    return
  fi
  [ "$status" -eq 3 ] || fail "a threshold the release refuses exited $status"
  grep -qF 'FbwfSetCacheThreshold failed with code 87 (invalid parameter): the filter takes 16 to 1024 MB on 32-bit releases' "$work/err" ||
    fail "the refused threshold's range is not named: $(cat "$work/err")"
}

test_a_failed_run_reports_what_it_changed_and_the_code_means_something() {
  arranged
  sim fail FbwfAddExclusion 5
  run "$ctl" set "$(desired want.json '{"exclusions": {"C:": ["\\new"]}}')"
  [ "$status" -eq 3 ] || fail "set with a failing call exited $status"
  grep -qF 'vorlenctl: FbwfAddExclusion failed with code 5 (access denied)' "$work/err" ||
    fail "the code's meaning is not given: $(cat "$work/err")"
  tr -d ' \n' < "$work/out" | grep -qF '"changed":true,"reboot_required":true,"calls":[{"function":"FbwfRemoveExclusion","arguments":["C:","\\temp"],"status":0},{"function":"FbwfAddExclusion","arguments":["C:","\\new"],"status":5}]' ||
    fail "a run that removed an exclusion before failing says it changed nothing: $(cat "$work/out")"
  tr -d ' \n' < "$work/out" | grep -qF '"after":{"filter":true,"compression":false,"preallocation":false,"threshold_mb":16,"protected":["C:"],"exclusions":{"C:":[]}}}' ||
    fail "after a failure, after is not the device as it is: $(cat "$work/out")"
}

# On a Windows console, names show as they are and any file name is reached;
# a pseudo-terminal is the console wine gives a program.
test_names_and_file_names_on_a_windows_console() {
  [ -n "$runner" ] || return 0
  command -v script > /dev/null || { fail "needs script (util-linux) for a console"; return; }
  arranged
  LANG=C.UTF-8 run "$bin/vorlen$ext" -addex C: '\Журнал'
  desired 'Желание.json' '{"filter": true}' > /dev/null
  local on_console
  on_console() {  # on_console ARGS...: vorlenctl on a console, its output in $work/out
    LANG=C.UTF-8 script -qec "$(printf '%q ' $runner "$ctl" "$@")" /dev/null < /dev/null | tr -d '\r' > "$work/out"
  }
  on_console get
  grep -qF '"\\Журнал"' "$work/out" || fail "get on a console: $(grep -a 'C:' "$work/out" | head -c 300)"
  on_console test "$(native "$work/Желание.json")"
  grep -qF '"in_desired_state": true' "$work/out" || fail "test of a file with a Cyrillic name: $(head -c 300 "$work/out")"
  # Redirected, the same texts keep their UTF-8 bytes.
  LANG=C.UTF-8 run "$ctl" get
  grep -qF '"\\Журнал"' "$work/out" || fail "get redirected: $(grep -a 'C:' "$work/out" | head -c 300)"
}

# The stand-in waits up to 30 s for its lock; the check gives up at its
# timeout with UNKNOWN. (flock holds the lock as the Linux stand-in takes it.)
test_a_check_whose_library_does_not_answer_is_unknown_at_its_timeout() {
  [ -z "$runner" ] || return 0
  arranged
  flock "$state/lock" sleep 10 &
  local holder=$! started=$SECONDS
  until_true 5 eval '! flock -n "$state/lock" true' || fail "the lock is not held"
  ctl_says 3 "FBWF UNKNOWN - the write filter's library did not answer within 1 s
" check -t 1
  [ $((SECONDS - started)) -le 4 ] || fail "the check took $((SECONDS - started)) s to give up"
  pkill -P "$holder"
  kill "$holder" 2> /dev/null
  wait "$holder" 2> /dev/null || true
}

# Deployment engines read the exit status as Windows reports it: under wine,
# cmd's %ERRORLEVEL% after each line of a batch, as a deployment type's
# command line runs; elsewhere the 8 bits a POSIX status keeps.
test_return_codes_are_the_ones_a_deployment_reads() {
  arranged
  local record want other line expected got=() i=0
  record=$(native "$work/device/servicing.json")
  want=$(desired want.json '{"filter": true, "compression": true}')
  other=$(desired other.json '{"compression": false}')
  local lines=(
    "3010|set --exit-reboot --servicing-file $record $want"
    "0|test --detect $want"
    "0|servicing start patch --servicing-file $record"
    "1618|set --exit-reboot --servicing-file $record $other"
    "3010|set --exit-reboot --servicing patch --servicing-file $record $other"
    "0|servicing end --servicing-file $record"
    "0|set --servicing-file $record $other"
  )
  if [ -n "$runner" ]; then
    { echo '@echo off'
      for line in "${lines[@]}"; do
        echo "\"$(native "$ctl")\" ${line#*|} > nul 2> nul"
        echo 'echo %ERRORLEVEL%'
      done
    } | sed 's/$/\r/' > "$work/codes.cmd"
    $runner cmd /c "$(native "$work/codes.cmd")" > "$work/out" 2> "$work/err" < /dev/null
    mapfile -t got < <(tr -d '\r' < "$work/out")
  else
    for line in "${lines[@]}"; do
      # shellcheck disable=SC2086
      "$ctl" ${line#*|} > /dev/null 2>&1 < /dev/null
      got+=("$?")
    done
  fi
  for line in "${lines[@]}"; do
    expected=${line%%|*}
    [ -n "$runner" ] || expected=$((expected % 256))
    [ "${got[$i]:-none}" = "$expected" ] || fail "vorlenctl ${line#*|} exited ${got[$i]:-none}, not $expected"
    i=$((i + 1))
  done
}

run_tests
