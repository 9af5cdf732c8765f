#!/usr/bin/env bash
# The Ansible collection run for real by Debian's ansible-core against 20
# simulated devices (local connection, a state folder each): a device with an
# injected fault fails alone while the others converge, a second run changes
# only what was left, a third nothing, and check mode reports a drifted
# device without changing it.
#   ansible.sh SOURCE_DIR BIN_DIR
set -u
source_dir=$1 bin=$(cd "$2" && pwd)
# shellcheck source=common.sh
source "$(dirname "$0")/common.sh"
# shellcheck source=ansible_lib.sh
source "$(dirname "$0")/ansible_lib.sh"
export ANSIBLE_FORKS=10

for module in filter:threshold_mb filter_info:protected_next commit:paths servicing_record:ended; do
  ansible-doc "vorlen.fbwf.${module%%:*}" > "$work/doc" 2>&1 && grep -q "${module#*:}" "$work/doc" ||
    fail "ansible-doc does not render ${module%%:*}: $(head -n 5 "$work/doc")"
done

{
  echo "[devices]"
  for i in $(seq -w 1 20); do echo "device$i ansible_connection=local fbwfsim_dir=$work/device$i"; done
} > "$work/inventory"
cat > "$work/site.yml" <<'YAML'
- hosts: devices
  gather_facts: false
  tasks:
    - vorlen.fbwf.filter:
        filter: true
        threshold_mb: 128
        protected: ["C:"]
        exclusions:
          "C:": ['\temp', '\logs']
        executable: "{{ vorlenctl }}"
      environment:
        FBWFSIM_DIR: "{{ fbwfsim_dir }}"
YAML

# playbook [OPTIONS]: runs it, its results shown; $work/changed and
# $work/failed name the hosts, from the recap.
playbook() {
  ansible-playbook -v -i "$work/inventory" -e "vorlenctl=$bin/vorlenctl" "$@" "$work/site.yml" > "$work/run.out" 2> "$work/run.err"
  sed -n '/^PLAY RECAP/,$p' "$work/run.out" > "$work/recap"
  recap_hosts "$work/run.out" changed > "$work/changed"
  recap_hosts "$work/run.out" failed > "$work/failed"
  [ -s "$work/recap" ] || fail "ansible-playbook $* printed no recap: $(tail -n 5 "$work/run.err")"
}
all_but() { seq -w 1 20 | sed 's/^/device/' | grep -vx "$1" | tr '\n' ' ' | sed 's/ $//'; }

FBWFSIM_DIR="$work/device07" "$bin/fbwfsim" fail FbwfProtectVolume 5
start=$(date +%s.%N)
playbook
took=$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN {printf "%.1f", b - a}')
[ "$(cat "$work/changed")" = "$(all_but device07)" ] || fail "the first run changed: $(cat "$work/changed")"
[ "$(cat "$work/failed")" = "device07" ] || fail "the first run failed on: $(cat "$work/failed") $(head -c 800 "$work/run.err")"
grep -q 'FbwfProtectVolume failed with code 5 (access denied)' "$work/run.out" || fail "the failure does not carry vorlenctl's message"
# It enabled the filter before its protection failed: the task says it changed
# the device, with the calls made (the recap counts a failed task as failed only).
grep 'fatal: \[device07\]: FAILED!' "$work/run.out" |
  grep -F '"calls": [{"arguments": [], "function": "FbwfEnableFilter", "status": 0}' | grep -qF '"changed": true' ||
  fail "the failed device's calls are not passed on: $(grep device07 "$work/run.out" | head -c 600)"
playbook
[ "$(cat "$work/changed")" = "device07" ] && [ -z "$(cat "$work/failed")" ] ||
  fail "the second run changed: $(cat "$work/changed"), failed: $(cat "$work/failed")"
playbook
[ -z "$(cat "$work/changed")" ] || fail "a converged fleet changed: $(cat "$work/changed")"

