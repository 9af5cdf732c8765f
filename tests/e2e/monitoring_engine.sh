#!/usr/bin/env bash
PATH=$PATH:/usr/sbin
# A monitoring engine from Debian's packages (icinga2 or nagios4) runs
# vorlenctl check through the definition the vorlen package ships, on five
# simulated devices, as the test's user with every path in the scratch
# folder. Each device's service goes OK, WARNING, CRITICAL and OK again as
# its overlay fills and the device restarts, and the performance data the
# engine keeps are vorlenctl get's figures. The engine is stopped by its
# process group whatever the result; an engine that can't start fails.
source_dir=$1
bin=$2
engine=$3
# shellcheck source=common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

devices=(device1 device2 device3 device4 device5)
threshold=16777216
engine_group=""

descendants() {
  local child
  for child in $(pgrep -P "$1"); do
    echo "$child"
    descendants "$child"
  done
}

# A process that has ended but is not reaped yet is not running.
none_running() {
  local pid
  for pid in "$@"; do
    case "$(ps -o stat= -p "$pid" 2> /dev/null)" in "" | Z*) ;; *) return 1 ;; esac
  done
}

# The engine's group and its workers, which take groups of their own.
stop_engine() {
  [ -n "$engine_group" ] || return 0
  local members
  read -r -a members <<< "$engine_group $(descendants "$engine_group" | tr '\n' ' ')"
  kill -TERM -- "-$engine_group" "${members[@]}" 2> /dev/null
  until_true 10 none_running "${members[@]}" || kill -KILL -- "-$engine_group" "${members[@]}" 2> /dev/null
  until_true 5 none_running "${members[@]}" || fail "$engine still runs after its stop: ${members[*]}"
  engine_group=""
}
trap 'stop_engine; rm -rf "$work"' EXIT

on_device() {  # on_device DEVICE PROGRAM ARGS...
  FBWFSIM_DIR="$work/devices/$1" "$bin/$2" "${@:3}"
}

make_devices() {
  local device
  for device in "${devices[@]}"; do
    on_device "$device" fbwfsim reset > /dev/null &&
      on_device "$device" vorlen -enable > /dev/null &&
      on_device "$device" vorlen -protectvolume C: > /dev/null &&
      on_device "$device" vorlen -setcache 16 > /dev/null &&
      on_device "$device" fbwfsim reboot || fail "$device can't be made"
  done
}

# Each check the engine kept, a line each: HOST<tab>STATE<tab>PERFDATA.
checks_seen() { cat "$work"/perfdata/* 2> /dev/null; }

# The device's states in order, each change once: "OK WARNING CRITICAL OK".
states_of() {
  checks_seen | awk -F '\t' -v host="$1" '$1 == host && $2 != last { printf "%s%s", sep, $2; sep = " "; last = $2 }'
}

all_at() {
  local device
  for device in "${devices[@]}"; do
    [[ "$(states_of "$device")" == *"$1" ]] || return 1
  done
}

fill() {  # fill BYTES NAME: a file of BYTES written on each device's C:
  local device
  for device in "${devices[@]}"; do
    head -c "$1" /dev/zero | on_device "$device" fbwfsim write C: "\\$2" > /dev/null 2>&1 || fail "$device: $2 not written"
  done
}

# The engine's last performance data for the device give get's figures.
perfdata_is_gets() {
  local device used expected
  for device in "${devices[@]}"; do
    used=$(checks_seen | awk -F "\t" -v host="$device" '$1 == host { line = $3 } END { print line }' |
      sed -n "s/.*overlay_used=\([0-9.e+]*\)B.*/\1/p")
    expected=$(on_device "$device" vorlenctl get | python3 -c \
      'import json,sys; m = json.load(sys.stdin)["memory"]; print(m["dir_structure"] + m["file_data"])')
    [ -n "$used" ] && python3 -c "import sys; sys.exit(float('$used') != $expected)" ||
      fail "$device: the engine's performance data say ${used:-nothing} bytes used, get says $expected"
  done
}

start_icinga2() {
  local dir
  for dir in etc lib log cache spool run plugins perfdata; do mkdir -p "$work/$dir"; done
  ln -s "$bin/vorlenctl" "$work/plugins/check_fbwf"
  local hosts="" device
  for device in "${devices[@]}"; do
    hosts+="object Host \"$device\" { import \"device\"; vars.fbwf_simulator_dir = \"$work/devices/$device\" }"$'\n'
  done
  cat > "$work/etc/icinga2.conf" <<CONF
const PluginDir = "$work/plugins"
const NodeName = "vorlen-test"
const ZoneName = "vorlen-test"
include <itl>
include <plugins>
include "$source_dir/monitoring/icinga2/fbwf.conf"
object CheckerComponent "checker" { }
object PerfdataWriter "perfdata" {
  service_perfdata_path = "$work/perfdata/service"
  service_temp_path = "$work/spool/service.tmp"
  host_perfdata_path = "$work/spool/host"
  host_temp_path = "$work/spool/host.tmp"
  service_format_template = "\$host.name\$\t\$service.state\$\t\$service.perfdata\$"
  rotation_interval = 1s
}
template Host "device" {
  check_command = "dummy"
  check_interval = 5s
}
$hosts
apply Service "fbwf" {
  check_command = "fbwf"
  check_interval = 1s
  retry_interval = 1s
  max_check_attempts = 1
  assign where host.vars.fbwf_simulator_dir
}
CONF
  local paths=(-c "$work/etc/icinga2.conf" -DConfigDir="$work/etc" -DDataDir="$work/lib" -DLogDir="$work/log"
    -DCacheDir="$work/cache" -DSpoolDir="$work/spool" -DInitRunDir="$work/run"
    -DRunAsUser="$(id -un)" -DRunAsGroup="$(id -gn)")
  icinga2 daemon -C "${paths[@]}" > "$work/validate.log" 2>&1 ||
    { fail "icinga2 daemon -C refuses the configuration: $(tail -n 20 "$work/validate.log")"; return 1; }
  setsid icinga2 daemon "${paths[@]}" > "$work/engine.log" 2>&1 &
  engine_group=$!
}

