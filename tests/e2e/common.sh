# Shared by every end-to-end script: a scratch folder removed at exit, and
# failures recorded in a file, so that a check inside a subshell or a
# pipeline still fails the script.
set -u
work=$(mktemp -d "${TMPDIR:-/tmp}/vorlen-e2e.XXXXXX")
trap 'rm -rf "$work"' EXIT
# What the programs keep by default (the guard's history, vorlenctl's lock,
# the stand-in's state) stays in the scratch folder too.
export XDG_STATE_HOME="$work/xdg-state"
: > "$work/failures"

fail() {
  echo "FAIL: $*"
  echo "$*" >> "$work/failures"
}

failure_count() { wc -l < "$work/failures"; }

# golden NAME VARIABLE: the expected text kept once for every test, trailing
# line breaks included.
golden() {
  local file
  file="$(dirname "${BASH_SOURCE[0]}")/../golden/$1"
  [ -s "$file" ] || { echo "FAIL: no expected text at $file"; exit 2; }
  IFS= read -r -d '' "$2" < "$file" || true
}

# Ends the script: status 0 only when no check anywhere failed.
finish() {
  local count
  count=$(failure_count)
  [ "$count" -eq 0 ] && [ $# -gt 0 ] && echo "$*"
  exit $((count > 0))
}

# The library's 30 function names, in the order of the one list in wfapi.h.
documented_functions() {
  sed -n 's/^ *X(\(Fbwf[A-Za-z]*\),.*/\1/p' "$(dirname "${BASH_SOURCE[0]}")/../../src/wfapi/wfapi.h"
}

# until_true SECONDS COMMAND...: true once COMMAND is, within SECONDS.
until_true() {
  local deadline=$((SECONDS + $1))
  shift
  while ! "$@"; do
    [ $SECONDS -lt "$deadline" ] || return 1
    sleep 0.1
  done
}
