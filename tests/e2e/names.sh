#!/usr/bin/env bash
# End-to-end: names and operands as vorlen, fbwfsim and vorlenctl take them
# from the stand-in, in any script and case and up to NTFS's 255 units, each
# in a fresh state folder.
#
#   names.sh BIN_DIR RECORDING_LIBRARY [RUNNER]
#
# BIN_DIR holds vorlen, vorlenctl, fbwfsim and the stand-in; RECORDING_LIBRARY
# records the texts a few functions are given. RUNNER (such as wine) runs
# Windows builds: then the programs are the .exe files.
set -u

bin=$1
recording=$2
runner=${3:-}
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"

# Names compare as NTFS compares them, in every script with case: each pair
# is one name through add, remove, coverage, commit and restore.
case_pairs=(
  "лог ЛОГ"          # Cyrillic
  "λόγος ΛΌΓΟΣ"      # Greek, final sigma included
  "մատյան ՄԱՏՅԱՆ"    # Armenian
  "ჟურნალი ᲟᲣᲠᲜᲐᲚᲘ"  # Georgian
  "ｌｏｇ ＬＯＧ"        # fullwidth
  "fıle FILE"        # dotless i folds to I
)

# Names as Windows users type them, in any case; a reset starts a new
# journal and says what machine it made.
test_names_in_any_case_and_a_reset_that_says_what_it_made() {
  fresh_state
  sim fail fbwfenablefilter 5
  sim_says 0 $'FbwfEnableFilter                 returns 5, 1 more time\n' fail
  vorlen_prints "Enable Error" -enable
  sim_says 0 $'a new machine: wes7-x64 (Standard 7 SP1, POSReady 7, 64-bit), C: of 512M and D: of 2G, threshold 256 MB, virtual sizes shown\n' \
    reset --release WES7-X64 --capacity C:512M --size-display virtual
  sim_says 0 "" calls --failed
  sim_says 0 $'no pending faults\n' fail
  # A quote that reached the program is part of the path: the shell's way of
  # quoting is named.
  run "$bin/fbwfsim$ext" read C: "'\\data\\a.txt'"
  [ "$status" -eq 1 ] && grep -q '^fbwfsim: Quote .*fbwfsim read C: ' "$work/err" ||
    fail "a quoted path refused without the way to quote: $(cat "$work/err")"
}

test_show_json_is_valid_whatever_the_names() {
  fresh_state
  if [ -z "$runner" ]; then  # names Windows forbids, in the state folder's own name
    state=$(mktemp -d "$work/state.XXXXXX")/$'odd "quoted"\tname \xc3\xa9'
    FBWFSIM_DIR=$state
  fi
  vorlen_prints "FBWF Enabled.  $REBOOT" -enable
  vorlen_prints "Volume C: will be protected in the next session. $REBOOT" -protectvolume C:
  local path=$'\\caf\xc3\xa9\\\xe6\x97\xa5 x'
  # Wine reads the arguments as UTF-8 under this locale, and echoes them in
  # its ANSI code page.
  LANG=C.UTF-8 run "$bin/vorlen$ext" -addex C: "$path"
  grep -q 'is now excluded' "$work/out" || fail "vorlen -addex C: $path: $(cat "$work/out")"
  sim reboot
  sim write C: '\a\b.txt' 'cached'
  sim fail FbwfRestoreFile 5 3
  run "$bin/fbwfsim$ext" show --json
  python3 - "$work/out" > "$work/parsed" <<'PYTHON' || fail "fbwfsim show --json: $(cat "$work/parsed")"
import json, sys
d = json.load(open(sys.argv[1], encoding="utf-8"))
assert d["release"] == "xpe", d["release"]
assert d["current"] == d["next"], d
s = d["current"]
assert s["filter"] is True and s["compression"] is False and s["threshold_mb"] == 64, s
assert s["protected"] == ["C:"], s
assert s["exclusions"] == {"C:": ["\\caf\u00e9\\\u65e5 x"]}, s["exclusions"]
assert d["kept_exclusions"] == {"current": {}, "next": {}}, d["kept_exclusions"]
assert d["cache"] == [{"volume": "C:", "path": "\\a\\b.txt", "bytes": 6}], d["cache"]
assert d["faults"] == [{"function": "FbwfRestoreFile", "code": 5, "count": 3}], d["faults"]
assert d["size_display"] == {"current": "actual", "next": "actual"}, d["size_display"]
assert d["memory"] == {"current_threshold": 64 << 20, "next_threshold": 64 << 20,
                       "dir_structure": 64 + 2 + 64 + 10, "file_data": 6}, d["memory"]
assert d["volumes"] == [
    {"volume": "C:", "capacity": 8 << 30, "actual_used": 0, "virtual_used": 4096},
    {"volume": "D:", "capacity": 2 << 30, "actual_used": 0, "virtual_used": 0}], d["volumes"]
assert d["state_folder"].endswith("name \u00e9") or d["state_folder"].endswith("fbwfsim"), d["state_folder"]
PYTHON
}

