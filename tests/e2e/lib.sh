# Helpers of the end-to-end suites. The sourcing script sets `bin` (the folder
# of vorlen, fbwfsim and the stand-in) and `runner` (empty, or what runs
# Windows builds, such as wine), then defines test_* functions and calls
# run_tests.
set -u
ext=""
[ -n "$runner" ] && ext=".exe"
library=$(ls "$bin"/libfbwflib.so "$bin"/FBWFLIB.dll 2>/dev/null | head -n 1)
# shellcheck source=common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

golden banner.txt BANNER
golden usage.txt USAGE
REBOOT=$'Reboot system for change to take effect\n'

# A path as the programs under test spell it: wine shows / as drive Z:.
native() {
  if [ -n "$runner" ]; then printf 'Z:%s' "${1//\//\\}"; else printf '%s' "$1"; fi
}

fresh_state() {
  state=$(mktemp -d "$work/state.XXXXXX")/fbwfsim
  export FBWFSIM_DIR
  FBWFSIM_DIR=$(native "$state")
}

# Output goes to files: wine's helpers can hold a pipe open long after the end.
run() {  # run PROGRAM ARGS... > $work/out, status in $status
  local program=$1
  shift
  $runner "$program" "$@" > "$work/out" 2> "$work/err" < /dev/null
  status=$?
  [ -n "$runner" ] && sed -i 's/\r$//' "$work/out" "$work/err"
}

compare() {  # compare EXPECTED FILE LABEL
  printf '%s' "$1" > "$work/expected"
  if ! cmp -s "$work/expected" "$2"; then
    fail "$3"
    diff <(od -c "$work/expected") <(od -c "$2") | head -n 20
  fi
}

# vorlen_prints EXPECTED_AFTER_BANNER ARGS...: exit status 0 and that output.
vorlen_prints() {
  local expected=$1
  shift
  vorlen_with "$bin/vorlen$ext" "$expected" "$@"
}

vorlen_with() {
  local program=$1 expected=$2
  shift 2
  run "$program" "$@"
  compare "$BANNER$expected" "$work/out" "vorlen $*"
  [ "$status" -eq 0 ] || fail "vorlen $* exited $status: $(head -c 500 "$work/err")"
}

sim() {  # sim ARGS...: fbwfsim must succeed
  run "$bin/fbwfsim$ext" "$@"
  [ "$status" -eq 0 ] || fail "fbwfsim $* exited $status: $(cat "$work/err")"
}

sim_reads() {  # sim_reads EXPECTED VOLUME PATH
  run "$bin/fbwfsim$ext" read "$2" "$3"
  compare "$1" "$work/out" "fbwfsim read $2 $3"
}

state_line() { printf 'FBWF is %s\nFBWF for the next session is %s' "$1" "$2"; }
volume_lines() {
  printf 'Volume %s  protection is %s\nVolume %s  protection for next session is %s' "$1" "$2" "$1" "$3"
}

# sim_says STATUS EXPECTED ARGS...: fbwfsim's whole standard output, or with
# a nonzero STATUS the first line of its standard error.
sim_says() {
  local expected_status=$1 expected=$2
  shift 2
  run "$bin/fbwfsim$ext" "$@"
  [ "$status" -eq "$expected_status" ] || fail "fbwfsim $* exited $status, not $expected_status"
  if [ "$expected_status" -eq 0 ]; then
    compare "$expected" "$work/out" "fbwfsim $*"
  else
    head -n 1 "$work/err" > "$work/first"
    compare "$expected"$'\n' "$work/first" "fbwfsim $* (standard error)"
  fi
}
vorlen_says() {  # vorlen_says TEXT ARGS...: vorlen's output holds TEXT
  local text=$1
  shift
  LANG=C.UTF-8 run "$bin/vorlen$ext" "$@"
  grep -q "$text" "$work/out" || fail "vorlen $*: $(tail -n +4 "$work/out" | head -n 3)"
}

# Each test runs in a subshell of its own, so that its variables and folder
# changes stay its own; a test that exits non-zero fails as a check does.
run_tests() {
  local test before
  for test in $(declare -F | awk '$3 ~ /^test_/ {print $3}'); do
    before=$(failure_count)
    ( "$test" ) || fail "$test exited with status $?"
    [ "$(failure_count)" -eq "$before" ] && echo "ok   $test" || echo "FAIL $test"
  done
  echo "$(failure_count) failures"
  finish
}
