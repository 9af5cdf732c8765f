#!/usr/bin/env bash
# Runs a Windows program under wine in a prefix of the build's own, quietly.
set -u
export WINEPREFIX=${VORLEN_WINEPREFIX:?set VORLEN_WINEPREFIX}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine)
exec "$wine" "$@"
