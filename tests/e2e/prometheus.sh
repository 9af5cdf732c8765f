#!/usr/bin/env bash
# vorlenctl's figures as Prometheus reads them, with Debian's own programs:
# promtool finds every shape of `vorlenctl metrics` clean, and node_exporter,
# started as the test's user with its textfile collector alone on a free
# port of 127.0.0.1, serves the guard's file without an error or a missing
# sample while the guard rewrites it 20 times a second. The exporter is
# stopped by its process group whatever the result; a program missing fails.
source_dir=$1
bin=$2
tests_program=$3
# shellcheck source=common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
export FBWFSIM_DIR="$work/device"
groups=()
stop_all() {
  local group
  for group in "${groups[@]}"; do kill -TERM -- "-$group" 2> /dev/null; done
  for group in "${groups[@]}"; do
    until_true 5 eval "! kill -0 -- -$group 2> /dev/null" || kill -KILL -- "-$group" 2> /dev/null
  done
  groups=()
}
trap 'stop_all; rm -rf "$work"' EXIT

lint() {  # lint SHAPE FILE: promtool's verdict on the file
  local said
  said=$(promtool check metrics < "$2" 2>&1) || fail "promtool refuses $1: $said"
  [ -z "$said" ] || fail "promtool finds fault with $1: $said"
  grep -q '^vorlen_up [01]$' "$2" || fail "$1 has no vorlen_up: $(cat "$2")"
}

test_promtool_finds_every_shape_clean() {
  "$bin/fbwfsim" reset > /dev/null
  "$bin/vorlenctl" metrics > "$work/filter-off.prom" && lint "the filter off" "$work/filter-off.prom"
  "$bin/vorlen" -enable > /dev/null && "$bin/fbwfsim" reboot
  "$bin/vorlenctl" metrics > "$work/no-volume.prom" && lint "no protected volume" "$work/no-volume.prom"
  "$bin/vorlen" -protectvolume C: > /dev/null && "$bin/vorlen" -protectvolume D: > /dev/null &&
    "$bin/vorlen" -addex C: '\temp' > /dev/null && "$bin/fbwfsim" reboot
  "$bin/vorlenctl" metrics > "$work/volumes.prom" && lint "two volumes" "$work/volumes.prom"
  grep -q '^vorlen_volume_exclusions{session="current",volume="C:"} 1$' "$work/volumes.prom" ||
    fail "C:'s exclusion is not counted: $(cat "$work/volumes.prom")"
  mkdir "$work/alone" && cp "$bin/vorlenctl" "$work/alone/"
  "$work/alone/vorlenctl" metrics > "$work/unreachable.prom" 2> /dev/null
  [ $? -eq 3 ] || fail "metrics without a library does not exit 3"
  lint "an unreachable library" "$work/unreachable.prom"
  # A guard whose history's folder has a quote, a backslash and a line break.
  local odd="$work/a \"guard\" \\ of
two lines"
  mkdir -p "$odd" && head -c 56000000 /dev/zero | "$bin/fbwfsim" write C: '\big' > /dev/null 2>&1
  "$bin/vorlenctl" guard --history "$odd/guard.jsonl" 2> /dev/null &
  local guard=$!
  until_true 10 test -s "$odd/guard.jsonl.state" || fail "the guard keeps no state in $odd"
  kill "$guard" && wait "$guard"
  "$bin/vorlenctl" metrics --guard-history "$odd/guard.jsonl" > "$work/odd.prom" && lint "an odd history's name" "$work/odd.prom"
  [ "$(grep -c '^vorlen_guard_level{history=' "$work/odd.prom")" -eq 4 ] || fail "the guard's levels: $(cat "$work/odd.prom")"
  # Shapes the stand-in can't take: 24 volumes, volume names with quotes and line breaks.
  mkdir "$work/shapes"
  VORLEN_METRICS_SHAPES="$work/shapes" "$tests_program" --gtest_filter='*MetricsOfEveryShape*' > /dev/null ||
    fail "the shapes' unit test fails"
  local shape
  for shape in filter-off no-volume many-volumes quotes-and-line-breaks library-failing; do
    [ -s "$work/shapes/$shape.prom" ] && lint "$shape" "$work/shapes/$shape.prom" || fail "no $shape shape written"
  done
}

