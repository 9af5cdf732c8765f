#!/usr/bin/env bash
# The guard as a Windows service under wine, in a prefix of its own: set up
# by `vorlenctl guard --install` (automatic start, restart after a failure,
# the events' source), started by the Service Control Manager with the
# system environment, crossing levels while it runs, stopped by `net stop`
# with its registrations released, and removed by --uninstall.
#   windows_guard_service.sh BIN_DIR PREFIX
set -u
bin=$1
export WINEPREFIX=$2 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
runner=run_wine
# shellcheck source=common.sh
source "$(dirname "$0")/common.sh"
MiB=1048576
server=/usr/lib/wine/wineserver64
[ -x "$server" ] || server=$(command -v wineserver)
launch=()
setarch "$(uname -m)" -R true > /dev/null 2>&1 && launch=(setarch "$(uname -m)" -R)

wine_() { "${launch[@]}" /usr/lib/wine/wine64 "$@" < /dev/null 2>> "$work/wine-errors" | tr -d '\r'; }
# The server and its services end with the script, whatever its result.
trap '"$server" -k > /dev/null 2>&1; rm -rf "$work"' EXIT

# wineboot without --init: in a prefix that exists, --init starts a second
# services.exe, and the Service Control Manager then answers "database
# locked" to every start.
start_prefix() {
  "$server" -k > /dev/null 2>&1 && "$server" -w > /dev/null 2>&1
  "$server" -p < /dev/null > /dev/null 2>&1
  # What the services say (VORLEN_SERVICE_DEBUG=+seh, say) goes to services.log.
  WINEDEBUG=${VORLEN_SERVICE_DEBUG:--all} "${launch[@]}" /usr/lib/wine/wine64 wineboot < /dev/null > /dev/null \
    2>> "$WINEPREFIX/services.log"
}

win() { printf 'Z:%s' "${1//\//\\}"; }

crossings() { [ -f "$work/guard.jsonl" ] && wc -l < "$work/guard.jsonl" || echo 0; }
has_crossings() { [ "$(crossings)" -ge "$1" ]; }
running() { wine_ sc query vorlen-guard | grep -q 'STATE *: 4'; }
stopped() { wine_ sc query vorlen-guard | grep -q 'STATE *: 1'; }
fill() {  # its text on standard input, which wine_ does not take
  head -c $(($2 * MiB)) /dev/zero | "${launch[@]}" /usr/lib/wine/wine64 "$bin/fbwfsim.exe" write C: "\\$1" > /dev/null 2>&1 ||
    fail "fbwfsim write $1 refused"
}

# A prefix made anew: a service left set up would start with it.
rm -rf "$WINEPREFIX" && mkdir -p "$WINEPREFIX"
FBWFSIM_DIR=$(win "$work/state")
export FBWFSIM_DIR
start_prefix
# The service takes the system's environment, which the server reads as it starts.
wine_ reg add 'HKLM\System\CurrentControlSet\Control\Session Manager\Environment' /v FBWFSIM_DIR /t REG_SZ \
  /d "$FBWFSIM_DIR" /f > /dev/null || fail "the system environment can't be set"
start_prefix
wine_ "$bin/vorlen.exe" -enable > /dev/null
wine_ "$bin/vorlen.exe" -protectvolume C: > /dev/null
wine_ "$bin/fbwfsim.exe" reboot

wine_ "$bin/vorlenctl.exe" guard --install --history "$(win "$work/guard.jsonl")" --interval 5 \
  --on-critical "echo %VORLEN_PREVIOUS_LEVEL%^>%VORLEN_LEVEL% %VORLEN_PERCENT%>> $(win "$work/commands")" > "$work/out"
[ "$(cat "$work/out")" = "vorlenctl: the service vorlen-guard is set up and started" ] ||
  fail "--install said: $(cat "$work/out")"
wine_ reg query 'HKLM\System\CurrentControlSet\Services\vorlen-guard' > "$work/service"
grep -q 'Start *REG_DWORD *0x2' "$work/service" || fail "the service does not start with the system: $(cat "$work/service")"
wine_ reg query 'HKLM\System\CurrentControlSet\Services\EventLog\Application\vorlen-guard' | grep -q TypesSupported ||
  fail "the events' source is not registered"
until_true 10 running || fail "the service is not running"

fill a 55
until_true 2 has_crossings 1 ||
  fail "the service did not see the overlay pass 80% within a second or so; the library's last calls: $(wine_ "$bin/fbwfsim.exe" calls | tail -n 4 | tr '\n' ';')"
fill b 4
until_true 2 has_crossings 2 || fail "the service did not see the overlay pass 90%"
wine_ "$bin/fbwfsim.exe" reboot
until_true 7 has_crossings 3 || fail "the service did not see the overlay emptied"
sed 's/"time": "[^"]*", //; s/, "command": .*}$/}/' "$work/guard.jsonl" | cut -d, -f1-2 > "$work/levels"
printf '%s\n' '{"from": "normal", "to": "warning"' '{"from": "warning", "to": "critical"' \
  '{"from": "critical", "to": "normal"' | cmp -s - "$work/levels" || fail "the service's crossings: $(cat "$work/guard.jsonl")"
[ "$(tr -d '\r' < "$work/commands" 2> /dev/null)" = "warning>critical 92.1" ] ||
  fail "the critical command: $(cat "$work/commands" 2> /dev/null)"

started=$SECONDS
wine_ net stop vorlen-guard > /dev/null
until_true 3 stopped || fail "the service did not stop"
[ $((SECONDS - started)) -le 3 ] || fail "the service took $((SECONDS - started)) s to stop"
wine_ "$bin/fbwfsim.exe" calls | tail -n 1 | grep -q 'FbwfUninitializeNotifications() = 0' ||
  fail "the service did not release its registrations: $(wine_ "$bin/fbwfsim.exe" calls | tail -n 2)"

wine_ "$bin/vorlenctl.exe" guard --uninstall > "$work/out"
[ "$(cat "$work/out")" = "vorlenctl: the service vorlen-guard is removed" ] || fail "--uninstall said: $(cat "$work/out")"
wine_ sc query vorlen-guard | grep -q vorlen-guard && fail "the service is still there"
finish "the guard runs as a Windows service: set up, crossing levels, stopped and removed"
