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
# Never the 32-bit wine for x64 programs: it would make the prefix 32-bit.
if [ ! -x "$wine" ] && [ "${VORLEN_WINE_ARCH:-x64}" = x86 ]; then wine=$(command -v wine); fi
[ -x "$wine" ] || wine=$(command -v wine64) || { echo "wine-run.sh: no wine for ${VORLEN_WINE_ARCH:-x64} programs" >&2; exit 127; }
server=/usr/lib/wine/wineserver64
[ -x "$server" ] || server=/usr/lib/wine/wineserver32
[ -x "$server" ] || server=$(command -v wineserver)
# Debian's wine64 has no preloader: the kernel may place its heap where wine
# must map the shared user data page (about one start in 5,000), and wine
# then exits with status 1 before any Windows code runs. Without address
# randomization that never happens, so runs go through setarch -R where the
# host allows it (some container profiles refuse it; probed once a prefix).
# Where it refuses, only a run whose standard error names that failure is
# repeated, at most twice, and recorded.
mkdir -p "$WINEPREFIX"
probe="$WINEPREFIX/setarch-probe"
[ -f "$probe" ] || { setarch "$(uname -m)" -R true > /dev/null 2>&1 && echo yes || echo no; } > "$probe"
launch=()
[ "$(cat "$probe")" = yes ] && launch=(setarch "$(uname -m)" -R)
case "${1:-}" in
  --start)
    # A server left by a suite that was stopped midway is ended first.
    "$server" -k > /dev/null 2>&1 && "$server" -w > /dev/null 2>&1
    # Its helpers outlive this script: none may hold the caller's output open.
    "$server" -p < /dev/null > /dev/null 2>&1 || exit
    exec "${launch[@]}" "$wine" wineboot --init < /dev/null > /dev/null 2>&1 ;;
  --stop)
    # Says how often a run had to be repeated (see below), so it shows.
    [ -f "$WINEPREFIX/repeated-runs" ] && echo "repeated runs: $(wc -l < "$WINEPREFIX/repeated-runs")" &&
      cat "$WINEPREFIX/repeated-runs" && rm -f "$WINEPREFIX/repeated-runs"
    exec "$server" -k ;;
esac
[ ${#launch[@]} -gt 0 ] && exec "${launch[@]}" "$wine" "$@"
export WINEDEBUG=-all,err+virtual
out=$(mktemp) err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
for attempt in 1 2 3; do
  "$wine" "$@" > "$out" 2> "$err"
  status=$?
  [ "$status" -eq 1 ] && grep -q 'failed to map the shared user data' "$err" && [ "$attempt" -lt 3 ] || break
  echo "$(date +%T) $*" >> "$WINEPREFIX/repeated-runs"
done
cat "$out"
grep -v 'failed to map the shared user data' "$err" >&2
exit "$status"
