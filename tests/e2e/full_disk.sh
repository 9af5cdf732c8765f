#!/usr/bin/env bash
# A full disk: the state folder on a small tmpfs that is then filled. A
# reboot fails and keeps the old session with its whole cache, an injected
# fault whose count can't be stored does not fire, and once space is freed
# everything works again. Then the tmpfs mounted read-only: queries work,
# changes answer 19. Needs to mount a tmpfs; skipped (77) where the machine
# does not allow it.
#
#   full_disk.sh BIN_DIR
set -u
bin=$1
runner=""
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"

disk="$work/disk"
mkdir -p "$disk"
if ! mount -t tmpfs -o size=1m tmpfs "$disk" 2> /dev/null; then
  echo "SKIPPED: full-disk test: this machine does not allow mounting a tmpfs (needs root)"
  exit 77
fi
trap 'umount "$disk"; rm -rf "$work"' EXIT

# A machine in $disk/NAME with C protected now and one file in its cache.
protected_machine_in() {
  state="$disk/$1"
  export FBWFSIM_DIR=$state
  vorlen_prints "FBWF Enabled.  $REBOOT" -enable
  vorlen_prints "Volume C: will be protected in the next session. $REBOOT" -protectvolume C:
  sim reboot
  sim write C: '\kept.txt' 'cached'
}

test_a_full_disk_loses_nothing() {
  protected_machine_in fbwfsim
  sim fail FbwfAddExclusion 9 2
  cp "$state/config" "$work/config.before"
  dd if=/dev/zero of="$disk/filler" bs=4k 2> /dev/null
  run "$bin/fbwfsim" reboot
  [ "$status" -ne 0 ] || fail "a reboot on a full disk succeeded"
  grep -q 'No space left on device' "$work/err" || fail "the reboot's message does not name the cause: $(cat "$work/err")"
  cmp -s "$work/config.before" "$state/config" || fail "a failed reboot changed config"
  sim_reads 'cached' C: '\kept.txt'
  local i
  for i in 1 2 3; do vorlen_prints $'Error 5 \n'"$USAGE" -addex C: '\x'; done
  [ "$(cat "$state/faults")" = "FbwfAddExclusion 9 2" ] || fail "faults says $(cat "$state/faults")"
  rm "$disk/filler"
  vorlen_prints $'Error 9 \n'"$USAGE" -addex C: '\x'
  sim reboot
  run "$bin/fbwfsim" read C: '\kept.txt'
  [ "$status" -ne 0 ] || fail "a reboot kept a cached file"
}

test_a_read_only_mount_answers_queries_and_refuses_changes() {
  protected_machine_in read-only
  rm -f "$state/lock"  # a folder copied onto read-only media has none
  mount -o remount,ro "$disk" || { fail "can't remount read-only"; return; }
  vorlen_prints "$(state_line ENABLED ENABLED)"$'\n' -fbwfstate
  vorlen_prints "$(volume_lines C: ENABLED ENABLED)"$'\n' -volumestatus C:
  sim_reads 'cached' C: '\kept.txt'
  vorlen_prints $'Error 19 \n'"$USAGE" -addex C: '\x'
  vorlen_prints "FBWF Enabled.  $REBOOT" -enable  # nothing to change
  run "$bin/fbwfsim" reboot
  [ "$status" -eq 1 ] && grep -q 'Read-only file system' "$work/err" ||
    fail "a reboot on a read-only mount: $status $(cat "$work/err")"
  mount -o remount,rw "$disk"
}

run_tests
