#!/usr/bin/env bash
# Load: PROCESSES concurrent writers make CHANGES changes each (exclusions,
# switches, the threshold) against one state folder while a reader queries
# all the while. Afterwards every change is there, the configuration parses,
# and the reader never saw an error.
#
#   load.sh BIN_DIR PROCESSES CHANGES
set -u

bin=$1
processes=$2
changes=$3
runner=""
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"

writer() {  # writer K: prints one line per change that went wrong
  local k=$1 m out
  for m in $(seq 1 "$changes"); do
    out=$("$bin/vorlen" -addex C: "\\w${k}_$m")
    [[ $out == *"is now excluded."* ]] || echo "writer $k: -addex $m: ${out##*$'\n\n'}"
    case $((m % 3)) in
      0) out=$("$bin/vorlen" -setcache $((16 + m))) ;;
      1) out=$("$bin/vorlen" -enablecompression) ;;
      2) out=$("$bin/vorlen" -disablecompression) ;;
    esac
    [[ $out == *"Reboot system"* ]] || echo "writer $k: change $m: ${out##*$'\n\n'}"
  done
}

reader() {  # counts queries; prints one line per query that failed
  local reads=0 out
  while [ ! -e "$work/stop" ]; do
    out=$("$bin/vorlen" -fbwfstate)
    [[ $out == *"FBWF for the next session is ENABLED" ]] || echo "reader: ${out##*$'\n\n'}"
    out=$("$bin/vorlen" -volumestatus C:)
    [[ $out == *"protection for next session is ENABLED" ]] || echo "reader: ${out##*$'\n\n'}"
    reads=$((reads + 2))
  done
  echo "$reads" > "$work/reads"
}

test_concurrent_writers_and_a_reader() {
  fresh_state
  vorlen_prints "FBWF Enabled.  $REBOOT" -enable
  vorlen_prints "Volume C: will be protected in the next session. $REBOOT" -protectvolume C:
  reader > "$work/reader.log" &
  local reader_pid=$! k
  for k in $(seq 1 "$processes"); do
    writer "$k" > "$work/writer.$k.log" &
  done
  wait $(jobs -p | grep -v "^$reader_pid$")
  touch "$work/stop"
  wait "$reader_pid"
  cat "$work"/writer.*.log "$work/reader.log" | head -n 5
  [ -z "$(cat "$work"/writer.*.log "$work/reader.log")" ] || fail "a call failed under load"
  local listed expected=$((processes * changes))
  listed=$(grep -c '^C \\w[0-9]*_[0-9]*$' "$state/config")
  [ "$listed" -eq "$expected" ] || fail "$listed of $expected exclusions were kept"
  sim show
  echo "     load: $processes processes made $((processes * changes * 2)) changes;" \
    "$listed of $expected exclusions kept; $(cat "$work/reads") queries alongside, none failed"
}

# Resets alongside volume queries: C exists before and after every reset, so
# no query may find it missing.
test_resets_alongside_volume_queries() {
  fresh_state
  local k out missing=0 resets
  for k in $(seq 1 200); do echo original > "$state/volumes/C/f$k"; done
  ( k=0
    while [ ! -e "$work/queries.done" ]; do
      "$bin/fbwfsim" reset > /dev/null || echo "reset $k failed"
      k=$((k + 1))
    done
    echo "$k" > "$work/resets" ) > "$work/resets.log" &
  for k in $(seq 1 $((changes * 3))); do
    out=$("$bin/vorlen" -volumestatus C:)
    [[ $out == *"protection for next session is DISABLED" ]] || missing=$((missing + 1))
  done
  touch "$work/queries.done"
  wait
  resets=$(cat "$work/resets")
  [ ! -s "$work/resets.log" ] || fail "$(cat "$work/resets.log")"
  [ "$missing" -eq 0 ] || fail "$missing of $((changes * 3)) queries alongside resets failed: ${out##*$'\n\n'}"
  echo "     $resets resets, $((changes * 3)) volume queries alongside, $missing failed"
}

run_tests
