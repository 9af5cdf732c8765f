#!/usr/bin/env bash
# End-to-end: the built vorlen and fbwfsim against the stand-in library, each
# in a fresh state folder, comparing vorlen's whole output byte for byte.
#
#   stand_in.sh BIN_DIR RECORDING_LIBRARY [RUNNER]
#
# BIN_DIR holds vorlen, fbwfsim and the stand-in; RECORDING_LIBRARY exports a
# few of the functions and records the texts they are given. RUNNER (such as wine) runs Windows
# builds: then the programs are the .exe files and CRLF line ends read as LF.
set -u

bin=$1
recording=$2
runner=${3:-}
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"

test_usage_and_exit_status() {
  fresh_state
  run "$bin/vorlen$ext"
  compare "$BANNER$USAGE" "$work/out" "vorlen with no option"
  [ "$status" -eq 1 ] || fail "vorlen with no option exited $status"
  vorlen_prints "$USAGE" -help
  vorlen_prints "$USAGE" -?
  vorlen_prints "" -HELP
  vorlen_prints "" --help
  vorlen_prints "" -enablex
}

test_changes_wait_for_a_reboot() {
  fresh_state
  vorlen_prints "$(state_line DISABLED DISABLED)"$'\n' -fbwfstate
  # Compression and pre-allocation need the filter on for the next session.
  vorlen_prints "Enable Compression Error" -enablecompression
  vorlen_prints "EnableCachePreAllocation Error" -enablecache
  vorlen_prints "FBWF Enabled.  $REBOOT" -enable
  vorlen_prints "FBWF compression enabled. $REBOOT" -enablecompression
  vorlen_prints "FBWF Cache PreAllocation enabled. $REBOOT" -enablecache
  vorlen_prints "$(state_line DISABLED ENABLED)"$'\n' -fbwfstate
  vorlen_prints $'FBWF compresspon is DISABLED\nFBWF compression for the next session is ENABLED\n' \
    -fbwfcompression
  vorlen_prints $'FBWF Cache PreAlloc is DISABLED\nFBWF Cache PreAlloc for the next session is ENABLED\n' \
    -fbwfprealloc
  sim reboot
  vorlen_prints "$(state_line ENABLED ENABLED)"$'\n' -fbwfstate
  vorlen_prints "FBWF compression disabled. $REBOOT" -disablecompression
  vorlen_prints "FBWF Cache PreAllocation disabled. $REBOOT" -disablecache
  vorlen_prints "FBWF Disabled. $REBOOT" -disable
  vorlen_prints "Disable Compression Error" -disablecompression
  vorlen_prints "$(state_line ENABLED DISABLED)"$'\n' -fbwfstate
  vorlen_prints $'FBWF Cache PreAlloc is ENABLED\nFBWF Cache PreAlloc for the next session is DISABLED\n' \
    -fbwfprealloc
}

test_protection_needs_the_filter_next_session() {
  fresh_state
  vorlen_prints $'Error 1 \nFBWF must be enabled for the next session'"$USAGE" -protectvolume C:
  vorlen_prints "FBWF Enabled.  $REBOOT" -enable
  vorlen_prints "Volume c: will be protected in the next session. $REBOOT" -protectvolume c:
  vorlen_prints "$(volume_lines C: DISABLED ENABLED)"$'\n' -volumestatus C:
  sim reboot
  vorlen_prints "$(volume_lines C: ENABLED ENABLED)"$'\n' -volumestatus C:
  vorlen_prints "$(volume_lines D: DISABLED DISABLED)"$'\n' -volumestatus D:
  vorlen_prints "Volume C:  will be unprotected in the next session. $REBOOT" -unprotectvolume C:
  vorlen_prints $'Error 15 \n'"$USAGE" -unprotectvolume D:
  vorlen_prints "$(volume_lines C: ENABLED DISABLED)"$'\n' -volumestatus C:
  # Protection is in force only while the filter is on.
  vorlen_prints "Volume C: will be protected in the next session. $REBOOT" -protectvolume C:
  vorlen_prints "FBWF Disabled. $REBOOT" -disable
  sim reboot
  vorlen_prints "$(volume_lines C: DISABLED DISABLED)"$'\n' -volumestatus C:
}

