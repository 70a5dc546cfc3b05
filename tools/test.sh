#!/bin/bash
# Sets the machine up, builds everything twice (as shipped, and with DCHECKs evaluated) and
# runs the whole test suite under Wine against each build.
# Extra arguments go to ctest, e.g. tools/test.sh -R launch_options_test
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$repo/tools/common.sh"

prepare_to_run
build_with_dchecks

# run_suite FOLDER [ctest args...]
run_suite() {
  local folder=$1
  shift
  echo "== Tests of $folder"
  (cd "$folder" && ctest --output-on-failure --no-tests=error -j "$(nproc)" "$@")
}

status=0
run_suite "$build_dir" "$@" || status=1
run_suite "$dchecks_build_dir" "$@" || status=1
exit $status
