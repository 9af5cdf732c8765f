#!/usr/bin/env bash
# End-to-end: a broken state folder and paths that try to leave their volume.
# Each case gives its code and leaves every file as it was.
#
#   bad_input.sh BIN_DIR [RUNNER]
set -u

bin=$1
runner=${2:-}
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"

# Every file under a folder with its type, size and content digest; the
# journal of calls, which every call appends to, aside.
snapshot() {
  (cd "$1" && find . -path ./journal -prune -o -printf '%p %y %s %l\n' | sort &&
    find . -path ./journal -prune -o -type f -print0 | sort -z | xargs -0 -r md5sum)
}

# The library's answer to a filter-wide query and to a volume query, twice
# each with a change, must be CODE; the state folder must stay as it was.
expect_code_untouched() {  # expect_code_untouched CODE LABEL
  local code=$1 label=$2
  snapshot "$state" > "$work/before"
  vorlen_prints "State Error" -fbwfstate
  vorlen_prints "Enable Error" -enable
  vorlen_prints "Error $code "$'\n'"$USAGE" -volumestatus C:
  vorlen_prints "Error $code "$'\n'"$USAGE" -addex C: '\data'
  run "$bin/fbwfsim$ext" reboot
  [ "$status" -ne 0 ] || fail "$label: fbwfsim reboot succeeded"
  snapshot "$state" > "$work/after"
  cmp -s "$work/before" "$work/after" || fail "$label: the state folder changed"
}

fresh_prepared_state() {
  fresh_state
  vorlen_prints "FBWF Enabled.  $REBOOT" -enable
}

test_config_not_a_regular_file() {
  fresh_prepared_state
  rm "$state/config"
  mkdir "$state/config"
  expect_code_untouched 5 "config a folder"
}

test_config_a_link_out_of_the_folder() {
  [ -n "$runner" ] && return  # wine shows a Unix link to Windows programs as the file itself
  fresh_prepared_state
  mv "$state/config" "$work/elsewhere"
  ln -s "$work/elsewhere" "$state/config"
  expect_code_untouched 5 "config a symbolic link"
}

test_config_unreadable() {
  [ "$(id -u)" -eq 0 ] && return  # permissions do not bind the superuser
  fresh_prepared_state
  chmod 000 "$state/config"
  expect_code_untouched 5 "config unreadable"
  chmod 644 "$state/config"
}

test_config_truncated() {
  fresh_prepared_state
  head -c 120 "$state/config" > "$work/cut" && cat "$work/cut" > "$state/config"
  expect_code_untouched 1392 "config truncated"
}

test_config_huge() {
  fresh_prepared_state
  { cat "$state/config"; yes '# padding padding padding padding padding padding padding' | head -c 40000000; } \
    > "$work/huge" && mv "$work/huge" "$state/config"
  expect_code_untouched 1392 "config of 40 MB"
}

test_config_unknown_key() {
  fresh_prepared_state
  sed -i 's/^compression = off/colour = blue/' "$state/config"
  expect_code_untouched 1392 "config with an unknown key"
}

test_config_duplicate_key() {
  fresh_prepared_state
  sed -i 's/^threshold = 64/threshold = 64\nthreshold = 128/' "$state/config"
  expect_code_untouched 1392 "config with a key twice"
}

# A hand-edited faults file that does not parse fails every call (1392, the
# message naming faults) and changes nothing, until fail --clear.
test_faults_malformed_or_too_large() {
  local faults
  for faults in 'FbwfEnableFilter 0 1' 'FbwfEnableFilter 5' 'FbwfEnableFilter 5 x' ' 5 1' 'LARGE'; do
    fresh_prepared_state
    if [ "$faults" = LARGE ]; then head -c 1048577 /dev/zero | tr '\0' 'x' > "$state/faults"
    else printf '%s\n' "$faults" > "$state/faults"; fi
    snapshot "$state" > "$work/before"
    vorlen_prints $'Error 1392 \n'"$USAGE" -volumestatus C:
    vorlen_prints $'Error 1392 \n'"$USAGE" -addex C: '\data'
    snapshot "$state" > "$work/after"
    cmp -s "$work/before" "$work/after" || fail "faults '$faults': the state folder changed"
    run "$bin/fbwfsim$ext" show
    grep -q "faults'" "$work/err" || fail "faults '$faults': fbwfsim show says: $(cat "$work/err")"
    sim fail --clear
    vorlen_prints "$(volume_lines C: DISABLED DISABLED)"$'\n' -volumestatus C:
  done
}

