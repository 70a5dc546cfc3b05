#!/bin/bash
# Checks a built Windows image with the toolchain's objdump: it imports every function named
# with --import, and with --tls-callback its TLS directory lists the runtime's thread-exit
# callback p_thread_callback_base, which the loader calls when it lies between the CRT's
# markers __xl_a and __xl_z.
# Usage: image_check.sh OBJDUMP IMAGE [--import FUNCTION]... [--tls-callback]
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

# "section offset" of symbol $1, whatever leading underscores the processor adds.
symbol() {
  "$objdump" -t "$image" |
    sed -n 's/.*(sec *\([0-9]*\)).* 0x\([0-9a-f]*\) _*\([A-Za-z].*\)$/\1 \2 \3/p' |
    awk -v want="$1" '$3 == want { print $1, $2; exit }'
}

check_tls_callback() {
  "$objdump" -p "$image" | grep 'Thread Storage Directory \[.tls\]' >/dev/null ||
    fail "no TLS directory"
  local first_sec first callback_sec callback last_sec last
  read -r first_sec first <<<"$(symbol xl_a)" || true
  read -r callback_sec callback <<<"$(symbol p_thread_callback_base)" || true
  read -r last_sec last <<<"$(symbol xl_z)" || true
  if [[ -z $callback || -z $first || -z $last ]]; then
    fail "p_thread_callback_base is not linked"
  elif [[ $first_sec != "$callback_sec" || $last_sec != "$callback_sec" ]] ||
    ((16#$callback <= 16#$first || 16#$callback >= 16#$last)); then
    fail "p_thread_callback_base lies outside the TLS callback list"
  fi
}

while (($#)); do
  case $1 in
    --import)
      imported_functions | grep -x "$2" >/dev/null || fail "does not import $2"
      shift 2
      ;;
    --tls-callback)
      check_tls_callback
      shift
      ;;
    *)
      echo "usage: image_check.sh OBJDUMP IMAGE [--import FUNCTION]... [--tls-callback]" >&2
      exit 2
      ;;
  esac
done
exit "$failed"