test_threshold_bounds() {
  fresh_state
  local refused=$'Error 87 \nError: Threshold must be between 16 to 1024\n'"$USAGE"
  vorlen_prints $'Error 1 \nError: Threshold must be between 16 to 1024\n'"$USAGE" -setcache 15
  vorlen_prints "FBWF Enabled.  $REBOOT" -enable
  vorlen_prints "$refused" -setcache 15
  vorlen_prints "Cache Threshold set to 16"$'\n '"$REBOOT" -setcache 16
  vorlen_prints "Cache Threshold set to 1024"$'\n '"$REBOOT" -setcache 1024
  vorlen_prints "$refused" -setcache 1025
  vorlen_prints "$refused" -setcache 4294967312
  vorlen_prints "$refused" -setcache -1
  vorlen_prints "$refused" -setcache none
  vorlen_prints "Cache Threshold set to 64"$'\n '"$REBOOT" -setcache 64MB
}

test_exclusions_added_and_removed() {
  fresh_state
  vorlen_prints $'Error 1 \n'"$USAGE" -addex C: '\data'
  vorlen_prints "FBWF Enabled.  $REBOOT" -enable
  vorlen_prints $'Error 15 \n'"$USAGE" -addex C: '\data'
  vorlen_prints "Volume C: will be protected in the next session. $REBOOT" -protectvolume C:
  vorlen_prints $'\\data on drive C: is now excluded.\n '"$REBOOT" -addex C: '\data'
  vorlen_prints $'\\DATA on drive c: is now excluded.\n '"$REBOOT" -addex c: '\DATA'
  vorlen_prints $'\\Data on drive C: is now removed from exclusion.\n '"$REBOOT" -remex C: '\Data'
  vorlen_prints $'Error 2 \n'"$USAGE" -remex C: '\data'
}

test_writes_go_to_the_cache_or_the_disk() {
  fresh_state
  sim write C: '\keep\log.txt' 'disk-1'
  vorlen_prints "FBWF Enabled.  $REBOOT" -enable
  vorlen_prints "Volume C: will be protected in the next session. $REBOOT" -protectvolume C:
  vorlen_prints $'\\Keep on drive C: is now excluded.\n '"$REBOOT" -addex C: '\Keep'
  sim reboot
  sim write C: '\KEEP\log.txt' 'disk-2'
  sim write C: '\notes.txt' 'cached'
  sim write D: '\notes.txt' 'unprotected'
  sim_reads 'disk-2' C: '\keep\LOG.txt'
  sim_reads 'cached' C: '\Notes.txt'
  [ ! -e "$state/volumes/C/notes.txt" ] || fail "a protected write reached the disk"
  [ -f "$state/volumes/D/notes.txt" ] || fail "an unprotected write missed the disk"
  [ -f "$state/volumes/C/keep/log.txt" ] || fail "an excluded write missed the disk"
  run "$bin/fbwfsim$ext" show
  grep -q 'C:\\notes.txt (6 bytes)' "$work/out" || fail "fbwfsim show does not list the cached file"
}