start_nagios4() {
  local dir
  for dir in etc var spool plugins perfdata link; do mkdir -p "$work/$dir"; done
  # The plugin as a device runs it: the engine's host is the device whose
  # stand-in the check reads.
  ln -s "$bin/vorlenctl" "$work/link/check_fbwf"
  printf '#!/bin/sh\nFBWFSIM_DIR=%s/devices/"$NAGIOS_HOSTNAME" exec %s "$@"\n' "$work" "$work/link/check_fbwf" \
    > "$work/plugins/check_fbwf"
  chmod +x "$work/plugins/check_fbwf"
  local device
  {
    cat <<CONF
define host {
    name                    device
    check_command           check_fbwf!--allow-off
    max_check_attempts      1
    check_interval          5
    register                0
}
define service {
    name                    fbwf-service
    service_description     fbwf
    check_command           check_fbwf!-w 80 -c 90
    max_check_attempts      1
    check_interval          1
    retry_interval          1
    register                0
}
define timeperiod {
    timeperiod_name         always
    alias                   always
    sunday                  00:00-24:00
    monday                  00:00-24:00
    tuesday                 00:00-24:00
    wednesday               00:00-24:00
    thursday                00:00-24:00
    friday                  00:00-24:00
    saturday                00:00-24:00
}
define contact {
    contact_name                    nobody
    host_notifications_enabled      0
    service_notifications_enabled   0
    host_notification_period        always
    service_notification_period     always
    host_notification_options       n
    service_notification_options    n
    host_notification_commands      check_fbwf
    service_notification_commands   check_fbwf
}
CONF
    for device in "${devices[@]}"; do
      printf 'define host {\n    use device\n    host_name %s\n    address 127.0.0.1\n    check_period always\n    contacts nobody\n}\n' "$device"
      printf 'define service {\n    use fbwf-service\n    host_name %s\n    check_period always\n    notification_period always\n    contacts nobody\n}\n' "$device"
    done
  } > "$work/etc/devices.cfg"
  cat > "$work/etc/nagios.cfg" <<CONF
cfg_file=$source_dir/monitoring/nagios4/fbwf.cfg
cfg_file=$work/etc/devices.cfg
resource_file=$work/etc/resource.cfg
log_file=$work/var/nagios.log
object_cache_file=$work/var/objects.cache
precached_object_file=$work/var/objects.precache
status_file=$work/var/status.dat
status_update_interval=1
temp_file=$work/var/nagios.tmp
temp_path=$work/spool
lock_file=$work/var/nagios.lock
check_result_path=$work/spool
query_socket=$work/var/query.sock
command_file=$work/var/nagios.cmd
state_retention_file=$work/var/retention.dat
retain_state_information=0
nagios_user=$(id -un)
nagios_group=$(id -gn)
interval_length=1
check_result_reaper_frequency=1
service_inter_check_delay_method=n
max_service_check_spread=1
host_inter_check_delay_method=n
enable_environment_macros=1
process_performance_data=1
service_perfdata_file=$work/perfdata/service
service_perfdata_file_template=\$HOSTNAME\$\t\$SERVICESTATE\$\t\$SERVICEPERFDATA\$
service_perfdata_file_mode=a
check_for_updates=0
use_syslog=0
enable_notifications=0
illegal_macro_output_chars=\`~\$&|'"<>
CONF
  printf '$USER1$=%s\n' "$work/plugins" > "$work/etc/resource.cfg"
  nagios4 -v "$work/etc/nagios.cfg" > "$work/validate.log" 2>&1 ||
    { fail "nagios4 -v refuses the configuration: $(grep -iE 'error|warning' "$work/validate.log" | head -n 20)"; return 1; }
  grep -qE '^Total Warnings: +0' "$work/validate.log" || fail "nagios4 -v warns: $(grep -i warning "$work/validate.log")"
  setsid nagios4 "$work/etc/nagios.cfg" > "$work/engine.log" 2>&1 &
  engine_group=$!
}

command -v "$engine" > /dev/null || { fail "$engine is not installed: the test needs Debian's package"; finish; }
make_devices
"start_$engine" || finish
until_true 60 all_at OK || fail "not every device is OK: $(for d in "${devices[@]}"; do echo "$d: $(states_of "$d");"; done) $(tail -n 5 "$work/engine.log")"
fill $((threshold * 85 / 100)) warning
until_true 30 all_at WARNING || fail "not every device is WARNING at 85%: $(for d in "${devices[@]}"; do echo "$d: $(states_of "$d");"; done)"
fill $((threshold * 8 / 100)) critical
until_true 30 all_at CRITICAL || fail "not every device is CRITICAL at 93%: $(for d in "${devices[@]}"; do echo "$d: $(states_of "$d");"; done)"
perfdata_is_gets
for device in "${devices[@]}"; do on_device "$device" fbwfsim reboot; done
until_true 30 all_at OK || fail "not every device is OK after its restart"
for device in "${devices[@]}"; do
  [ "$(states_of "$device")" = "OK WARNING CRITICAL OK" ] || fail "$device went $(states_of "$device")"
done
stop_engine
finish "ok   $engine ran the shipped check on ${#devices[@]} devices: OK, WARNING, CRITICAL, OK each"
