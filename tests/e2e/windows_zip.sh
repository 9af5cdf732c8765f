#!/usr/bin/env bash
# The Windows packages: vorlen.exe with the README in one zip, the stand-in
# in a zip of its own.
#   windows_zip.sh BUILD_DIR
set -u
build=$1
out=$(mktemp -d "${TMPDIR:-/tmp}/vorlen-zip.XXXXXX")
trap 'rm -rf "$out"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
(cd "$build" && cpack -G ZIP -B "$out" > "$out/cpack.log" 2>&1) || { cat "$out/cpack.log"; exit 1; }
contents() { cmake -E tar tf "$1" | sed 's|^[^/]*/||' | sort | tr '\n' ' '; }
tool=$(ls "$out"/*-tool.zip) standin=$(ls "$out"/*-standin.zip) || exit 1
[ "$(contents "$tool")" = "CHANGELOG.md LICENSE README.md vorlen.exe " ] ||
  fail "$(basename "$tool") holds: $(contents "$tool")"
[ "$(contents "$standin")" = "FBWFLIB.dll fbwfsim.exe " ] ||
  fail "$(basename "$standin") holds: $(contents "$standin")"
echo "$(basename "$tool"): $(contents "$tool")"
echo "$(basename "$standin"): $(contents "$standin")"
exit "$failures"
