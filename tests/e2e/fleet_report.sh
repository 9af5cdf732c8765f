#!/usr/bin/env bash
# The fleet report playbook run by Debian's ansible against 6 simulated
# devices of different states, its page opened in Debian's chromium, headless,
# and the table the browser built read back: the devices that differ first,
# and each one's figures those vorlenctl get gives. The CSV holds the same.
#   fleet_report.sh SOURCE_DIR BIN_DIR
set -u
source_dir=$(cd "$1" && pwd) bin=$(cd "$2" && pwd)
# shellcheck source=common.sh
source "$(dirname "$0")/common.sh"
# shellcheck source=ansible_lib.sh
source "$(dirname "$0")/ansible_lib.sh"
[ -x /usr/bin/chromium ] || { echo "FAIL: needs chromium (Debian's chromium)"; exit 1; }
trap '[ -n "${browser:-}" ] && kill -KILL "$browser" 2> /dev/null; rm -rf "$work"' EXIT

on() { local device=$1; shift; FBWFSIM_DIR=$work/$device "$@"; }
{
  echo "[devices]"
  for i in 1 2 3 4 5 6; do
    echo "d$i ansible_connection=local fbwf_vorlenctl=$bin/vorlenctl fbwf_environment='{\"FBWFSIM_DIR\": \"$work/d$i\"}'" \
      "fbwf_guard_history=$work/d$i/guard.jsonl fbwf_servicing_record=$work/d$i/servicing.json"
  done
} > "$work/inventory"
for i in 1 2 3 4 5 6; do
  echo '{"filter": true, "protected": ["C:"]}' | on "d$i" "$bin/vorlenctl" set > /dev/null && on "d$i" "$bin/fbwfsim" reboot ||
    fail "d$i could not be arranged"
done
head -c $((20 * 1048576)) /dev/zero | on d1 "$bin/fbwfsim" write C: '\fill' > /dev/null 2>&1
head -c $((55 * 1048576)) /dev/zero | on d4 "$bin/fbwfsim" write C: '\fill' > /dev/null 2>&1
on d2 "$bin/vorlen" -disable > /dev/null                       # due off at the next boot
on d3 "$bin/fbwfsim" fail FbwfIsFilterEnabled 5 10 > /dev/null  # can't be read
printf '{"level": "warning", "last_known": "warning", "since_seconds": 1796900000, "used_bytes": 57671680, "threshold_bytes": 67108864}\n' \
  > "$work/d4/guard.jsonl.state"
on d5 "$bin/vorlenctl" servicing start patch-2026-12 --servicing-file "$work/d5/servicing.json" > /dev/null
on d6 "$bin/vorlen" -setcache 32 > /dev/null                    # a reboot pending, still as desired

ansible-playbook -i "$work/inventory" -e "fbwf_report_dir=$work/report" vorlen.fbwf.fleet_report > "$work/run.out" 2>&1 ||
  [ "$(recap_hosts "$work/run.out" failed)" = "" ] || fail "the report's play failed: $(tail -n 20 "$work/run.out")"
[ -s "$work/report/fleet.html" ] && [ -s "$work/report/fleet.csv" ] || fail "no report: $(tail -n 20 "$work/run.out")"
grep -qiE '<script|<link|src=|url\(|https?:' "$work/report/fleet.html" && fail "the page reaches outside itself"

# The browser's own document, as it built it from the page.
chromium --headless --no-sandbox --disable-gpu --no-first-run --user-data-dir="$work/browser" \
  --dump-dom "file://$work/report/fleet.html" > "$work/dom.html" 2> "$work/browser.err" &
browser=$!
wait "$browser" || fail "chromium failed: $(tail -n 5 "$work/browser.err")"
browser=""
python3 - "$work/dom.html" > "$work/table" <<'PY' || fail "the browser's table can't be read"
import html.parser, sys
class Table(html.parser.HTMLParser):
    def __init__(self):
        super().__init__(); self.rows = []; self.cell = None; self.row = None
    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        if tag == 'tr' and 'data-device' in attrs: self.row = {'class': attrs.get('class', '')}
        elif tag == 'td' and self.row is not None:
            self.cell = attrs['class'].split()[0]; self.row[self.cell] = ''
            if self.cell == 'overlay': self.row['bytes'] = attrs.get('data-used-bytes', '')
    def handle_endtag(self, tag):
        if tag == 'td': self.cell = None
        elif tag == 'tr' and self.row is not None: self.rows.append(self.row); self.row = None
    def handle_data(self, data):
        if self.cell: self.row[self.cell] += data
table = Table(); table.feed(open(sys.argv[1]).read())
for r in table.rows:
    print('|'.join([r['device'], r['class'], r['desired'].strip(), r['filter-now'], r['filter-next'], r['protected'],
                    r['bytes'], r['overlay'].strip(), r['reboot'], r['guard'], r['servicing']]))
PY
[ "$(cut -d'|' -f1 "$work/table" | tr '\n' ' ')" = "d2 d3 d1 d4 d5 d6 " ] ||
  fail "the rows are not the differing devices first: $(cut -d'|' -f1 "$work/table" | tr '\n' ' ')"
grep -qx 'd2|differs|differs: filter|on|off|C:|.*|yes||' "$work/table" || fail "d2's row: $(grep '^d2' "$work/table")"
grep -q '^d3|failed|failed: vorlenctl: FbwfIsFilterEnabled failed with code 5 (access denied)|' "$work/table" ||
  fail "d3's row: $(grep '^d3' "$work/table")"
grep -q '^d4|as-desired|as desired|on|on|C:|.*|no|warning|$' "$work/table" || fail "d4's row: $(grep '^d4' "$work/table")"
grep -q '^d5|.*|patch-2026-12$' "$work/table" || fail "d5's row: $(grep '^d5' "$work/table")"
grep -q '^d6|as-desired|as desired|on|on|C:|.*|yes||$' "$work/table" || fail "d6's row: $(grep '^d6' "$work/table")"
# Each device's overlay as vorlenctl reads it, in bytes and cut to a tenth of a percent.
for i in 1 2 4 5 6; do
  expected=$(on "d$i" "$bin/vorlenctl" get | python3 -c '
import json, sys
m = json.load(sys.stdin)["memory"]; used = m["dir_structure"] + m["file_data"]
print("%d|%s%%" % (used, int(used * 1000 // m["current_threshold"]) / 10))')
  got=$(grep "^d$i|" "$work/table" | cut -d'|' -f7,8)
  [ "$got" = "$expected" ] || fail "d$i's overlay reads $got, not $expected"
done
python3 - "$work/report/fleet.csv" "$work/table" <<'PY' || fail "the CSV does not hold the page's devices and figures"
import csv, sys
rows = list(csv.DictReader(open(sys.argv[1])))
page = [line.rstrip('\n').split('|') for line in open(sys.argv[2])]
assert [r['device'] for r in rows] == [p[0] for p in page], [r['device'] for r in rows]
for r, p in zip(rows, page):
    assert r['used_bytes'] == p[6] and r['filter_now'] == p[3] and r['filter_next'] == p[4], (r, p)
assert rows[1]['message'] == 'vorlenctl: FbwfIsFilterEnabled failed with code 5 (access denied)', rows[1]
PY
finish "the fleet report's page, read back from chromium, and its CSV hold 6 devices' states, the differing first"