free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

test_node_exporter_serves_the_guards_file_while_it_is_rewritten() {
  "$bin/fbwfsim" reset > /dev/null && "$bin/vorlen" -enable > /dev/null && "$bin/vorlen" -protectvolume C: > /dev/null &&
    "$bin/fbwfsim" reboot
  mkdir -p "$work/textfile"
  local port
  port=$(free_port)
  setsid prometheus-node-exporter --collector.disable-defaults --collector.textfile \
    --collector.textfile.directory="$work/textfile" --web.listen-address="127.0.0.1:$port" > "$work/exporter.log" 2>&1 &
  groups+=($!)
  setsid "$bin/vorlenctl" guard --history "$work/guard.jsonl" --interval 0.05 --textfile "$work/textfile" 2> /dev/null &
  groups+=($!)
  until_true 10 test -s "$work/textfile/vorlen.prom" || fail "the guard writes no vorlen.prom"
  # Writes meanwhile, so the figures change as they are served.
  (for i in $(seq 100); do "$bin/fbwfsim" write C: "\\f$i" "$(head -c $((i * 1000)) /dev/zero | tr '\0' x)"; sleep 0.1; done) > /dev/null 2>&1 &
  python3 - "$port" "$work/textfile/vorlen.prom" > "$work/scrapes" <<'PYTHON'
import os, sys, time, urllib.request
port, path = sys.argv[1], sys.argv[2]
wanted = ['vorlen_up 1', 'vorlen_filter_enabled{session="current"} 1', 'vorlen_overlay_used_bytes{part="file_data"}',
          'vorlen_overlay_threshold_bytes{session="current"}', 'vorlen_guard_level{', 'node_textfile_scrape_error 0']
import threading
scrapes, problems, files = 0, [], set()
end = time.time() + 10
def look_at_the_file():
    while time.time() < end:
        try:
            seen = os.stat(path)
            files.add((seen.st_ino, seen.st_mtime_ns))
        except OSError:
            pass
        time.sleep(0.005)
watcher = threading.Thread(target=look_at_the_file)
watcher.start()
while time.time() < end:
    try:
        text = urllib.request.urlopen(f"http://127.0.0.1:{port}/metrics", timeout=5).read().decode()
    except Exception as error:
        problems.append(f"scrape {scrapes}: {error}")
        time.sleep(0.1)
        continue
    scrapes += 1
    problems += [f"scrape {scrapes} lacks {w}" for w in wanted if w not in text]
watcher.join()
print(scrapes, len(files))
print("\n".join(problems[:10]))
PYTHON
  wait %3 2> /dev/null
  local scrapes files
  read -r scrapes files < "$work/scrapes"
  [ "${scrapes:-0}" -ge 50 ] || fail "only ${scrapes:-0} scrapes in 10 s: $(cat "$work/exporter.log")"
  [ "${files:-0}" -ge 100 ] || fail "the guard rewrote its file ${files:-0} times seen in 10 s, not 20 a second"
  echo "     $scrapes scrapes, $files versions of the file seen"
  [ "$(sed -n '2,$p' "$work/scrapes" | grep -c .)" -eq 0 ] || fail "scrapes saw: $(sed -n '2,$p' "$work/scrapes")"
  stop_all
}

command -v promtool > /dev/null || fail "promtool is not installed: the test needs Debian's prometheus package"
command -v prometheus-node-exporter > /dev/null || fail "prometheus-node-exporter is not installed"
[ "$(failure_count)" -eq 0 ] || finish
for test in $(declare -F | awk '/ test_/ { print $3 }'); do
  before=$(failure_count)
  "$test"
  [ "$(failure_count)" -eq "$before" ] && echo "ok   $test" || echo "FAIL $test"
done
finish
