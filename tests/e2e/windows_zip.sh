#!/usr/bin/env bash
# The Windows packages: vorlen.exe in one zip, the stand-in in a zip of its
# own, each unpacking into one folder named after itself, with README.txt
# (CRLF, both programs) and LICENSE.txt.
#   windows_zip.sh BUILD_DIR
build=$1
# shellcheck source=common.sh
source "$(dirname "$0")/common.sh"
out=$work
(cd "$build" && cpack -G ZIP -B "$out" > "$out/cpack.log" 2>&1) || { cat "$out/cpack.log"; exit 1; }
contents() { cmake -E tar tf "$1" | grep -v '/$' | sort | tr '\n' ' '; }
tool=$(ls "$out"/*-tool.zip) standin=$(ls "$out"/*-standin.zip) || exit 1
folder=$(basename "$tool" .zip)
[ "$(contents "$tool")" = "$folder/CHANGELOG.md $folder/LICENSE.txt $folder/README.md $folder/README.txt $folder/vorlen.exe $folder/vorlenctl.exe " ] ||
  fail "$(basename "$tool") holds: $(contents "$tool")"
folder=$(basename "$standin" .zip)
[ "$(contents "$standin")" = "$folder/FBWFLIB.dll $folder/LICENSE.txt $folder/README.txt $folder/fbwfsim.exe " ] ||
  fail "$(basename "$standin") holds: $(contents "$standin")"
mkdir -p "$out/unpacked" && (cd "$out/unpacked" && cmake -E tar xf "$standin")
readme="$out/unpacked/$folder/README.txt"
[ "$(grep -c $'\r$' "$readme")" -eq "$(wc -l < "$readme")" ] || fail "README.txt has lines not ending in CRLF"
for word in vorlen fbwfsim 'fbwfsim calls' 'fbwfsim reset' FBWFSIM_DIR; do
  grep -q -- "$word" "$readme" || fail "README.txt does not mention $word"
done
grep -q 'Permission is hereby granted' "$out/unpacked/$folder/LICENSE.txt" || fail "LICENSE.txt is not the licence"
echo "$(basename "$tool"): $(contents "$tool")"
echo "$(basename "$standin"): $(contents "$standin")"
finish