FBWFSIM_DIR="$work/device05" "$bin/vorlen" -disable > /dev/null
cp "$work/device05/config" "$work/config.before"
playbook --check --diff
[ "$(cat "$work/changed")" = "device05" ] || fail "check mode found drift on: $(cat "$work/changed")"
cmp -s "$work/config.before" "$work/device05/config" || fail "check mode changed the drifted device"
grep -q '"reboot_required": true' "$work/run.out" || fail "the result lacks reboot_required: $(grep device05 "$work/run.out" | head -c 600)"
# The shipped playbook, as installed, with the collections Debian's ansible
# carries (ansible.windows among them) and the reboot given as tasks.
cat > "$work/reboot.yml" <<'YAML'
- ansible.builtin.command: "{{ fbwfsim }} reboot"
  environment:
    FBWFSIM_DIR: "{{ fbwfsim_dir }}"
YAML
{
  echo "[devices]"
  for i in 1 2; do
    echo "sim$i ansible_connection=local fbwf_vorlenctl=$bin/vorlenctl fbwf_environment='{\"FBWFSIM_DIR\": \"$work/sim$i\"}' fbwfsim_dir=$work/sim$i"
  done
} > "$work/shipped"
export ANSIBLE_COLLECTIONS_PATH="$work/collections:/usr/share/ansible/collections:/usr/lib/python3/dist-packages"
ansible-playbook -i "$work/shipped" -e "fbwf_reboot_tasks=$work/reboot.yml" -e "fbwfsim=$bin/fbwfsim" \
  vorlen.fbwf.reboot_when_needed > "$work/shipped.out" 2>&1 ||
  fail "the shipped playbook failed: $(tail -n 20 "$work/shipped.out")"
for i in 1 2; do
  FBWFSIM_DIR="$work/sim$i" "$bin/vorlenctl" get | tr -d ' \n' | grep -qF '"reboot_pending":false' ||
    fail "sim$i was not rebooted by the shipped playbook: $(tail -n 20 "$work/shipped.out")"
  FBWFSIM_DIR="$work/sim$i" "$bin/vorlen" -fbwfstate | grep -qx 'FBWF is ENABLED' || fail "sim$i's filter is not on now"
done

# A file changed through the overlay kept by commit, the filter on; a file
# that isn't there named, the run failed.
export FBWFSIM_DIR="$work/c1"
"$bin/fbwfsim" write C: '\app\settings.ini' 'colour = red' > /dev/null
"$bin/vorlen" -enable > /dev/null && "$bin/vorlen" -protectvolume C: > /dev/null && "$bin/fbwfsim" reboot
"$bin/fbwfsim" write C: '\app\settings.ini' 'colour = blue' > /dev/null
unset FBWFSIM_DIR
cat > "$work/commit.yml" <<YAML
- hosts: localhost
  gather_facts: false
  tasks:
    - vorlen.fbwf.commit:
        volume: "C:"
        paths: ['\\app\\settings.ini', '\\app\\missing.ini']
        executable: $bin/vorlenctl
      environment:
        FBWFSIM_DIR: $work/c1
YAML
ansible-playbook -i localhost, -c local "$work/commit.yml" > "$work/commit.out" 2>&1 &&
  fail "a commit with a missing file succeeded: $(tail -n 5 "$work/commit.out")"
grep -qF '1 of 2 files could not be committed: \\app\\missing.ini: FbwfCommitFile failed with code 2 (not found)' "$work/commit.out" ||
  fail "the commit's failure is not named: $(grep -A3 fatal "$work/commit.out")"
FBWFSIM_DIR="$work/c1" "$bin/fbwfsim" ls C: '\app' | grep -qE '^disk .*settings.ini$' ||
  fail "the committed file is not on the disk: $(FBWFSIM_DIR="$work/c1" "$bin/fbwfsim" ls C: '\app')"
FBWFSIM_DIR="$work/c1" "$bin/fbwfsim" reboot
[ "$(FBWFSIM_DIR="$work/c1" "$bin/fbwfsim" read C: '\app\settings.ini')" = 'colour = blue' ] ||
  fail "the committed content did not outlast a reboot"

finish "20 devices converged in ${took}s (one failing alone), then stayed; check mode saw the drift and changed nothing"