# Notepad saves UTF-8 with a byte-order mark: it is read past, and a change
# writes the file back without it.
test_config_with_a_byte_order_mark() {
  fresh_prepared_state
  printf '\xEF\xBB\xBF' | cat - "$state/config" > "$work/config" && cp "$work/config" "$state/config"
  vorlen_prints "$(state_line DISABLED ENABLED)"$'\n' -fbwfstate
  vorlen_prints "Volume C: will be protected in the next session. $REBOOT" -protectvolume C:
  [ "$(head -c 1 "$state/config")" = '#' ] || fail "the byte-order mark was written back"
  printf '\xEF\xBB\xBFFbwfIsVolumeProtected 5 1\n' > "$state/faults"
  vorlen_prints $'Error 5 \n'"$USAGE" -volumestatus C:
  vorlen_prints "$(volume_lines C: DISABLED ENABLED)"$'\n' -volumestatus C:
}

# hold_lock FILE SECONDS: flock holds FILE's lock (-o: flock's alone, not its
# child's) for SECONDS from when it has it; returns once it has it, however
# loaded the machine, with flock's pid in $holder.
hold_lock() {
  local held="$work/held.$RANDOM"
  flock -o "$1" sh -c 'echo > "$1"; exec sleep "$2"' sh "$held" "$2" &
  holder=$!
  until [ -e "$held" ]; do
    kill -0 "$holder" 2> /dev/null || { fail "flock $1 ended before it held the lock"; return; }
    sleep 0.02
  done
}

# A lock held by a stopped process: calls give up after the bound (shortened
# here) with 1460, and fbwfsim names the process.
test_a_held_lock_is_waited_for_at_most_the_bound() {
  [ -n "$runner" ] && return  # flock(1) locks for Linux programs only
  fresh_prepared_state
  local holder
  hold_lock "$state/lock" 30
  export FBWFSIM_LOCK_WAIT_MS=300
  vorlen_prints $'Error 1460 \n'"$USAGE" -volumestatus C:
  vorlen_prints "State Error" -fbwfstate
  run "$bin/fbwfsim" show
  [ "$status" -eq 1 ] || fail "fbwfsim show with the lock held exited $status"
  grep -q "is busy: process $holder has held its lock for 300 ms" "$work/err" ||
    fail "fbwfsim show with the lock held said: $(cat "$work/err")"
  kill "$holder"
  wait "$holder" 2> /dev/null
  vorlen_prints "$(volume_lines C: DISABLED DISABLED)"$'\n' -volumestatus C:
}

# One wait a call: the state's lock and the journal's together are waited
# for at most the bound, not once each.
test_a_call_waits_for_its_locks_once() {
  [ -n "$runner" ] && return
  fresh_prepared_state
  local holder state_holder journal_holder
  # Waited for once, the call takes the bound; twice, 1.8 s more.
  hold_lock "$state/lock" 1.8
  state_holder=$holder
  hold_lock "$state/journal.lock" 8
  journal_holder=$holder
  local start=$EPOCHREALTIME
  FBWFSIM_LOCK_WAIT_MS=2000 "$bin/vorlen" -fbwfstate > "$work/out"
  local took=$(( (${EPOCHREALTIME/./} - ${start/./}) / 1000 ))
  [ "$took" -ge 1500 ] && [ "$took" -lt 3300 ] || fail "a call behind both locks took $took ms, against a bound of 2000"
  kill "$state_holder" "$journal_holder" 2> /dev/null
  wait 2> /dev/null
  [ -e "$state/journal.incomplete" ] || fail "the call whose line waited too long left the journal complete"
}