test_commit_and_restore() {
  fresh_state
  local restore_failed=$'\nError: File not in cache\nError: File not found\n'
  sim write C: '\a.txt' 'original'
  sim write C: '\b.txt' 'disk-b'
  vorlen_prints $'Error 15 \n'"$USAGE" -commit C: '\a.txt'
  vorlen_prints "FBWF Enabled.  $REBOOT" -enable
  vorlen_prints "Volume C: will be protected in the next session. $REBOOT" -protectvolume C:
  vorlen_prints $'\\keep on drive C: is now excluded.\n '"$REBOOT" -addex C: '\keep'
  sim reboot
  vorlen_prints $'Error 2 \n'"$USAGE" -commit C: '\a.txt'
  vorlen_prints "Error 5 $restore_failed" -restore C: '\a.txt'
  vorlen_prints "Error 2 $restore_failed" -restore C: '\nothing.txt'
  sim write C: '\a.txt' 'committed'
  sim write C: '\b.txt' 'passing'
  sim write C: '\c.txt' 'made in this session'
  sim write C: '\keep\d.txt' 'write-through'
  vorlen_prints $'\\A.TXT on drive C: has been commited to the disk.\n ' -commit C: '\A.TXT'
  vorlen_prints $'\\b.txt on drive C: has been restored from the disk.\n ' -restore C: '\b.txt'
  sim_reads 'committed' C: '\a.txt'
  sim_reads 'disk-b' C: '\b.txt'
  # The filter commits and restores only files the disk has, and none it writes through.
  vorlen_prints $'Error 1 \n'"$USAGE" -commit C: '\c.txt'
  vorlen_prints "Error 1 $restore_failed" -restore C: '\c.txt'
  vorlen_prints $'Error 1 \n'"$USAGE" -commit C: '\keep\d.txt'
  sim_reads 'made in this session' C: '\c.txt'
  sim reboot
  sim_reads 'committed' C: '\a.txt'
  sim_reads 'write-through' C: '\keep\d.txt'
  run "$bin/fbwfsim$ext" read C: '\c.txt'
  [ "$status" -ne 0 ] || fail "a reboot kept a cached file"
  [ -z "$(ls -A "$state"/cache* 2>/dev/null)" ] || fail "the cache is not empty after a reboot"
}

test_malformed_and_missing_names() {
  fresh_state
  local name=$'Error 123 \n'"$USAGE" missing=$'Error 15 \n'"$USAGE"
  vorlen_prints "$name" -volumestatus CC:
  vorlen_prints "$name" -volumestatus 'C:\'
  vorlen_prints "$missing" -volumestatus Q:
  vorlen_prints "$missing" -addex Q: '\data'
  for path in 'data' '\..\outside' '\a\..\..\b' 'C:\x' '\\server\share' '\NUL' '\con.txt' '\a.' '\a ' '\'; do
    vorlen_prints "$name" -addex C: "$path"
  done
  [ -z "$(ls -A "$state/volumes/C")" ] || fail "a refused path left a file"
}

test_unusable_state_folder() {
  fresh_state
  : > "$work/plain-file"
  FBWFSIM_DIR=$(native "$work/plain-file/fbwfsim")
  vorlen_prints "State Error" -fbwfstate
  vorlen_prints "Enable Error" -enable
  vorlen_prints $'Error 5 \n'"$USAGE" -volumestatus C:
}

test_corrupt_config_is_left_untouched() {
  fresh_state
  vorlen_prints "FBWF Enabled.  $REBOOT" -enable
  printf '[current]\nfilter = sideways\n' > "$state/config"
  cp "$state/config" "$work/config.before"
  vorlen_prints "Enable Error" -enable
  vorlen_prints "State Error" -fbwfstate
  vorlen_prints $'Error 1392 \n'"$USAGE" -addex C: '\data'
  run "$bin/fbwfsim$ext" reboot
  [ "$status" -ne 0 ] || fail "fbwfsim reboot accepted a corrupt config"
  cmp -s "$state/config" "$work/config.before" || fail "the corrupt config was changed"
}

test_injected_failures_are_seen_once() {
  fresh_state
  sim fail FbwfEnableFilter 31
  vorlen_prints "Enable Error" -enable
  vorlen_prints "FBWF Enabled.  $REBOOT" -enable
  sim fail FbwfIsVolumeProtected 4294967295 2
  vorlen_prints $'Error -1 \n'"$USAGE" -volumestatus C:
  vorlen_prints $'Error -1 \n'"$USAGE" -volumestatus C:
  vorlen_prints "$(volume_lines C: DISABLED DISABLED)"$'\n' -volumestatus C:
  sim fail FbwfAddExclusion 5
  vorlen_prints $'Error 5 \n'"$USAGE" -addex C: '\x'
  run "$bin/fbwfsim$ext" show
  ! grep -q 'C:\\x' "$work/out" || fail "a failed call changed the state"
}

