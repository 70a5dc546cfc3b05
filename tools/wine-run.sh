#!/bin/bash
# Runs a Windows program of the build under Wine, in the project's own prefix inside the
# build tree (never the user's). CTest uses it as the cross-compiling emulator.
# Usage: tools/wine-run.sh PROGRAM.exe [ARGS...]
set -euo pipefail

callers_prefix="${LAUNCHER_WINEPREFIX:-}"
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
select_wine
export WINEPREFIX="${callers_prefix:-$repo/build/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"

# A fresh prefix takes minutes where Wine runs under qemu: the first prefix made on a machine
# is kept as a template, and every later one starts as a copy of it.
template="${LAUNCHER_WINE_TEMPLATE:-/var/tmp/launcher-wineprefix-$target_arch}"

# A crashing test process must end instead of waiting in the crash debugger: the
# AeDebug debugger is set to a program that does not exist, so an unhandled exception
# ends the process with the exception code as its exit code.
# A boot that outlasts Wine's own wait (a loaded machine under emulation) is run once more.
create_prefix() {
  WINEDLLOVERRIDES="mscoree,mshtml=" "$wine_loader" wineboot --init >/dev/null 2>&1 ||
    WINEDLLOVERRIDES="mscoree,mshtml=" "$wine_loader" wineboot --init >/dev/null 2>&1
  "$wine_loader" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
    /v Debugger /t REG_SZ /d 'no-crash-debugger.exe %ld %ld' /f >/dev/null 2>&1
  "$wine_loader" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
    /v Auto /t REG_SZ /d 1 /f >/dev/null 2>&1
  "$wine_loader" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  touch "$WINEPREFIX/.prepared"
}

# Copies the settled prefix (its server gone) as the template, unless one exists.
save_template() {
  "$wineserver_bin" -w
  exec 8>"$template.lock"
  flock 8
  if [[ ! -f $template/.prepared ]]; then
    rm -rf "$template.new"
    cp -a "$WINEPREFIX" "$template.new" && mv "$template.new" "$template"
  fi
  flock -u 8
  exec 8>&-
}

prepare_prefix() {
  [[ -f $WINEPREFIX/.prepared ]] && return
  mkdir -p "$(dirname "$WINEPREFIX")"
  exec 9>"$WINEPREFIX.lock"
  flock 9
  if [[ ! -f $WINEPREFIX/.prepared ]]; then
    if [[ -f $template/.prepared ]]; then
      rm -rf "$WINEPREFIX"
      cp -a "$template" "$WINEPREFIX"
    else
      create_prefix
      save_template
    fi
  fi
  flock -u 9
  exec 9>&-
}

prepare_prefix
exec "$wine_loader" "$@"