test_state_folder_that_cannot_be_created() {
  fresh_state
  FBWFSIM_DIR=$(native "/proc/vorlen-no-such-folder/fbwfsim")
  [ -n "$runner" ] && FBWFSIM_DIR='Q:\no\such\drive\fbwfsim'
  vorlen_prints "State Error" -fbwfstate
  vorlen_prints "Enable Error" -enable
  vorlen_prints $'Error 5 \n'"$USAGE" -volumestatus C:
  # fbwfsim names the folder and the system's reason, not a guess.
  run "$bin/fbwfsim$ext" show
  grep -q "the state folder '.*fbwfsim' can't be made: ." "$work/err" ||
    fail "fbwfsim's message for a folder that can't be made: $(cat "$work/err")"
  [ -n "$runner" ] && return
  grep -q 'No such file or directory' "$work/err" || fail "the message lacks the system's reason: $(cat "$work/err")"
}

test_paths_never_leave_the_volume() {
  local box="$work/box"
  mkdir -p "$box"
  state="$box/state/fbwfsim"
  FBWFSIM_DIR=$(native "$state")
  echo "keep me" > "$box/outside.txt"
  vorlen_prints "FBWF Enabled.  $REBOOT" -enable
  vorlen_prints "Volume C: will be protected in the next session. $REBOOT" -protectvolume C:
  sim reboot
  snapshot "$box" > "$work/box.before"
  local refused=$'Error 123 \n'"$USAGE" path option attempts=0
  local paths=('\..\outside.txt' '..\outside.txt' '\a\..\..\..\outside.txt' '\..\..\..\..\..\tmp\x'
    'C:\outside.txt' 'C:outside.txt' '\C:\x' '\\server\share\x' '\\?\C:\x' '\\.\NUL' '\CON'
    '\nul' '\aux.txt' '\COM1' '\dir\LPT9.log' $'\\a\x01b' $'\\a\tb' $'\\a\x1fb' '\a.' '\a ' '\dir.\x'
    '\dir \x' '\a\.\b' '\.' '/etc/passwd' '\a/b' '\a*' '\a?' '\a|b' '\a<b>' '\a"b' '\' '\\' ''
    '\COM0' '\lpt0.txt' '\CONIN$' '\conout$.log' '\nul .txt' '\dir\aux  .x')
  # COM and LPT with a superscript digit; wine reads arguments in its own code page.
  [ -z "$runner" ] && paths+=($'\\COM\xC2\xB9' $'\\lpt\xC2\xB2.txt' $'\\Com\xC2\xB3')
  for path in "${paths[@]}"; do
    for option in -addex -remex -commit -restore; do
      [ "$option" = -restore ] && expected=$'Error 123 \nError: File not in cache\nError: File not found\n' \
        || expected=$refused
      vorlen_prints "$expected" "$option" C: "$path"
      attempts=$((attempts + 1))
    done
    run "$bin/fbwfsim$ext" write C: "$path" "escaped"
    [ "$status" -ne 0 ] || fail "fbwfsim write accepted '$path'"
    run "$bin/fbwfsim$ext" read C: "$path"
    [ "$status" -ne 0 ] || fail "fbwfsim read accepted '$path'"
    attempts=$((attempts + 2))
  done
  snapshot "$box" > "$work/box.after"
  cmp -s "$work/box.before" "$work/box.after" || {
    fail "a refused path changed a file"
    diff "$work/box.before" "$work/box.after" | head
  }
  echo "     $attempts attempts to leave the volume refused with 123, no file changed"
}

# What can be planted at each name of the state folder, and what a call must
# then do: the folder's own structure makes calls fail with 5, a link on a
# volume path is refused, a leftover scratch file is replaced. In every case
# nothing outside the folder changes and no call waits.
planted_cases=(
  "config         symlink hardlink fifo  structure"
  "faults         symlink hardlink fifo  structure"
  "lock           symlink hardlink fifo  structure"
  "volumes/C      symlink fifo           structure"
  "CACHE/C        symlink fifo           cache"
  "CACHE          symlink fifo           cachefolder"
  "volumes/C/x    symlink                path"
  "config.new     symlink hardlink fifo  leftover"
  "faults.new     symlink hardlink fifo  leftover"
  "tmp/write.new  symlink hardlink fifo  leftover"
)

