#!/usr/bin/env bash
# A Windows user's first steps: the stand-in kit unpacked into an empty
# folder, and README.txt's example run as typed in cmd, there.
#   windows_session.sh BUILD_DIR RUNNER
build=$1 runner=$2
# shellcheck source=common.sh
source "$(dirname "$0")/common.sh"
(cd "$build" && cpack -G ZIP -B "$work/packages" > "$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; exit 1; }
mkdir -p "$work/empty"
(cd "$work/empty" && cmake -E tar xf "$work"/packages/*-standin.zip)
kit=$(ls -d "$work"/empty/*-standin)
# The lines after "For example, in cmd, in this folder:", as typed.
tr -d '\r' < "$kit/README.txt" | sed -n '/^For example, in cmd, in this folder:/,/^[^ ]/p' | sed -n 's/^  //p' > "$work/typed"
[ "$(wc -l < "$work/typed")" -ge 8 ] || fail "README.txt's example has $(wc -l < "$work/typed") lines"
sed 's/$/\r/' "$work/typed" > "$kit/session.bat"
(cd "$kit" && "$runner" cmd /c session.bat > "$work/out" 2>&1)
status=$?
tr -d '\r' < "$work/out" > "$work/session"
[ "$status" -eq 0 ] || fail "the session ended with status $status"
for said in 'a new machine: wes7-x86' 'FBWF Enabled.' 'Volume C: will be protected in the next session.' \
  'is now excluded' 'wrote \Program Data\app\app.log on C: to the disk' 'FBWF is ENABLED' 'FBWF OK - overlay'; do
  grep -qF -- "$said" "$work/session" || fail "the session did not say: $said"
done
grep -qE 'Error|State Error|UNKNOWN' "$work/session" && fail "the session met an error"
[ "$(failure_count)" -eq 0 ] || cat "$work/session"
finish "README.txt's example ran in cmd from the unpacked kit: $(wc -l < "$work/typed") commands"
