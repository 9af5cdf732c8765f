#!/usr/bin/env bash
# ./run from a scratch copy of the sources: it builds, runs, says nothing
# more once built, and shows the compiler's messages when a source is broken.
#   run_script.sh SOURCE_DIR
set -u
source_dir=$1
# shellcheck source=common.sh
source "$(dirname "$0")/common.sh"

test_run_builds_runs_and_shows_a_broken_build() {
  local copy="$work/copy"
  mkdir -p "$copy"
  (cd "$source_dir" && git ls-files -z | xargs -0 cp --parents -t "$copy") || { fail "can't copy the sources"; return; }
  export FBWFSIM_DIR="$work/state"
  "$copy/run" vorlen -help > "$work/out" 2> "$work/err" || fail "./run vorlen -help: $(tail -n 5 "$work/err")"
  grep -q '^VORLEN <Option>' "$work/out" || fail "./run vorlen -help printed: $(head -n 3 "$work/out")"
  "$copy/run" fbwfsim --version > "$work/out" 2> "$work/err" || fail "./run fbwfsim --version failed"
  [ ! -s "$work/err" ] || fail "./run said more once built: $(cat "$work/err")"
  echo 'this is not C++' >> "$copy/src/commands/volume.cpp"
  "$copy/run" vorlen -help > "$work/out" 2> "$work/err"
  local status=$?
  [ "$status" -ne 0 ] || fail "./run with a broken source exited 0"
  grep -q 'volume.cpp.*error' "$work/err" || fail "./run did not show the compiler's error: $(head -n 5 "$work/err")"
  [ ! -s "$work/out" ] || fail "./run with a broken source printed on standard output"
}

test_run_builds_runs_and_shows_a_broken_build
finish "./run builds, runs quietly once built, and shows a broken build's errors"