plant() {  # plant KIND PATH: a link to a file or folder outside, or a FIFO
  local target=$2
  rm -rf "$target"
  mkdir -p "$(dirname "$target")"
  case $1 in
    symlink) if [[ $target == */cache* ]] && [[ $target != */C ]]; then ln -s "$outside/cache" "$target"
             elif [[ $target == */volumes/* || $target == */C ]]; then ln -s "$outside/dir" "$target"
             else ln -s "$outside/victim.txt" "$target"; fi ;;
    hardlink) ln "$outside/victim.txt" "$target" ;;
    fifo) mkfifo "$target" ;;
  esac
}

bounded() {  # bounded ARGS...: runs a program like run, failing a call that waits
  local program=$1
  shift
  timeout 20 "$program" "$@" > "$work/out" 2> "$work/err" < /dev/null
  status=$?
  [ "$status" -ne 124 ] || fail "$(basename "$program") $* waited on what was planted"
}

test_nothing_planted_in_the_folder_reaches_outside() {
  [ -n "$runner" ] && return  # wine shows Unix links and FIFOs to Windows programs as plain files
  outside="$work/outside"
  mkdir -p "$outside/dir"
  echo "keep me" > "$outside/victim.txt"
  echo "keep me too" > "$outside/dir/victim.txt"
  mkdir -p "$outside/cache/C"
  echo "outside" > "$outside/cache/C/a.txt"
  local line name kinds class kind cases=0
  for line in "${planted_cases[@]}"; do
    read -r name kinds <<< "$line"
    class=${kinds##* }
    for kind in ${kinds% *}; do
      fresh_state
      vorlen_prints "FBWF Enabled.  $REBOOT" -enable
      vorlen_prints "Volume C: will be protected in the next session. $REBOOT" -protectvolume C:
      sim reboot
      sim write C: '\a.txt' 'cached'
      local cache label="$kind at $name"
      cache=cache.$(sed -n 's/^session = //p' "$state/config")
      snapshot "$outside" > "$work/outside.before"
      plant "$kind" "$state/${name/CACHE/$cache}"
      case $class in
        structure)
          bounded "$bin/vorlen" -volumestatus C:
          compare "$BANNER"$'Error 5 \n'"$USAGE" "$work/out" "$label: -volumestatus" ;;
        cache)
          bounded "$bin/vorlen" -restore C: '\a.txt'
          compare "$BANNER"$'Error 5 \nError: File not in cache\nError: File not found\n' "$work/out" \
            "$label: -restore" ;;
        cachefolder)  # the session's cache folder itself: nothing reached through it
          local program
          for program in "read C: \\a.txt" "ls C:" "overlay"; do
            # shellcheck disable=SC2086
            bounded "$bin/fbwfsim" $program
            [ "$status" -ne 0 ] && ! grep -q outside "$work/out" || fail "$label: fbwfsim $program went through it"
          done
          bounded "$bin/vorlen" -commit C: '\a.txt'
          grep -q '^Error 5 $' "$work/out" || fail "$label: -commit: $(cat "$work/out")"
          bounded "$bin/vorlen" -restore C: '\a.txt'
          grep -q '^Error 5 $' "$work/out" || fail "$label: -restore: $(cat "$work/out")" ;;
        path)
          bounded "$bin/fbwfsim" write C: '\x\victim.txt' 'overwritten'
          [ "$status" -ne 0 ] || fail "$label: a write through it succeeded"
          bounded "$bin/fbwfsim" read C: '\x\victim.txt'
          [ "$status" -ne 0 ] && [ ! -s "$work/out" ] || fail "$label: a read through it printed $(cat "$work/out")" ;;
        leftover)
          bounded "$bin/vorlen" -addex C: '\data'
          compare "$BANNER"$'\\data on drive C: is now excluded.\n '"$REBOOT" "$work/out" "$label: -addex"
          bounded "$bin/fbwfsim" fail FbwfDisableFilter 31
          bounded "$bin/fbwfsim" write C: '\w.txt' 'written'
          [ "$status" -eq 0 ] || fail "$label: fbwfsim write failed: $(cat "$work/err")"
          [ -f "$state/config" ] && [ ! -L "$state/config" ] && [ -f "$state/faults" ] ||
            fail "$label: config or faults is not a plain file afterwards" ;;
      esac
      bounded "$bin/vorlen" -fbwfstate
      bounded "$bin/fbwfsim" reboot
      snapshot "$outside" > "$work/outside.after"
      cmp -s "$work/outside.before" "$work/outside.after" || fail "$label: a file outside changed"
      cases=$((cases + 1))
    done
  done
  echo "     $cases links, hard links and FIFOs planted; nothing outside changed, no call waited"
}

