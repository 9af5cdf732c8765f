#!/usr/bin/env bash
# Runs the plain C client of the library in a new state folder:
#   library_client.sh CLIENT [RUNNER]
# CLIENT lies beside the stand-in library and fbwfsim.
set -u
bin=$(dirname "$1")
client=$1
runner=${2:-}
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"
fresh_state
# As a user runs a program that loads the library by name: from the library's
# folder on the search path (Windows looks beside the program first).
[ -z "$runner" ] && export LD_LIBRARY_PATH="$bin${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
$runner "$client" < /dev/null || fail "the client found faults"
finish