test_concurrent_changes_are_all_kept() {
  fresh_state
  vorlen_prints "FBWF Enabled.  $REBOOT" -enable
  vorlen_prints "Volume C: will be protected in the next session. $REBOOT" -protectvolume C:
  sim reboot
  local i
  for i in $(seq 1 20); do
    $runner "$bin/vorlen$ext" -addex C: "\\dir$i" > "$work/concurrent.$i" 2>&1 < /dev/null &
    ($runner "$bin/fbwfsim$ext" reboot || echo "failed") > "$work/reboot.$i" 2>&1 < /dev/null &
    ($runner "$bin/fbwfsim$ext" write C: "\\file$i" "$i" 2> /dev/null || echo "failed") \
      > "$work/write.$i" < /dev/null &
  done
  wait
  for i in $(seq 1 20); do
    [ ! -s "$work/reboot.$i" ] || fail "concurrent reboot $i: $(cat "$work/reboot.$i")"
    [ ! -s "$work/write.$i" ] || fail "concurrent write $i failed"
  done
  for i in $(seq 1 20); do
    [ -n "$runner" ] && sed -i 's/\r$//' "$work/concurrent.$i"
    compare "$BANNER\\dir$i on drive C: is now excluded."$'\n '"$REBOOT" "$work/concurrent.$i" \
      "concurrent -addex $i"
  done
  local listed
  listed=$(sed -n '/^\[next exclusions\]/,$p' "$state/config" | grep -c '^C \\dir[0-9]*$')
  [ "$listed" -eq 20 ] || fail "$listed of 20 concurrent exclusions were kept"
}

