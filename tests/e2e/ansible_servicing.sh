#!/usr/bin/env bash
# The collection's servicing role run by Debian's ansible against 20
# simulated devices: updates that fail on 3 and hang on 1 (stopped by the
# update timeout) leave those 4 protected and failed with their step, the 16
# others end serviced and protected, and a second run services only the 4.
# Then a play killed between the two reboots: monitoring sees the servicing,
# the next run puts the filter back and fails with the step, the one after
# services it. A reboot that does not come back fails at its step. A device
# whose filter is off by design is left so. After every play, every device
# runs protected.
#   ansible_servicing.sh SOURCE_DIR BIN_DIR
set -u
source_dir=$(cd "$1" && pwd) bin=$(cd "$2" && pwd)
# shellcheck source=common.sh
source "$(dirname "$0")/common.sh"
# shellcheck source=ansible_lib.sh
source "$(dirname "$0")/ansible_lib.sh"
# No update outlives the test, whatever its result.
trap 'pkill -KILL -f "sleep 41[78]" 2> /dev/null; [ -n "${pid:-}" ] && kill -KILL -- "-$pid" 2> /dev/null; rm -rf "$work"' EXIT
export ANSIBLE_FORKS=10
devices=$(seq -w 1 20 | sed 's/^/device/')
mkdir -p "$work/markers"
{
  echo "[devices]"
  for d in $devices device21; do
    echo "$d ansible_connection=local fbwfsim_dir=$work/$d fbwf_servicing_record=$work/$d/vorlen/servicing.json" \
      "fbwf_environment='{\"FBWFSIM_DIR\": \"$work/$d\"}'"
  done
} > "$work/inventory"
for d in $devices; do
  echo '{"filter": true, "protected": ["C:"], "exclusions": {"C:": ["\\vorlen", "\\temp"]}}' |
    FBWFSIM_DIR=$work/$d "$bin/vorlenctl" set > /dev/null && FBWFSIM_DIR=$work/$d "$bin/fbwfsim" reboot ||
    fail "$d could not be arranged"
done
# device21's filter is off by design: never switched on.
FBWFSIM_DIR=$work/device21 "$bin/vorlen" -protectvolume C: > /dev/null
# The administrator's updates: they run only unprotected, and fail, hang or
# take their time where a marker says so.
cat > "$work/updates.yml" <<'YAML'
- vorlen.fbwf.filter_info:
    executable: "{{ fbwf_vorlenctl }}"
  environment: "{{ fbwf_environment }}"
- ansible.builtin.assert:
    that: not fbwf.protected_now
    fail_msg: the update met a protected session
- ansible.builtin.shell: |
    m={{ markers }}/{{ inventory_hostname }}
    [ -e "$m.fail" ] && { echo "KB5001 failed to install" >&2; exit 1; }
    [ -e "$m.hang" ] && exec sleep 417
    [ -e "$m.slow" ] && { touch "$m.updating"; exec sleep 418; }
    echo {{ inventory_hostname }} >> {{ markers }}/updated
YAML
# A reboot that never comes back.
cat > "$work/no-reboot.yml" <<'YAML'
- ansible.builtin.fail:
    msg: the device did not come back within 600 s
YAML
cat > "$work/site.yml" <<'YAML'
- hosts: devices
  gather_facts: false
  roles:
    - role: vorlen.fbwf.servicing
      vars:
        fbwf_servicing_update_tasks: "{{ work }}/updates.yml"
        fbwf_servicing_update_timeout: "{{ update_timeout }}"
YAML
play() {  # play NAME TIMEOUT [OPTIONS]: the servicing NAME, its output in $work/run.out
  ansible-playbook -i "$work/inventory" -e "work=$work markers=$work/markers fbwf_vorlenctl=$bin/vorlenctl" \
    -e "fbwf_fbwfsim=$bin/fbwfsim fbwf_servicing_name=$1 update_timeout=$2" "${@:3}" "$work/site.yml" > "$work/run.out" 2>&1
}
all_protected() {  # all_protected WHEN: every device runs protected and stays so at the next boot
  local d
  for d in $devices; do
    FBWFSIM_DIR=$work/$d "$bin/vorlenctl" get --servicing-file "$work/$d/vorlen/servicing.json" > "$work/get" 2>&1
    tr -d ' \n' < "$work/get" | grep -q '^{"current":{"filter":true,.*"next":{"filter":true,.*"protected":\["C:"\],"exclusions":{"C:":\["\\\\vorlen","\\\\temp"\]}' ||
      fail "$d does not run protected $1: $(head -c 400 "$work/get")"
  done
}
last_step() { tr -d '\n' < "$work/$1/vorlen/servicing.json.done" | sed -n 's/.*"step": *"\([^"]*\)".*/\1/p'; }

touch "$work/markers/device03.fail" "$work/markers/device09.fail" "$work/markers/device15.fail" \
  "$work/markers/device12.hang"
