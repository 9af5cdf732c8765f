#!/usr/bin/env bash
# The manual pages render without warnings, and the completion offers the
# option words and subcommands.
#   manual_and_completion.sh SOURCE_DIR
source_dir=$1
# shellcheck source=common.sh
source "$(dirname "$0")/common.sh"

for page in "$source_dir"/man/*.1; do
  if command -v mandoc > /dev/null; then
    warnings=$(mandoc -Tlint -W warning "$page" 2>&1)
  else
    warnings=$(groff -ww -man -z "$page" 2>&1)
  fi
  [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
  out=$(MANWIDTH=80 man -l "$page" 2>&1 > /dev/null)
  [ -z "$out" ] || fail "man -l $(basename "$page"): $out"
done
# Every option of the usage text is in the manual.
for option in -enable -disable -enablecompression -disablecompression -enablecache -disablecache \
  -protectvolume -unprotectvolume -fbwfstate -fbwfcompression -fbwfprealloc -volumestatus \
  -setcache -addex -remex -commit -restore; do
  grep -q -E -- "^\\.B.* \\\\${option}( |\"|\$)" "$source_dir/man/vorlen.1" ||
    fail "vorlen.1 does not describe $option"
done

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
completes "C: D:" _vorlen vorlen -addex ""
completes "" _vorlen vorlen -enable ""
completes "reboot read" _fbwfsim fbwfsim re
completes "FbwfAddExclusion" _fbwfsim fbwfsim fail FbwfAdd
finish "manual pages clean, completion offers the words"
