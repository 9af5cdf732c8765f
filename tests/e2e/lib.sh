# Helpers of the end-to-end suites. The sourcing script sets `bin` (the folder
# of vorlen, fbwfsim and the stand-in) and `runner` (empty, or what runs
# Windows builds, such as wine), then defines test_* functions and calls
# run_tests.
set -u
ext=""
[ -n "$runner" ] && ext=".exe"
library=$(ls "$bin"/libfbwflib.so "$bin"/FBWFLIB.dll 2>/dev/null | head -n 1)
work=$(mktemp -d "${TMPDIR:-/tmp}/vorlen-e2e.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
checks=0

BANNER=$'\nVORLEN - FBWF API Example\nControls the File-Based Write Filter through its API library.\n\n'
USAGE=$'\nVORLEN <Option>\n-enable\t\t\tEnable FBWF\n-disable\t\tDisable FBWF\n'
USAGE+=$'-enablecompression         Enable Compression\n-disablecompression        Disable Compression\n'
USAGE+=$'-enablecache\t\tEnable Cache PreAllocate\n-disablecache\t\tDisable Cache PreAllocate \n'
USAGE+=$'-protectvolume <volume>\tProtect a new volume\n-unprotectvolume <volume>\tProtect a new volume\n'
USAGE+=$'-fbwfstate\t\tGets the filter status\n-fbwfcompression\tGets the compresstion status\n'
USAGE+=$'-fbwfprealloc\t\tGets the Cache PreAllocation status\n-volumestatus <volume>\tGets the volume status\n'
USAGE+=$'-setcache <cache size>\tcache size must be between 16 and 1024\n'
USAGE+=$'-addex <drive> <file or path>\tadd a file or path to the exclusion list\n'
USAGE+=$'-remex <drive> <file or path>\tremove a file or path to the exclusion list\n'
USAGE+=$'-commit <drive> <file or path>\tcommits a file in cache to the disk\n'
USAGE+=$'-restore <drive> <file or path>\trestores a file in cache from the disk\n'
REBOOT=$'Reboot system for change to take effect\n'

fail() {
  failures=$((failures + 1))
  echo "FAIL: $*"
}

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
  checks=$((checks + 1))
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
  [ "$status" -eq 0 ] || fail "vorlen $* exited $status"
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

run_tests() {
  local test before
  for test in $(declare -F | awk '$3 ~ /^test_/ {print $3}'); do
    before=$failures
    "$test"
    [ "$failures" -eq "$before" ] && echo "ok   $test" || echo "FAIL $test"
  done
  echo "$checks outputs compared, $failures failures"
  [ "$failures" -eq 0 ]
}
