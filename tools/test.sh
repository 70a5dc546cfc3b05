#!/bin/bash
# Sets the machine up, builds everything and runs the whole test suite under Wine.
# Extra arguments go to ctest, e.g. tools/test.sh -R launch_options_test
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$repo/tools/common.sh"

prepare_to_run
cd "$build_dir"
ctest --output-on-failure --no-tests=error -j "$(nproc)" "$@"
