#!/usr/bin/env bash
# The collection's guard role run by Debian's ansible against 3 simulated
# devices, the guard in the foreground as Linux hosts run it: started once on
# each, left alone by a second run, and acting on its device's overlay.
#   ansible_guard.sh SOURCE_DIR BIN_DIR
set -u
source_dir=$(cd "$1" && pwd) bin=$(cd "$2" && pwd)
# shellcheck source=common.sh
source "$(dirname "$0")/common.sh"
# Whatever the result, no guard outlives the test.
trap '[ -n "${VORLEN_KEEP:-}" ] && cp -r "$work" "$VORLEN_KEEP"; cat "$work"/device*/guard.jsonl.pid 2> /dev/null | xargs -r kill -KILL 2> /dev/null; rm -rf "$work"' EXIT

# shellcheck source=ansible_lib.sh
source "$(dirname "$0")/ansible_lib.sh"

{
  echo "[devices]"
  for i in 1 2 3; do echo "device$i ansible_connection=local fbwfsim_dir=$work/device$i"; done
} > "$work/inventory"
for i in 1 2 3; do
  export FBWFSIM_DIR=$work/device$i
  "$bin/vorlen" -enable > /dev/null && "$bin/vorlen" -protectvolume C: > /dev/null && "$bin/fbwfsim" reboot
done
cat > "$work/site.yml" <<'YAML'
- hosts: devices
  gather_facts: false
  environment:
    FBWFSIM_DIR: "{{ fbwfsim_dir }}"
  roles:
    - role: vorlen.fbwf.guard
      fbwf_guard_executable: "{{ vorlenctl }}"
      fbwf_guard_warning: "85%"
      fbwf_guard_history: "{{ fbwfsim_dir }}/guard.jsonl"
      fbwf_guard_on_warning: "echo warning >> {{ fbwfsim_dir }}/commands"
YAML
playbook() {
  ansible-playbook -i "$work/inventory" -e "vorlenctl=$bin/vorlenctl" "$work/site.yml" > "$work/run.out" 2>&1 ||
    fail "ansible-playbook failed: $(tail -n 15 "$work/run.out")"
  awk '/changed=[1-9]/ {print $1}' "$work/run.out" | sort | tr '\n' ' '
}
[ "$(playbook)" = "device1 device2 device3 " ] || fail "the first run did not start every guard: $(cat "$work/run.out")"
[ "$(playbook)" = "" ] || fail "a second run started a guard again: $(cat "$work/run.out")"
for i in 1 2 3; do
  kill -0 "$(cat "$work/device$i/guard.jsonl.pid")" || fail "device$i's guard is not running"
done
head -c $((56 * 1048576)) /dev/zero | FBWFSIM_DIR=$work/device2 "$bin/fbwfsim" write C: '\fill' > /dev/null 2>&1
for _ in $(seq 30); do [ -s "$work/device2/commands" ] && break; sleep 0.1; done
[ "$(cat "$work/device2/commands" 2> /dev/null)" = "warning" ] || fail "device2's guard did not act at 85%"
[ ! -e "$work/device1/commands" ] || fail "device1's guard acted on an empty overlay"
grep -q 'event 1 started: started: warning at 85%' "$work/device1/guard.jsonl.events" ||
  fail "device1's events: $(cat "$work/device1/guard.jsonl.events")"
finish "the guard role starts one guard a device, once, and each acts on its own overlay"
