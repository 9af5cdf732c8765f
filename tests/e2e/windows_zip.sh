#!/usr/bin/env bash
# The Windows packages: the programs in one zip, for devices, and a kit that
# runs as unpacked (the programs with the stand-in) in the other, each
# unpacking into one folder named after itself; every text file in them,
# the manual pages as HTML included, with CRLF line ends.
#   windows_zip.sh BUILD_DIR
build=$1
# shellcheck source=common.sh
source "$(dirname "$0")/common.sh"
out=$work
(cd "$build" && cpack -G ZIP -B "$out" > "$out/cpack.log" 2>&1) || { cat "$out/cpack.log"; exit 1; }
contents() { cmake -E tar tf "$1" | grep -v '/$' | sort | tr '\n' ' '; }
tool=$(ls "$out"/*-tool.zip) standin=$(ls "$out"/*-standin.zip) || exit 1
folder=$(basename "$tool" .zip)
[ "$(contents "$tool")" = "$folder/CHANGELOG.txt $folder/LICENSE.txt $folder/README.txt $folder/vorlen.exe $folder/vorlen.html $folder/vorlenctl.exe $folder/vorlenctl.html " ] ||
  fail "$(basename "$tool") holds: $(contents "$tool")"
folder=$(basename "$standin" .zip)
[ "$(contents "$standin")" = "$folder/CHANGELOG.txt $folder/FBWFLIB.dll $folder/LICENSE.txt $folder/README.txt $folder/fbwfsim.exe $folder/fbwfsim.html $folder/vorlen.exe $folder/vorlen.html $folder/vorlenctl.exe $folder/vorlenctl.html " ] ||
  fail "$(basename "$standin") holds: $(contents "$standin")"
mkdir -p "$out/unpacked" && (cd "$out/unpacked" && cmake -E tar xf "$standin")
readme="$out/unpacked/$folder/README.txt"
for text in "$out/unpacked/$folder"/*.txt "$out/unpacked/$folder"/*.html; do
  [ "$(grep -c $'\r$' "$text")" -eq "$(wc -l < "$text")" ] || fail "$(basename "$text") has lines not ending in CRLF"
done
grep -q '<title>VORLENCTL(1)</title>' "$out/unpacked/$folder/vorlenctl.html" || fail "vorlenctl.html is not the manual page"
head -n 8 "$readme" | grep -q 'tool.zip .*for a device with the filter' || fail "README.txt's first lines do not say which zip is for what"
for word in vorlen vorlenctl fbwfsim 'fbwfsim calls' 'fbwfsim reset' 'fbwfsim codes' FBWFSIM_DIR 'rmdir /s /q' '"\Program Data\app"'; do
  grep -qF -- "$word" "$readme" || fail "README.txt does not mention $word"
done
grep -q 'Permission is hereby granted' "$out/unpacked/$folder/LICENSE.txt" || fail "LICENSE.txt is not the licence"
echo "$(basename "$tool"): $(contents "$tool")"
echo "$(basename "$standin"): $(contents "$standin")"
finish
