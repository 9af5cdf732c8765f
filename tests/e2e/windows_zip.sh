#!/usr/bin/env bash
# The Windows packages: vorlen.exe with the README in one zip, the stand-in
# in a zip of its own.
#   windows_zip.sh BUILD_DIR
build=$1
# shellcheck source=common.sh
source "$(dirname "$0")/common.sh"
out=$work
(cd "$build" && cpack -G ZIP -B "$out" > "$out/cpack.log" 2>&1) || { cat "$out/cpack.log"; exit 1; }
contents() { cmake -E tar tf "$1" | sed 's|^[^/]*/||' | sort | tr '\n' ' '; }
tool=$(ls "$out"/*-tool.zip) standin=$(ls "$out"/*-standin.zip) || exit 1
[ "$(contents "$tool")" = "CHANGELOG.md LICENSE README.md vorlen.exe " ] ||
  fail "$(basename "$tool") holds: $(contents "$tool")"
[ "$(contents "$standin")" = "FBWFLIB.dll fbwfsim.exe " ] ||
  fail "$(basename "$standin") holds: $(contents "$standin")"
echo "$(basename "$tool"): $(contents "$tool")"
echo "$(basename "$standin"): $(contents "$standin")"
finish
