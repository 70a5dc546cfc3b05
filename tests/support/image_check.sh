#!/bin/bash
# Checks a built Windows image with the toolchain's objdump: it imports every function named
# with --import.
# Usage: image_check.sh OBJDUMP IMAGE [--import FUNCTION]...
set -euo pipefail

objdump=$1
image=$2
shift 2
failed=0

fail() {
  echo "$image: $*" >&2
  failed=1
}

imported_functions() {
  "$objdump" -p "$image" |
    awk '/^The Import Tables/ { on = 1 } /^The Export Tables/ { on = 0 } on && NF >= 3 { print $NF }'
}

while (($#)); do
  case $1 in
    --import)
      imported_functions | grep -qx "$2" || fail "does not import $2"
      shift 2
      ;;
    *)
      echo "usage: image_check.sh OBJDUMP IMAGE [--import FUNCTION]..." >&2
      exit 2
      ;;
  esac
done
exit "$failed"