play patch-2026-12 5
failed=$(recap_hosts "$work/run.out" failed)
[ "$failed" = "device03 device09 device12 device15" ] || fail "the first run failed on: $failed $(tail -n 30 "$work/run.out")"
for d in device03 device09 device15; do
  grep -q "\[$d\].*servicing patch-2026-12 failed at step updates: .*KB5001 failed to install.*the filter is back on" "$work/run.out" ||
    fail "$d's failure is not reported with its step and cause: $(grep "$d" "$work/run.out" | tail -n 3)"
done
grep -q '\[device12\].*servicing patch-2026-12 failed at step updates: .*expected time frame (5).*the filter is back on' "$work/run.out" ||
  fail "the hanging update is not reported stopped: $(grep device12 "$work/run.out" | tail -n 3)"
all_protected "after the first run"
[ "$(sort "$work/markers/updated" | tr '\n' ' ')" = "$(echo "$devices" | grep -vxE 'device(03|09|12|15)' | tr '\n' ' ')" ] ||
  fail "updated: $(sort "$work/markers/updated" | tr '\n' ' ')"
[ "$(last_step device01)" = done ] && [ "$(last_step device12)" = "failed at updates" ] ||
  fail "the records end: device01 $(last_step device01), device12 $(last_step device12)"
pkill -KILL -f "sleep 417" && echo "note: the timeout stopped the task, not its command; killed"

cp "$work/run.out" "$work/skipped.out"
rm "$work"/markers/*.fail "$work"/markers/*.hang
play patch-2026-12 5
changed=$(recap_hosts "$work/run.out" changed)
[ "$changed" = "device03 device09 device12 device15" ] && [ -z "$(recap_hosts "$work/run.out" failed)" ] ||
  fail "the second run changed: $changed, failed: $(recap_hosts "$work/run.out" failed) $(tail -n 20 "$work/run.out")"
[ "$(wc -l < "$work/markers/updated")" -eq 20 ] && [ -z "$(sort "$work/markers/updated" | uniq -d)" ] ||
  fail "after the second run, updated: $(sort "$work/markers/updated" | uniq -c | tr '\n' ' ')"
all_protected "after the second run"

# A play killed while device01's update runs, between the two reboots.
touch "$work/markers/device01.slow"
setsid bash -c "$(declare -f play); work='$work' bin='$bin'; play patch-2027-01 100 --limit device01" &
pid=$!
until_true 60 test -e "$work/markers/device01.updating" || fail "device01's update did not start"
kill -KILL -- "-$pid"
wait "$pid" 2> /dev/null
pkill -KILL -f "sleep 418"
pid=""
FBWFSIM_DIR=$work/device01 "$bin/vorlenctl" check --servicing-file "$work/device01/vorlen/servicing.json" > "$work/check"
status=$?
[ "$status" -eq 1 ] && grep -q '^FBWF WARNING - the servicing patch-2027-01 is in progress since .* (step updates); the filter is off by intent' "$work/check" ||
  fail "monitoring does not see the servicing ($status): $(cat "$work/check")"
rm "$work/markers/device01.slow"
play patch-2027-01 100 --limit device01
[ "$(recap_hosts "$work/run.out" failed)" = device01 ] &&
  grep -q '\[device01\].*servicing patch-2027-01 failed at step updates: an earlier run stopped there .*the filter is back on' "$work/run.out" ||
  fail "the interrupted servicing is not reported at its step: $(tail -n 20 "$work/run.out")"
all_protected "after the run that found the interrupted servicing"
play patch-2027-01 100 --limit device01
[ "$(recap_hosts "$work/run.out" failed)" = "" ] && [ "$(last_step device01)" = done ] ||
  fail "the run after it did not service device01: $(tail -n 20 "$work/run.out")"
all_protected "at the end"

# A reboot that does not come back: the filter is back on for the next
# session before anything else, and the host fails at that step.
play patch-2027-02 100 --limit device02 -e "fbwf_servicing_reboot_tasks=$work/no-reboot.yml"
[ "$(recap_hosts "$work/run.out" failed)" = device02 ] &&
  grep -q '\[device02\].*servicing patch-2027-02 failed at step reboot-unfiltered: .*did not come back.*the filter is back on' "$work/run.out" ||
  fail "the reboot that did not come back is not reported at its step: $(grep -A2 'fatal: \[device02' "$work/run.out" | tail -n 3)"
all_protected "after a reboot that did not come back"

# The device whose filter is off by design, as the administrator states.
FBWFSIM_DIR=$work/device21 "$bin/vorlenctl" get | tr -d ' \n' | grep -q '"current":{"filter":false.*"next":{"filter":false' ||
  fail "device21's filter was switched: $(FBWFSIM_DIR=$work/device21 "$bin/vorlenctl" get | head -c 300)"
grep -A 2 '^ok: \[device21\] => {' "$work/skipped.out" | grep -q 'the filter is off for the next session: not serviced, left as it is' ||
  fail "device21 is not reported skipped: $(grep device21 "$work/skipped.out" | tail -n 3)"
play patch-2027-01 100 --limit device21 -e fbwf_servicing_unfiltered=fail
[ "$(recap_hosts "$work/run.out" failed)" = device21 ] || fail "device21 did not fail as stated: $(tail -n 5 "$work/run.out")"

finish "20 devices serviced: 4 failing updates put back and reported at their step, serviced by a second run; an interrupted play recovered"
