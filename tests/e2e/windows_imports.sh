#!/usr/bin/env bash
# Every shipped Windows binary loads on XP SP2 (x86) or XP x64 as it is: it
# imports only the system's own DLLs and none of their later functions, asks
# for no newer system, carries no winpthreads and no TLS callback beyond the C
# runtime's, and the stand-in exports its 30 plain names.
#   windows_imports.sh OBJDUMP POST_XP_LIST vorlen.exe vorlenctl.exe FBWFLIB.dll fbwfsim.exe
set -u
objdump=$1 post_xp=$2
shift 2
# shellcheck source=common.sh
source "$(dirname "$0")/common.sh"

for file in "$@"; do
  name=$(basename "$file")
  "$objdump" -p "$file" > "$work/headers" || { fail "$name: objdump failed"; continue; }
  # Import lines: "DLL Name: X", then "hint-rva  hint  function" rows.
  awk '/DLL Name:/ {dll = tolower($3)} dll && NF == 3 && $1 ~ /^[0-9a-f]+$/ {print dll, $3}' \
    "$work/headers" > "$work/imports"
  [ -s "$work/imports" ] || fail "$name: no import read"
  for dll in $(cut -d' ' -f1 "$work/imports" | sort -u); do
    case $dll in
      kernel32.dll|msvcrt.dll|advapi32.dll|user32.dll|shell32.dll|ntdll.dll) ;;
      *) fail "$name imports $dll" ;;
    esac
  done
  cut -d' ' -f2 "$work/imports" | sort -u > "$work/functions"
  grep -v '^#' "$post_xp" | sort -u | comm -12 - "$work/functions" > "$work/late"
  [ ! -s "$work/late" ] || fail "$name imports what XP lacks: $(tr '\n' ' ' < "$work/late")"
  minor=$(awk '/MinorSubsystemVersion/ {print $2}' "$work/headers")
  major=$(awk '/MajorSubsystemVersion/ {print $2}' "$work/headers")
  grep -q 'Magic.*PE32+' "$work/headers" && expected=5.2 || expected=5.1
  [ "$major.$minor" = "$expected" ] || fail "$name asks for subsystem $major.$minor, not $expected"
  # No winpthreads, and no TLS callback but the C runtime's own two (__xl_c,
  # __xl_d): XP does not run TLS callbacks for a library loaded at run time.
  "${objdump%objdump}nm" "$file" > "$work/symbols" 2> /dev/null || fail "$name: nm failed"
  grep -E ' (pthread_|_pthread_|__pthread|winpthread)' "$work/symbols" | head -n 3 > "$work/threads"
  [ ! -s "$work/threads" ] || fail "$name carries winpthreads: $(tr '\n' ' ' < "$work/threads")"
  # (x86 names carry one more leading underscore.)
  callbacks=$(awk '$3 ~ /^_?__xl_[b-y]$/ {sub(/^___/, "__", $3); print $3}' "$work/symbols" | sort | tr '\n' ' ')
  extra=""
  for callback in $callbacks; do
    case $callback in __xl_c|__xl_d) ;; *) extra+="$callback " ;; esac
  done
  [ -z "$extra" ] || fail "$name has TLS callbacks beyond the C runtime's __xl_c and __xl_d: $extra"
  echo "$name: $(wc -l < "$work/functions") functions from $(cut -d' ' -f1 "$work/imports" | sort -u | tr '\n' ' ')"
done

library=$(printf '%s\n' "$@" | grep -i 'fbwflib.dll$')
"$objdump" -p "$library" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
  sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p' | sort > "$work/exports"
documented_functions | sort > "$work/expected_exports"
cmp -s "$work/expected_exports" "$work/exports" ||
  fail "FBWFLIB.dll exports: $(tr '\n' ' ' < "$work/exports")"
finish "no import that XP lacks; FBWFLIB.dll exports the 30 plain names"
