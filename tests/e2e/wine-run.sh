#!/usr/bin/env bash
# Runs a Windows program under wine in a prefix of the build's own, quietly:
#   wine-run.sh PROGRAM [ARGUMENT...]
# A new wine process that meets a wineserver on its way out fails before the
# program starts, so a suite keeps one server for all its runs:
#   wine-run.sh --start    start it (and make the prefix), staying up
#   wine-run.sh --stop     end it
set -u
export WINEPREFIX=${VORLEN_WINEPREFIX:?set VORLEN_WINEPREFIX}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# wine64 runs x64 programs directly; the 32-bit loader runs x86 ones, in the
# same 64-bit prefix.
wine=/usr/lib/wine/wine64
[ "${VORLEN_WINE_ARCH:-x64}" = x86 ] && wine=/usr/lib/wine/wine
[ -x "$wine" ] || wine=$(command -v wine || command -v wine64)
server=/usr/lib/wine/wineserver64
[ -x "$server" ] || server=/usr/lib/wine/wineserver32
[ -x "$server" ] || server=$(command -v wineserver)
case "${1:-}" in
  --start)
    mkdir -p "$WINEPREFIX"
    # A server left by a suite that was stopped midway is ended first.
    "$server" -k > /dev/null 2>&1 && "$server" -w > /dev/null 2>&1
    # Its helpers outlive this script: none may hold the caller's output open.
    "$server" -p < /dev/null > /dev/null 2>&1 || exit
    exec "$wine" wineboot --init < /dev/null > /dev/null 2>&1 ;;
  --stop)
    # Says how often a run had to be repeated (see below), so it shows.
    [ -f "$WINEPREFIX/repeated-runs" ] && echo "repeated runs: $(wc -l < "$WINEPREFIX/repeated-runs")" &&
      cat "$WINEPREFIX/repeated-runs" && rm -f "$WINEPREFIX/repeated-runs"
    exec "$server" -k ;;
esac
# Under wine64, about one run in several thousand ends with status 1 before
# the program writes anything. Neither vorlen (whose banner comes first) nor
# fbwfsim (which names every failure) ever ends so, so that run, and only
# that, is repeated, at most twice, and recorded.
out=$(mktemp) err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
for attempt in 1 2 3; do
  "$wine" "$@" > "$out" 2> "$err"
  status=$?
  [ "$status" -eq 1 ] && [ ! -s "$out" ] && [ ! -s "$err" ] && [ "$attempt" -lt 3 ] || break
  echo "$(date +%T) $*" >> "$WINEPREFIX/repeated-runs"
done
cat "$out"
cat "$err" >&2
exit "$status"