# Names put in the cache by hand that no program could make: each shows on
# one line, and JSON names exactly one that is not UTF-8.
test_names_that_cannot_be_shown_as_they_are() {
  [ -n "$runner" ] && return  # Windows names hold neither
  fresh_state
  vorlen_prints "FBWF Enabled.  $REBOOT" -enable
  vorlen_prints "Volume C: will be protected in the next session. $REBOOT" -protectvolume C:
  sim reboot
  sim write C: '\a.txt' 'cached'
  local cache
  cache="$state/cache.$(sed -n 's/^session = //p' "$state/config")/C"
  printf 'x' > "$cache/two"$'\n'"lines"
  printf 'yy' > "$cache/caf"$'\xe9'
  sim_says 0 $'cache             6  a.txt\ncache             1  two<0A>lines\ncache             2  caf\xe9\n' ls C:
  run "$bin/fbwfsim" show
  grep -q '^  C:\\two<0A>lines (1 bytes)$' "$work/out" || fail "fbwfsim show: $(grep two "$work/out")"
  run "$bin/fbwfsim" show --json
  python3 - "$work/out" <<'PYTHON' || fail "fbwfsim show --json: $(cat "$work/out")"
import json, sys
cache = json.load(open(sys.argv[1], encoding="utf-8"))["cache"]
named = {c["path"]: c.get("path_hex") for c in cache}
assert named == {"\\a.txt": None, "\\caf\ufffd": "5c636166e9", "\\two\nlines": None}, named
PYTHON
}

