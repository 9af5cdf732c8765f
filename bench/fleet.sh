#!/usr/bin/env bash
# A fleet of simulated devices (a state folder each, 50 exclusions a device, a
# random half already in the desired state) converged by Ansible with the
# collection's filter module over the local connection, against
# ansible.builtin.command and raw running true in the same run, then
# vorlenctl set in a shell loop and the whole fleet's get gathered into one
# report. Prints the figures, then one line per target saying whether it is
# met; exits nonzero when one is not.
#
#   bench/fleet.sh BIN_DIR [DEVICES] [FORKS]   (BIN_DIR: vorlen, vorlenctl, fbwfsim)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bin=$(cd "$1" && pwd) devices=${2:-1000} forks=${3:-20}
vorlen=$bin/vorlen vorlenctl=$bin/vorlenctl
work=$(mktemp -d "${TMPDIR:-/tmp}/vorlen-fleet.XXXXXX")
trap 'rm -rf "$work"' EXIT
export XDG_STATE_HOME="$work/xdg-state"
mkdir -p "$work/collections/ansible_collections/vorlen"
ln -s "$here/ansible/vorlen/fbwf" "$work/collections/ansible_collections/vorlen/fbwf"
export ANSIBLE_COLLECTIONS_PATH="$work/collections" ANSIBLE_LOCALHOST_WARNING=false ANSIBLE_NOCOLOR=1 \
  ANSIBLE_PYTHON_INTERPRETER=/usr/bin/python3 ANSIBLE_HOME="$work/ansible-home" ANSIBLE_LOCAL_TEMP="$work/ansible-tmp" \
  ANSIBLE_FORKS=$forks

# Two devices made by vorlen, then copied: one in the desired state, one
# whose next session lacks half its exclusions and its filter.
seq 1 50 | awk '{printf "\\app%02d\\logs\n", $1}' > "$work/paths"
python3 -c 'import json, sys; print(json.dumps({"filter": True, "protected": ["C:"],
  "exclusions": {"C:": [l.strip() for l in open(sys.argv[1])]}}))' "$work/paths" > "$work/desired.json"
FBWFSIM_DIR=$work/desired "$vorlenctl" set "$work/desired.json" > /dev/null
FBWFSIM_DIR=$work/desired "$bin/fbwfsim" reboot
cp -r "$work/desired" "$work/drifted"
export FBWFSIM_DIR=$work/drifted
"$vorlen" -disable > /dev/null
sed -n '26,50p' "$work/paths" | while IFS= read -r path; do "$vorlen" -remex C: "$path" > /dev/null; done
unset FBWFSIM_DIR
mkdir -p "$work/fleet"
for ((i = 1; i <= devices; i++)); do echo "$i"; done | shuf --random-source=<(yes) > "$work/order"
head -n $((devices / 2)) "$work/order" | while read -r i; do cp -r "$work/desired" "$work/fleet/dev$i"; done
tail -n +$((devices / 2 + 1)) "$work/order" | while read -r i; do cp -r "$work/drifted" "$work/fleet/dev$i"; done
{
  echo "[devices]"
  for ((i = 1; i <= devices; i++)); do echo "dev$i ansible_connection=local d=$work/fleet/dev$i"; done
} > "$work/inventory"
python3 -c 'import json, sys; d = json.load(open(sys.argv[1])); print(json.dumps([{"hosts": "devices", "gather_facts": False,
  "tasks": [{"vorlen.fbwf.filter": dict(d, executable=sys.argv[2]), "environment": {"FBWFSIM_DIR": "{{ d }}"}}]}]))' \
  "$work/desired.json" "$vorlenctl" > "$work/module.yml"
for kind in command raw; do
  printf -- '- hosts: devices\n  gather_facts: false\n  tasks:\n    - ansible.builtin.%s: "true"\n' "$kind" > "$work/$kind.yml"
  [ "$kind" = command ] && printf '      environment:\n        FBWFSIM_DIR: "{{ d }}"\n' >> "$work/$kind.yml"
done

# play NAME: runs NAME.yml over the fleet; the CPU seconds it and every process
# it waited for took, in $cpu; the hosts changed and failed, from the recap.
play() {
  /usr/bin/time -f '%U %S %e' -o "$work/time" ansible-playbook -i "$work/inventory" "$work/$1.yml" > "$work/$1.out" 2>&1 || true
  cpu=$(awk '{printf "%.2f", $1 + $2}' "$work/time")
  wall=$(awk '{print $3}' "$work/time")
  changed=$(sed -n '/^PLAY RECAP/,$p' "$work/$1.out" | grep -c 'changed=[1-9]' || true)
  failed=$(sed -n '/^PLAY RECAP/,$p' "$work/$1.out" | grep -cE 'failed=[1-9]|unreachable=[1-9]' || true)
}
per() { awk -v a="$1" -v n="$devices" 'BEGIN {printf "%.1f", 1000 * a / n}'; }  # ms a device