test_missing_library_or_function() {
  fresh_state
  local alone="$work/alone" partial_dir="$work/partial" planted="$work/planted"
  mkdir -p "$alone" "$partial_dir" "$planted"
  cp "$bin/vorlen$ext" "$alone/"
  cp "$bin/vorlen$ext" "$partial_dir/"
  cp "$recording" "$partial_dir/$(basename "$library")"
  cp "$library" "$planted/"
  unset LD_LIBRARY_PATH
  if [ -z "$runner" ]; then
    # An empty entry in the run path would stand for the current folder.
    local runpath
    runpath=$(readelf -d "$bin/vorlen" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')
    [ "$runpath" = '$ORIGIN:$ORIGIN/../lib/vorlen' ] || fail "the built vorlen's run path is '$runpath'"
  fi
  # A library in the current folder is never loaded.
  pushd "$planted" > /dev/null || return
  vorlen_with "$alone/vorlen$ext" "State Error" -fbwfstate
  grep -qE "^vorlen: (libfbwflib.so|FBWFLIB.dll) can't be loaded from .*alone" "$work/err" ||
    fail "the missing library is not named on standard error: $(cat "$work/err")"
  vorlen_with "$alone/vorlen$ext" $'Error 126 \n'"$USAGE" -volumestatus C:
  popd > /dev/null || return
  vorlen_with "$alone/vorlen$ext" "$USAGE" -help
  vorlen_with "$partial_dir/vorlen$ext" "FBWF Enabled.  $REBOOT" -enable
  vorlen_with "$partial_dir/vorlen$ext" "Disable Error" -disable
  vorlen_with "$partial_dir/vorlen$ext" $'Error 127 \n'"$USAGE" -commit C: '\a'
}

test_state_folder_follows_the_environment() {
  unset FBWFSIM_DIR
  if [ -n "$runner" ]; then
    # Wine gives the program its prefix's %LOCALAPPDATA%.
    local appdata=("${VORLEN_WINEPREFIX:?}"/drive_c/users/*/AppData/Local)
    rm -rf "${appdata[0]}/fbwfsim"
    vorlen_prints "FBWF Enabled.  $REBOOT" -enable
    [ -f "${appdata[0]}/fbwfsim/config" ] || fail "%LOCALAPPDATA%\\fbwfsim was not used"
    rm -rf "${appdata[0]}/fbwfsim"
    # As on XP, which has no %LOCALAPPDATA% (wine sets it, so cmd clears it):
    # the shell's local application data folder.
    $runner cmd /c "set LOCALAPPDATA=&& set APPDATA=&& $(native "$bin/vorlen.exe") -enable" > "$work/out" 2>&1
    grep -q 'FBWF Enabled' "$work/out" || fail "without %LOCALAPPDATA%: $(cat "$work/out")"
    [ -f "${appdata[0]}/fbwfsim/config" ] || fail "without %LOCALAPPDATA%, its folder was not used"
    rm -rf "${appdata[0]}/fbwfsim"
    return
  fi
  export XDG_STATE_HOME="$work/xdg" HOME="$work/home"
  vorlen_prints "FBWF Enabled.  $REBOOT" -enable
  [ -f "$work/xdg/fbwfsim/config" ] || fail "XDG_STATE_HOME was not used"
  unset XDG_STATE_HOME
  vorlen_prints "FBWF Disabled. $REBOOT" -disable
  [ -f "$work/home/.local/state/fbwfsim/config" ] || fail "HOME was not used"
  [ -d "$work/home/.local/state/fbwfsim/volumes/D" ] || fail "a new state folder lacks volume D"
}

test_reset_makes_the_machine_of_a_release_new() {
  fresh_state
  vorlen_prints "FBWF Enabled.  $REBOOT" -enable
  sim write C: '\old.txt' 'old'
  sim reset --release wes7-x64
  run "$bin/fbwfsim$ext" show
  [[ $(head -n 1 "$work/out") == "release         wes7-x64 ("* ]] || fail "show names: $(head -n 1 "$work/out")"
  vorlen_prints "$(state_line DISABLED DISABLED)"$'\n' -fbwfstate
  vorlen_prints "FBWF Enabled.  $REBOOT" -enable
  vorlen_prints "Cache Threshold set to 131072"$'\n '"$REBOOT" -setcache 131072
  vorlen_prints $'Error 87 \nError: Threshold must be between 16 to 1024\n'"$USAGE" -setcache 131073
  cp "$state/config" "$work/config.before"
  run "$bin/fbwfsim$ext" reset --release xp
  [ "$status" -eq 2 ] && grep -q "unknown release 'xp'" "$work/err" || fail "an unknown release: $status"
  cmp -s "$work/config.before" "$state/config" || fail "an unknown release changed the machine"
  sim reset
  vorlen_prints "FBWF Enabled.  $REBOOT" -enable
  vorlen_prints $'Error 87 \nError: Threshold must be between 16 to 1024\n'"$USAGE" -setcache 2048
  run "$bin/fbwfsim$ext" read C: '\old.txt'
  [ "$status" -ne 0 ] || fail "a reset kept a file of the disk"
}

test_fbwfsim_explains_lists_and_refuses() {
  fresh_state
  local version
  version=$(sed -n 's/^project(vorlen VERSION \([0-9.]*\).*/\1/p' "$(dirname "$0")/../../CMakeLists.txt")
  sim_says 0 "fbwfsim (vorlen) $version"$'\n' --version
  sim_says 0 $'15    ERROR_INVALID_DRIVE      no such volume, or the volume is not protected in the session the call needs\n' codes 15
  sim_says 1 "fbwfsim: 42 is not a code the stand-in returns (see fbwfsim codes)" codes 42
  sim_says 2 "fbwfsim: unknown command 'bogus'" bogus
  grep -q '^usage: fbwfsim COMMAND' "$work/err" || fail "an unknown command does not print the usage"
  sim_says 2 "fbwfsim: usage: fbwfsim read VOLUME PATH" read C:
  sim_says 2 "fbwfsim: CODE must be a number from 1 to 4294967295, COUNT from 1" fail FbwfEnableFilter 0
  sim_says 0 $'no pending faults\n' fail
  sim fail FbwfAddExclusion 9 2
  sim fail FbwfCommitFile 4294967295
  sim_says 0 $'FbwfAddExclusion                 returns 9, 2 more times\nFbwfCommitFile                   returns 4294967295, 1 more time\n' fail
  sim fail --clear
  sim_says 0 $'no pending faults\n' fail
  run "$bin/fbwfsim$ext" codes
  [ "$(grep -c '^[0-9]* *ERROR_' "$work/out")" -eq 17 ] || fail "fbwfsim codes lists $(wc -l < "$work/out") lines"
  # What a program sees: the cache over the disk.
  sim write C: '\dir\a.txt' 'disk'
  sim write C: '\dir\b.txt' 'on the disk'
  vorlen_prints "FBWF Enabled.  $REBOOT" -enable
  vorlen_prints "Volume C: will be protected in the next session. $REBOOT" -protectvolume C:
  sim reboot
  sim write C: '\DIR\A.txt' 'in the cache'
  sim write C: '\new\c.txt' 'new'
  sim_says 0 $'disk              -  dir\\\ncache             -  new\\\n' ls C:
  sim_says 0 $'cache            12  a.txt\ndisk             11  b.txt\n' ls c: '\Dir'
  sim_says 0 $'cache             3  c.txt\n' ls C: '\new\c.txt'
  sim_says 1 "fbwfsim: no such file or folder: C:\\nothing" ls C: '\nothing'
  sim_says 1 "fbwfsim: no such file or folder: c:\\Dir\\none.txt" read c: '\Dir\none.txt'
  # Help in vorlen's words too, and for one command.
  local word
  for word in --help -help -h; do
    run "$bin/fbwfsim$ext" "$word"
    [ "$status" -eq 0 ] && grep -q '^usage: fbwfsim COMMAND' "$work/out" || fail "fbwfsim $word: $status"
  done
  sim_says 0 $'usage: fbwfsim ls VOLUME [PATH]\n' ls --help
  sim_says 0 $'usage: fbwfsim write VOLUME PATH [TEXT]\n' write -h
}

# The journal of the library's calls lets a CI script assert that every call
# succeeded, since vorlen's own exit status does not say.
test_the_call_journal_names_each_call_and_its_result() {
  fresh_state
  vorlen_prints "FBWF Enabled.  $REBOOT" -enable
  vorlen_prints "Volume C: will be protected in the next session. $REBOOT" -protectvolume C:
  run "$bin/fbwfsim$ext" calls --failed
  [ "$status" -eq 0 ] && [ ! -s "$work/out" ] || fail "calls --failed with none failed: $status $(cat "$work/out")"
  vorlen_prints $'Error 15 \nFBWF must be enabled for the next session'"$USAGE" -protectvolume Q:
  vorlen_prints $'Error 87 \nError: Threshold must be between 16 to 1024\n'"$USAGE" -setcache 9
  run "$bin/fbwfsim$ext" calls
  sed 's/^[0-9T:.-]*Z [0-9]* //' "$work/out" > "$work/calls"
  compare $'FbwfEnableFilter() = 0\nFbwfProtectVolume("C:") = 0\nFbwfProtectVolume("Q:") = 15\nFbwfSetCacheThreshold(9) = 87\n' \
    "$work/calls" "fbwfsim calls"
  grep -qE '^20[0-9]{2}-[01][0-9]-[0-3][0-9]T[0-9:]{8}\.[0-9]{3}Z [0-9]+ FbwfEnableFilter' "$work/out" ||
    fail "a journal line lacks its time or process: $(head -n 1 "$work/out")"
  run "$bin/fbwfsim$ext" calls --failed
  [ "$status" -eq 1 ] && [ "$(wc -l < "$work/out")" -eq 2 ] || fail "calls --failed: $status $(cat "$work/out")"
  sim calls --clear
  sim_says 0 "" calls
}

# Programs calling at once: each call's line is in the journal, whole.
test_calls_made_at_once_are_all_journaled_whole() {
  fresh_state
  sim calls --clear
  local i
  for i in 1 2 3 4 5 6 7 8; do
    (for _ in 1 2 3 4 5 6 7 8 9 10; do $runner "$bin/vorlen$ext" -fbwfstate > /dev/null 2>&1; done) &
  done
  wait
  run "$bin/fbwfsim$ext" calls
  local whole
  whole=$(grep -cE '^20[0-9-]{8}T[0-9:.]{12}Z [0-9]+ FbwfIsFilterEnabled\(\) = 0$' "$work/out")
  [ "$(wc -l < "$work/out")" -eq 80 ] && [ "$whole" -eq 80 ] ||
    fail "80 calls at once left $(wc -l < "$work/out") lines, $whole whole: $(grep -v 'FbwfIsFilterEnabled() = 0$' "$work/out" | head -n 3)"
}

# A relative FBWFSIM_DIR names one folder for the whole process, whatever
# folder a script changes to afterwards.
test_a_relative_state_folder_is_made_absolute() {
  [ -n "$runner" ] && return  # wine starts programs in its own folder
  mkdir -p "$work/scripts/sub"
  cd "$work/scripts" || return
  export FBWFSIM_DIR=relative-state
  sim reset
  run "$bin/fbwfsim" show --json
  python3 -c 'import json, sys; print(json.load(open(sys.argv[1]))["state_folder"])' "$work/out" > "$work/folder"
  [ "$(cat "$work/folder")" = "$work/scripts/relative-state" ] || fail "the state folder is $(cat "$work/folder")"
}

# A mistyped reset must not empty the disks: only its options, each followed
# by its value as a word of its own.
test_reset_takes_only_its_options() {
  fresh_state
  sim write C: '\kept.txt' 'kept'
  local refused
  for refused in 'wes7-x64' '--release' '--release=wes7-x64' '--release xpe extra' '--capacity E:1G' \
    '--capacity C:0' '--capacity C:1Q' '--size-display both' '--release xpe --release xpe'; do
    # shellcheck disable=SC2086
    run "$bin/fbwfsim$ext" reset $refused
    [ "$status" -eq 2 ] || fail "fbwfsim reset $refused exited $status"
    grep -q '^fbwfsim: usage: fbwfsim reset \|unknown release' "$work/err" || fail "fbwfsim reset $refused: $(cat "$work/err")"
  done
  sim_reads 'kept' C: '\kept.txt'
  sim reset --size-display virtual --capacity d:512M --release wes7-x64 --capacity C:1G
  run "$bin/fbwfsim$ext" show --json
  python3 - "$work/out" <<'PYTHON' || fail "fbwfsim reset with options: $(cat "$work/out")"
import json, sys
d = json.load(open(sys.argv[1], encoding="utf-8"))
assert d["release"] == "wes7-x64" and d["size_display"]["next"] == "virtual", d
assert [v["capacity"] for v in d["volumes"]] == [1 << 30, 512 << 20], d["volumes"]
PYTHON
}

# The overlay holds what the threshold allows: a write that does not fit is
# refused whole, and the overlay's files are listed with their sizes.
test_the_overlay_fills() {
  fresh_state
  vorlen_prints "FBWF Enabled.  $REBOOT" -enable
  vorlen_prints "Volume C: will be protected in the next session. $REBOOT" -protectvolume C:
  vorlen_prints "Cache Threshold set to 16"$'\n '"$REBOOT" -setcache 16
  sim reboot
  sim write C: '\logs\a.txt' 'twelve bytes'
  head -c 16777000 /dev/zero > "$work/big"
  $runner "$bin/fbwfsim$ext" write C: '\big' < "$work/big" > "$work/out" 2> "$work/err"
  status=$?
  [ "$status" -eq 1 ] || fail "a write past the threshold exited $status"
  sed -i 's/\r$//' "$work/err"
  compare $'fbwfsim: the overlay is full: the write needs 16777070 bytes of it and it has 16777058 left of 16777216\n' \
    "$work/err" "the refusal of a write past the threshold"
  sim_says 0 $' overlay (B)  handles  file\n          12        0  C:\\logs\\a.txt\n1 file, 12 bytes of file data\noverlay: 158 of 16777216 bytes used (146 of directory structure, 12 of file data), 16777058 left\n' overlay
  sim_says 0 $' overlay (B)  handles  file\n0 files, 0 bytes of file data\noverlay: 158 of 16777216 bytes used (146 of directory structure, 12 of file data), 16777058 left\n' overlay D:
  head -c 16776989 /dev/zero > "$work/big"
  $runner "$bin/fbwfsim$ext" write C: '\big' < "$work/big" > "$work/out" 2> "$work/err" && fail "a write one byte past the threshold was taken"
  head -c 16776988 /dev/zero > "$work/big"
  $runner "$bin/fbwfsim$ext" write C: '\big' < "$work/big" > "$work/out" 2> "$work/err" || fail "a write that just fits was refused"
}

run_tests
