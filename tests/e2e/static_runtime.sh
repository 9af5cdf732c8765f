#!/usr/bin/env bash
# Windows programs import only system DLLs: the C and C++ runtimes are linked in.
#   static_runtime.sh OBJDUMP FILE...
set -u
objdump=$1
shift
status=0
for file in "$@"; do
  imports=$("$objdump" -p "$file" | awk '/DLL Name:/ {print $3}')
  if [ -z "$imports" ]; then
    echo "FAIL: no import table read from $file"
    status=1
  fi
  for dll in $imports; do
    case "${dll,,}" in
      libstdc++*|libgcc*|libwinpthread*|msvcp*|vcruntime*)
        echo "FAIL: $(basename "$file") imports $dll"
        status=1 ;;
    esac
  done
  echo "$(basename "$file") imports:" $imports
done
exit "$status"