play command; command_cpu=$cpu command_wall=$wall
play raw; raw_cpu=$cpu raw_wall=$wall
play module; module_cpu=$cpu module_wall=$wall first_changed=$changed first_failed=$failed
play module; again_cpu=$cpu second_changed=$changed second_failed=$failed

# vorlenctl alone: set over the fleet (converged now), and every device's get
# gathered into one report.
start=$EPOCHREALTIME
for ((i = 1; i <= devices; i++)); do FBWFSIM_DIR=$work/fleet/dev$i "$vorlenctl" set "$work/desired.json" > /dev/null; done
set_loop=$(awk -v a="$start" -v b="$EPOCHREALTIME" -v n="$devices" 'BEGIN {printf "%.2f", 1000 * (b - a) / n}')
start=$EPOCHREALTIME
{
  echo "["
  for ((i = 1; i <= devices; i++)); do
    printf '%s{"device": "dev%d", "state": ' "$([ "$i" -gt 1 ] && echo ,)" "$i"
    FBWFSIM_DIR=$work/fleet/dev$i "$vorlenctl" get
    echo "}"
  done
  echo "]"
} > "$work/report.json"
get_loop=$(awk -v a="$start" -v b="$EPOCHREALTIME" -v n="$devices" 'BEGIN {printf "%.2f", 1000 * (b - a) / n}')
python3 -c 'import json, sys; rows = json.load(open(sys.argv[1])); assert len(rows) == int(sys.argv[2])
assert all(r["state"]["next"]["filter"] for r in rows)' "$work/report.json" "$devices"
instructions() {
  valgrind --tool=callgrind --callgrind-out-file="$work/callgrind.out" "$@" > /dev/null 2> "$work/callgrind.err" < /dev/null
  awk '/Collected :/ {print $4}' "$work/callgrind.err"
}
cp -r "$work/drifted" "$work/one"
set_change=$(FBWFSIM_DIR=$work/one instructions "$vorlenctl" set "$work/desired.json")
set_same=$(FBWFSIM_DIR=$work/one instructions "$vorlenctl" set "$work/desired.json")
get_one=$(FBWFSIM_DIR=$work/one instructions "$vorlenctl" get)

ratio=$(awk -v a="$module_cpu" -v b="$command_cpu" 'BEGIN {printf "%.2f", a / b}')
echo "fleet of $devices simulated devices, 50 exclusions each, $((devices - devices / 2)) drifted, forks $forks"
printf '%-46s %10s %10s\n' "" "CPU ms/dev" "wall s"
printf '%-46s %10s %10s\n' "ansible.builtin.command: true" "$(per "$command_cpu")" "$command_wall"
printf '%-46s %10s %10s\n' "ansible.builtin.raw: true" "$(per "$raw_cpu")" "$raw_wall"
printf '%-46s %10s %10s\n' "vorlen.fbwf.filter, first run ($first_changed changed)" "$(per "$module_cpu")" "$module_wall"
printf '%-46s %10s %10s\n' "vorlen.fbwf.filter, second run ($second_changed changed)" "$(per "$again_cpu")" ""
echo "module / command: $ratio"
echo "vorlenctl set in a shell loop: $set_loop ms a device; $set_change instructions with changes, $set_same without"
echo "vorlenctl get of every device into one report: $get_loop ms a device; $get_one instructions each"

met=0
verdict() {  # verdict TEXT CONDITION
  if awk "BEGIN {exit !($2)}"; then echo "met      $1"; else echo "NOT MET  $1"; met=1; fi
}
verdict "the module at most command: true's CPU a device ($ratio)" "$ratio <= 1"
verdict "the module at most half command: true's CPU a device, the aim ($ratio)" "$ratio <= 0.5"
verdict "the first run changed the drifted half and failed none ($first_changed, $first_failed failed)" \
  "$first_changed == $devices - int($devices / 2) && $first_failed == 0"
verdict "a second run changed nothing ($second_changed changed, $second_failed failed)" \
  "$second_changed == 0 && $second_failed == 0"
exit "$met"
