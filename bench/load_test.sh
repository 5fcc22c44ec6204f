#!/usr/bin/env bash
# The long load run, by hand: builds mailferry2, ferryreg and the load peers
# (RelWithDebInfo in build/load) and runs tests/load/load_run.sh with 50
# connections of 10 accounts for DURATION seconds (default 300) on loopback.
# The figures are printed and appended to build/load/load-figures.txt.
#
#   bench/load_test.sh [DURATION [CONNECTIONS [DELAY_MS]]]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build="$root/build/load"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFERRY_WERROR=ON \
  -DFERRY_BUILD_CONSOLE=OFF >/dev/null
cmake --build "$build" --target mailferry2 ferryreg ferry_load_peers -j 2 >/dev/null
FIGURES="$build/load-figures.txt" exec tests/load/load_run.sh "$build/service/mailferry2" \
  "$build/tools/ferryreg/ferryreg" "$build/tests/ferry_load_peers" "${1:-300}" "${2:-50}" "${3:-150}"
