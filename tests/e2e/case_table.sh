#!/usr/bin/env bash
# The checked-in case table is what its generator makes of Debian's Unicode
# data:  case_table.sh SOURCE_DIR
set -u
folder=$1/src/text
data=/usr/share/unicode/UnicodeData.txt
[ -f "$data" ] || { echo "SKIPPED: needs $data (Debian's unicode-data)"; exit 77; }
python3 "$folder/make_case_table.py" "$data" | diff - "$folder/case_table.inc" ||
  { echo "FAIL: case_table.inc is not make_case_table.py's output: run it again"; exit 1; }
echo "case_table.inc is generated from $data"
