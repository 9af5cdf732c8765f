# The collection as Debian's ansible finds it, with Ansible's own files in the
# scratch folder. Sourced after common.sh, with `source_dir` set.
command -v ansible-playbook > /dev/null || { echo "FAIL: needs ansible-playbook (Debian's ansible-core)"; exit 1; }
mkdir -p "$work/collections/ansible_collections/vorlen"
ln -s "$source_dir/ansible/vorlen/fbwf" "$work/collections/ansible_collections/vorlen/fbwf"
export ANSIBLE_COLLECTIONS_PATH="$work/collections" ANSIBLE_LOCALHOST_WARNING=false ANSIBLE_NOCOLOR=1 \
  ANSIBLE_INVENTORY_UNPARSED_WARNING=false ANSIBLE_PYTHON_INTERPRETER=/usr/bin/python3 \
  ANSIBLE_HOME="$work/ansible-home" ANSIBLE_LOCAL_TEMP="$work/ansible-tmp"

# recap_hosts FILE COUNT: the hosts whose COUNT (changed, failed, ...) in the
# play recap of FILE is above 0, sorted, on one line.
recap_hosts() {
  sed -n '/^PLAY RECAP/,$p' "$1" | awk -v count="$2=[1-9]" '$0 ~ count {print $1}' | sort | tr '\n' ' ' | sed 's/ $//'
}
