#!/bin/bash
# Sets the machine up, builds everything and runs the launcher demo under Wine.
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$repo/tools/common.sh"

setup_machine
build_all
start_display
trap stop_wine EXIT
prepare_wine
echo "demo: not yet written"
