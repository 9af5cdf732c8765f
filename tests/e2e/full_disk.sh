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

# A reset cut short (its empty reset.ready left behind) on a mount made
# read-only since: every call answers at once, naming the unfinished reset.
test_a_reset_that_cannot_be_completed_is_named_not_retried() {
  protected_machine_in unfinished
  mkdir "$state/reset.ready"
  mount -o remount,ro "$disk" || { fail "can't remount read-only"; return; }
  FBWFSIM_LOCK_WAIT_MS=2000 timeout 20 "$bin/fbwfsim" show > "$work/out" 2> "$work/err"
  status=$?
  [ "$status" -eq 1 ] && grep -q "a reset cut short can't be completed" "$work/err" ||
    fail "fbwfsim show with a reset that can't be completed: $status $(cat "$work/err")"
  FBWFSIM_LOCK_WAIT_MS=2000 timeout 20 "$bin/vorlen" -fbwfstate > "$work/out"
  [ $? -eq 0 ] || fail "vorlen -fbwfstate with a reset that can't be completed did not end"
  mount -o remount,rw "$disk"
}

# Permissions bind users other than the superuser: the tests run as nobody.
as_nobody() { setpriv --reuid=65534 --regid=65534 --clear-groups -- "$@"; }

# A state folder that can be written but not read (mode 0300): the
# configuration can be renamed into place but its folder not flushed, so a
# change is refused before it is made, not made and then reported failed.
test_a_change_that_cannot_be_made_durable_changes_nothing() {
  chmod 755 "$work"
  state="$disk/write-only"
  export FBWFSIM_DIR=$state
  as_nobody "$bin/vorlen" -enable > /dev/null
  chmod 300 "$state"
  as_nobody "$bin/vorlen" -disable > "$work/out"
  compare "$BANNER"'Disable Error' "$work/out" "-disable in a folder that can't be read"
  as_nobody "$bin/fbwfsim" reboot 2> /dev/null && fail "a reboot in a folder that can't be read succeeded"
  as_nobody "$bin/fbwfsim" reset 2> /dev/null && fail "a reset in a folder that can't be read succeeded"
  chmod 700 "$state"
  as_nobody "$bin/vorlen" -fbwfstate > "$work/out"
  compare "$BANNER$(state_line DISABLED ENABLED)"$'\n' "$work/out" "the filter after the refused changes"
  chmod 700 "$work"
}

# An empty folder the user can't write: named for what it is.
test_a_state_folder_that_cannot_be_written_is_named() {
  chmod 755 "$work"
  mkdir "$disk/not-mine"
  FBWFSIM_DIR="$disk/not-mine" as_nobody "$bin/fbwfsim" show > /dev/null 2> "$work/err"
  grep -q "can't be used: Permission denied" "$work/err" || fail "the folder that can't be written: $(cat "$work/err")"
  chmod 700 "$work"
}

run_tests
