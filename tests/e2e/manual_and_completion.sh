#!/usr/bin/env bash
# The manual pages render without warnings, their examples work when pasted,
# and the completion offers the option words and subcommands.
#   manual_and_completion.sh SOURCE_DIR BIN_DIR
source_dir=$1 bin=$2
# shellcheck source=common.sh
source "$(dirname "$0")/common.sh"

# groff alone misses what mandoc's lint sees (a synopsis entry spilling into
# the text, a date it can't read): both must be quiet.
command -v mandoc > /dev/null || fail "the manual-page test needs mandoc (Debian's mandoc)"
for page in "$source_dir"/man/*.1; do
  warnings=$(groff -ww -man -z "$page" 2>&1; mandoc -Tlint -W warning "$page" 2>&1)
  [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
  out=$(MANWIDTH=80 man -l "$page" 2>&1 > /dev/null)
  [ -z "$out" ] || fail "man -l $(basename "$page"): $out"
done
# That the manual describes every option, the unit tests check against the
# table of options.

# Every example line works when pasted: run in a scratch state folder, none
# is refused as malformed and every fbwfsim line succeeds.
examples=0
for page in "$source_dir"/man/*.1; do
  export FBWFSIM_DIR="$work/examples/$(basename "$page")"
  sed -n '/^\.SH EXAMPLES/,/^\.SH/p' "$page" | sed -n '/^\.nf/,/^\.fi/p' | grep -v '^\.' |
    sed 's/\\-/-/g; s/\\e/\\/g' > "$work/lines"
  while IFS= read -r line; do
    [[ $line == export* ]] && continue  # the scratch folder stands in for it
    out=$(PATH="$bin:$PATH" bash -c "$line" 2>&1 < /dev/null)
    status=$?
    examples=$((examples + 1))
    if [[ $out == *"Error 123"* || $out == *"not a volume such as"* ]]; then
      fail "$(basename "$page") example refused as malformed: $line"
    elif [[ ($line == fbwfsim* || $line == vorlenctl\ get*) && $status -ne 0 ]]; then
      fail "$(basename "$page") example failed: $line: $out"
    fi
  done < "$work/lines"
done
[ "$examples" -gt 10 ] || fail "only $examples example lines found"

# shellcheck source=../../completion/vorlen.bash
source "$source_dir/completion/vorlen.bash"
completes() {  # completes "EXPECTED" FUNCTION WORD...
  local expected=$1 function=$2
  shift 2
  COMP_WORDS=("$@")
  COMP_CWORD=$(($# - 1))
  COMPREPLY=()
  "$function"
  [ "${COMPREPLY[*]}" = "$expected" ] || fail "completing '$*' gave '${COMPREPLY[*]}'"
}
completes "-protectvolume" _vorlen vorlen -pro
completes "-enable -enablecompression -enablecache" _vorlen vorlen -enable
completes "-fbwfstate -fbwfcompression -fbwfprealloc" _vorlen vorlen -fbwf
export FBWFSIM_DIR="$work/completion-state"
completes "C: D:" _vorlen vorlen -addex ""
mkdir -p "$FBWFSIM_DIR/volumes/C" "$FBWFSIM_DIR/volumes/E"
completes "C: E:" _vorlen vorlen -addex ""
completes "c:" _vorlen vorlen -volumestatus c
completes "e:" _fbwfsim fbwfsim ls e
completes "c:" _fbwfsim fbwfsim overlay c
completes "--failed" _fbwfsim fbwfsim calls --f
completes "actual virtual" _fbwfsim fbwfsim reset --release xpe --size-display ""
completes "" _vorlen vorlen -enable ""
completes "reset reboot read" _fbwfsim fbwfsim re
completes "wes7-x86 wes7-x64" _fbwfsim fbwfsim reset --release wes7
completes "--clear" _fbwfsim fbwfsim fail --
completes "FbwfAddExclusion" _fbwfsim fbwfsim fail FbwfAdd
completes "test" _vorlenctl vorlenctl t
completes "--check --exit-reboot --servicing --servicing-file" _vorlenctl vorlenctl set want.json --
completes "--warning" _vorlenctl vorlenctl check --w
completes "--hysteresis --history" _vorlenctl vorlenctl guard --h
finish "manual pages clean, $examples example lines run, completion offers the words"