# A reset that the system stops at one of its steps (strace fails that call)
# leaves the old machine or the new one, and every call works afterwards.
reset_steps=("mkdir 1" "mkdir 3" "openat 2" "rename 1" "rename 2" "rename 3" "unlinkat 1")

test_a_reset_stopped_at_any_step_leaves_the_old_machine_or_the_new() {
  [ -n "$runner" ] && return  # strace follows Linux programs
  command -v strace > /dev/null || { echo "     SKIPPED: needs strace"; return; }
  local step call nth which old=0 new=0
  for step in "${reset_steps[@]}"; do
    read -r call nth <<< "$step"
    fresh_state
    vorlen_prints "FBWF Enabled.  $REBOOT" -enable
    vorlen_prints "Volume C: will be protected in the next session. $REBOOT" -protectvolume C:
    sim write D: '\d.txt' 'on D'
    sim reboot
    sim write C: '\kept.txt' 'cached'
    strace -f -qq -o /dev/null -e trace="$call" -e inject="$call:error=EIO:when=$nth" \
      "$bin/fbwfsim" reset --release wes7-x64 > /dev/null 2>&1
    run "$bin/vorlen" -volumestatus D:
    compare "$BANNER$(volume_lines D: DISABLED DISABLED)"$'\n' "$work/out" "reset stopped at $call $nth: -volumestatus D:"
    run "$bin/fbwfsim" show --json
    which=$(python3 -c 'import json, sys; d = json.load(open(sys.argv[1])); print(d["release"], d["current"]["filter"], len(d["cache"]), d["volumes"][1]["actual_used"])' "$work/out")
    case $which in
      "xpe True 1 4096") old=$((old + 1)); sim_reads 'cached' C: '\kept.txt' ;;
      "wes7-x64 False 0 0") new=$((new + 1)) ;;
      *) fail "reset stopped at $call $nth left neither machine: $which" ;;
    esac
    sim write C: '\after.txt' 'works'
    sim reboot
  done
  echo "     ${#reset_steps[@]} resets stopped midway: $old left the old machine, $new the new"
}

# Mode 0300: the folder can be written but not listed, and a reset is refused.
test_a_refused_reset_leaves_nothing_behind() {
  [ -n "$runner" ] && return  # the folder's mode is the host's
  local folder as_user=()
  folder=$(mktemp -d "${TMPDIR:-/tmp}/vorlen-reset.XXXXXX")
  chmod 755 "$folder"
  if [ "$(id -u)" -eq 0 ]; then  # permissions do not bind the superuser: the program runs as nobody
    chown 65534:65534 "$folder"
    as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
  fi
  FBWFSIM_DIR="$folder/state" "${as_user[@]}" "$bin/fbwfsim" reset > /dev/null || fail "a first reset failed"
  chmod 0300 "$folder/state"
  FBWFSIM_DIR="$folder/state" "${as_user[@]}" "$bin/fbwfsim" reset --release wes7-x64 > /dev/null 2>&1 &&
    fail "a reset in a folder that can't be listed succeeded"
  chmod 0700 "$folder/state"
  [ "$(ls "$folder/state")" = "$(printf 'config\nlock\nvolumes')" ] ||
    fail "a refused reset left: $(ls "$folder/state" | tr '\n' ' ')"
  rm -rf "$folder"
}

run_tests
