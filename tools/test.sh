#!/bin/bash
# Sets the machine up, builds everything twice (as shipped, and with DCHECKs evaluated) and
# runs the whole test suite under Wine against each build.
# Extra arguments go to ctest, e.g. tools/test.sh -R launch_options_test
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$repo/tools/common.sh"

# Each suite runs as many test programs at once as there are cores, one suite after the
# other: side by side, Wine failed a child process start now and then (error 1359) and
# timing-bound tests failed.
jobs_per_suite=$(nproc)

# Test programs and the processes the suites leave in the background end with the script.
background_jobs=()
stop_everything() {
  local job
  for job in "${background_jobs[@]}"; do
    kill "$job" 2>/dev/null || true
  done
  stop_wine
}

# start_suite FOLDER [ctest args...]: runs the suite of FOLDER in the background, its
# output in FOLDER/suite.log.
start_suite() {
  local folder=$1
  shift
  ctest --test-dir "$folder" --output-on-failure --no-tests=error -j "$jobs_per_suite" "$@" \
    >"$folder/suite.log" 2>&1 &
  background_jobs+=($!)
}

# finish_suite FOLDER JOB: waits for the suite's job and prints its output; its status.
finish_suite() {
  local folder=$1 job=$2 status=0
  wait "$job" || status=$?
  echo "== Tests of $folder"
  cat "$folder/suite.log"
  return $status
}

timed "set-up" setup_machine
select_wine
timed "release build" build_all
start_display
trap stop_everything EXIT
# The prefix and its desktop come up while the DCHECK build compiles.
prepare_wine &
wine_job=$!
background_jobs+=($wine_job)
timed "DCHECK build" build_with_dchecks
wait "$wine_job"

suites_start=$SECONDS
status=0
start_suite "$build_dir" "$@"
finish_suite "$build_dir" "${background_jobs[-1]}" || status=1
start_suite "$dchecks_build_dir" "$@"
finish_suite "$dchecks_build_dir" "${background_jobs[-1]}" || status=1
echo "== both suites: $((SECONDS - suites_start)) s"
exit $status
