#!/usr/bin/env bash
# Every list of the library's functions outside wfapi.h names the same 30:
# the stand-in's exports, fbwfsim's help, the C client, the completion; the
# manual pages and READMEs name none that is not on the list (beside the
# structures, and the later ...Ex forms the stand-in leaves out).
#   function_names.sh SOURCE_DIR BIN_DIR
set -u
src=$1 bin=$2
# shellcheck source=common.sh
source "$(dirname "$0")/common.sh"

documented_functions | sort > "$work/list"
[ "$(wc -l < "$work/list")" -eq 30 ] || fail "wfapi.h's list has $(wc -l < "$work/list") names, not 30"

names_in() { grep -o 'Fbwf[A-Za-z]*' | sort -u; }
same_as_list() {  # same_as_list LABEL < TEXT
  names_in > "$work/names"
  cmp -s "$work/list" "$work/names" ||
    fail "$1 differs from the list: $(diff "$work/list" "$work/names" | grep '^[<>]' | tr '\n' ' ')"
}

nm -D --defined-only "$bin/libfbwflib.so" | awk '{print $3}' | same_as_list "the stand-in's exports"
"$bin/fbwfsim" --help | same_as_list "fbwfsim --help"
same_as_list "the C client" < "$src/tests/api/client_platform.c"
same_as_list "the completion" < "$src/completion/vorlen.bash"
{
  sed -n 's/^struct \(Fbwf[A-Za-z]*\) {$/\1/p' "$src/src/wfapi/wfapi.h"
  sed 's/$/Ex/' "$work/list"
} | sort > "$work/also_named"
for file in man/fbwfsim.1 man/vorlen.1 README.md src/wfsim/README.md packaging/README-windows.txt; do
  names_in < "$src/$file" | comm -23 - "$work/list" | comm -23 - "$work/also_named" > "$work/unknown"
  [ -s "$work/unknown" ] && fail "$file names functions not on the list: $(tr '\n' ' ' < "$work/unknown")"
done
finish "the 30 names agree everywhere"
