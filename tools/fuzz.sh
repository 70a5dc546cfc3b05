#!/bin/bash
# Sets the machine up, builds the platform-free code natively with clang's AddressSanitizer
# and UndefinedBehaviorSanitizer, runs its unit tests, then runs each fuzz target over its
# seed corpus for a while and prints its executions per second and coverage.
# Usage: tools/fuzz.sh [seconds per target, default 20] [target...]
# A long run: tools/fuzz.sh 600
# The build goes to $LAUNCHER_FUZZ_BUILD_DIR (default build-fuzz). A crash leaves its input
# in that folder's artifacts/; once the fault is fixed, copy it into tests/fuzz/corpus/<target>/.
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$repo/tools/common.sh"
fuzz_dir="${LAUNCHER_FUZZ_BUILD_DIR:-$repo/build-fuzz}"
seconds="${1:-20}"
shift || true

setup_machine
CC=clang CXX=clang++ cmake -S "$repo/tests/fuzz" -B "$fuzz_dir" -G Ninja \
  -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache >/dev/null
cmake --build "$fuzz_dir"
(cd "$fuzz_dir" && ctest --output-on-failure --no-tests=error -j "$(nproc)")

targets=("$@")
if [[ ${#targets[@]} -eq 0 ]]; then
  for corpus in "$repo"/tests/fuzz/corpus/*/; do
    targets+=("$(basename "$corpus")")
  done
fi

# New inputs go to a working corpus in the build folder; the seed corpus stays as committed.
mkdir -p "$fuzz_dir/artifacts"
failed=0
for target in "${targets[@]}"; do
  work="$fuzz_dir/corpus/$target"
  log="$fuzz_dir/$target.log"
  mkdir -p "$work"
  if "$fuzz_dir/bin/$target" -max_total_time="$seconds" -print_final_stats=1 \
      -artifact_prefix="$fuzz_dir/artifacts/$target-" "$work" "$repo/tests/fuzz/corpus/$target" \
      >"$log" 2>&1; then
    result=ok
  else
    result=FAILED
    failed=1
    tail -n 40 "$log" >&2
  fi
  execs=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  edges=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1 | cut -d' ' -f2)
  printf '%-24s %-6s %8s execs/s %6s edges (%ss)\n' "$target" "$result" "${execs:-?}" \
    "${edges:-?}" "$seconds"
done
exit "$failed"