test_names_fold_as_ntfs_folds_them() {
  fresh_state
  local pair lower upper
  for pair in "${case_pairs[@]}"; do
    read -r lower upper <<< "$pair"
    sim write C: "\\$lower.txt" 'disk'
  done
  vorlen_prints "FBWF Enabled.  $REBOOT" -enable
  vorlen_prints "Volume C: will be protected in the next session. $REBOOT" -protectvolume C:
  for pair in "${case_pairs[@]}"; do
    read -r lower upper <<< "$pair"
    vorlen_says 'is now excluded' -addex C: "\\$lower"
    vorlen_says 'is now excluded' -addex C: "\\$upper"
  done
  [ "$(grep -c '^C ' "$state/config")" -eq ${#case_pairs[@]} ] || fail "a name was listed twice: $(grep '^C ' "$state/config")"
  sim reboot
  for pair in "${case_pairs[@]}"; do
    read -r lower upper <<< "$pair"
    LANG=C.UTF-8 run "$bin/fbwfsim$ext" write C: "\\$upper\\app.log" 'kept'
    grep -q 'to the disk' "$work/err" || fail "\\$lower does not cover \\$upper\\app.log: $(cat "$work/err")"
    vorlen_says 'removed from exclusion' -remex C: "\\$upper"
    LANG=C.UTF-8 sim write C: "\\$upper.txt" 'cache'
    vorlen_says 'commited to the disk' -commit C: "\\$upper.txt"
    LANG=C.UTF-8 sim write C: "\\$lower.txt" 'again'
    vorlen_says 'restored from the disk' -restore C: "\\$upper.TXT"
    LANG=C.UTF-8 sim_reads 'cache' C: "\\$lower.txt"
  done
  [ "$(grep -c '^C ' "$state/config")" -eq ${#case_pairs[@]} ] || fail "the current lists changed"
  sim reboot
  [ "$(grep -c '^C ' "$state/config")" -eq 0 ] || fail "a removal missed: $(grep '^C ' "$state/config")"
}

# NTFS allows a name 255 16-bit units, whatever bytes the host allows one
# (vorlen's operands are shorter: commit and restore are the unit tests').
test_names_of_255_units_on_any_host() {
  fresh_state
  local cjk astral name folder names=() size
  cjk=$(printf '中%.0s' {1..254}) astral=$(printf '𝄞%.0s' {1..127})
  # 86, 128 and 255 units of CJK; 128 and 255 of astral characters, as pairs.
  names=("${cjk:0:86}" "Ж${cjk:0:127}" "Ж$cjk" "${astral:0:64}" "ж$astral")
  for name in "${names[@]}"; do sim write C: "\\$name\\$name" 'disk'; done
  vorlen_prints "FBWF Enabled.  $REBOOT" -enable
  vorlen_prints "Volume C: will be protected in the next session. $REBOOT" -protectvolume C:
  sim reboot
  for name in "${names[@]}"; do
    folder=${name/Ж/ж} folder=${folder/ж/Ж}
    sim_reads 'disk' C: "\\$folder\\$name"
    sim write C: "\\$folder\\$name" 'cached'
    sim_says 0 "cache             6  $name"$'\n' ls C: "\\$folder"
    sim_reads 'cached' C: "\\$name\\$name"
  done
  # Each cached file and folder counts 64 bytes and 2 a unit of its real name.
  size=$(( (64 * 2 + 2 * (86 + 86)) + (64 * 2 + 2 * 256) + (64 * 2 + 2 * 510) + (64 * 2 + 2 * 256) + (64 * 2 + 2 * 510) ))
  run "$bin/vorlenctl$ext" overlay --json
  tr -d ' \n' < "$work/out" | grep -qF "\"dir_structure\":$size,\"file_data\":30}" || fail "the overlay counts the long names wrong: $(cat "$work/out")"
  for name in "${names[@]}"; do
    grep -qF "\"path\": \"\\\\$name\\\\$name\"" "$work/out" || fail "the cache search does not show \\$name\\$name"
  done
  run "$bin/fbwfsim$ext" write C: "\\${astral}𝄞" 'x'
  [ "$status" -eq 1 ] && grep -qF 'a name longer than 255 characters' "$work/err" || fail "a name of 256 units: $status $(cat "$work/err")"
}

test_operands_reach_the_library_as_typed() {
  local dir="$work/recording"
  mkdir -p "$dir"
  cp "$bin/vorlen$ext" "$dir/"
  cp "$recording" "$dir/$(basename "$library")"
  export LANG=C.UTF-8 VORLEN_RECORD
  VORLEN_RECORD=$(native "$work/record")
  # é € ж у к 日 本 😀, then on Linux a lone byte E9 standing for itself.
  run "$dir/vorlen$ext" -addex 'C:' $'\\caf\xC3\xA9\xE2\x82\xAC\xD0\xB6\xD1\x83\xD0\xBA\xE6\x97\xA5\xE6\x9C\xAC\xF0\x9F\x98\x80'
  local expected='FbwfAddExclusion 0043003A 005C00630061006600E920AC04360443043A65E5672CD83DDE00'
  if [ -z "$runner" ]; then
    run "$dir/vorlen$ext" -restore $'\xC3\xA9:' $'\\caf\xE9'
    expected+=$'\nFbwfRestoreFile 00E9003A 005C00630061006600E9'
  fi
  compare "$expected"$'\n' "$work/record" "the units that reached the library"
}

run_tests
