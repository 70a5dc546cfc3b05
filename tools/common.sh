# Shared steps of the project's scripts; sourced, not run.

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="${LAUNCHER_BUILD_DIR:-$repo/build}"
export LAUNCHER_WINEPREFIX="$build_dir/wineprefix"

setup_machine() {
  if [[ $(id -u) -eq 0 ]]; then
    bash "$repo/tools/setup.sh"
  else
    sudo bash "$repo/tools/setup.sh"
  fi
}

# Compiles are cached across build folders and checkouts of the same machine.
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$(dirname "$repo")}"

# The Wine the tests run under, and the build it runs: 32-bit where the machine runs 32-bit
# programs, otherwise the 64-bit Wine that setup.sh unpacked, with a 64-bit build of the same
# sources.
select_wine() {
  if /usr/lib/wine/wineserver32 --version >/dev/null 2>&1; then
    export WINEARCH=win32
    wine_loader=wine
    wineserver_bin=wineserver
    target_arch=i686
  else
    unset WINEARCH
    wine_loader="$repo/.deps/wine64/usr/lib/wine/wine64"
    export WINESERVER="$repo/.deps/wine64/usr/lib/wine/wineserver64"
    wineserver_bin=$WINESERVER
    target_arch=x86_64
  fi
}

# The build with DCHECKs evaluated, in a folder of its own inside the build folder; its tests
# run in the same Wine prefix.
dchecks_build_dir="$build_dir/dchecks"

# A build folder configured for the other processor keeps its cached compiler whatever
# toolchain file is given: its configuration starts over.
forget_other_processor() {
  local cache=$1/CMakeCache.txt
  if [[ -f $cache ]] && ! grep -q "^CMAKE_LINKER:FILEPATH=.*/${target_arch}-w64-mingw32-ld$" "$cache"; then
    rm -rf "$cache" "$1/CMakeFiles"
  fi
}

# build_in FOLDER [cmake options...]: a release build of everything in FOLDER.
build_in() {
  local folder=$1
  shift
  forget_other_processor "$folder"
  cmake -S "$repo" -B "$folder" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/${target_arch}-w64-mingw32.cmake" \
    -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache \
    -DCMAKE_BUILD_TYPE=Release \
    -DLAUNCHER_WINEPREFIX="$LAUNCHER_WINEPREFIX" "$@" >/dev/null
  cmake --build "$folder"
}

build_all() {
  build_in "$build_dir"
}

build_with_dchecks() {
  build_in "$dchecks_build_dir" -DLAUNCHER_DCHECKS=ON
}

# Message boxes and windows need an X display: a private Xvfb serves one.
start_display() {
  local display
  for display in $(seq 91 140); do
    [[ -e /tmp/.X11-unix/X$display || -e /tmp/.X$display-lock ]] && continue
    Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    sleep 1
    if kill -0 "$xvfb_pid" 2>/dev/null; then
      export DISPLAY=":$display"
      return
    fi
  done
  echo "no free X display for Xvfb" >&2
  return 1
}

# Everything a run needs: the machine set up, the build done, a display and a Wine prefix,
# with Wine and the display ended when the calling script exits.
prepare_to_run() {
  setup_machine
  select_wine
  build_all
  start_display
  trap stop_wine EXIT
  prepare_wine
}

# timed STEP COMMAND...: runs COMMAND, then prints how long STEP took.
timed() {
  local step=$1 start=$SECONDS
  shift
  "$@"
  echo "== $step: $((SECONDS - start)) s"
}

# The prefix's server, the services it starts with the first program and the desktop process
# stay up for the whole run instead of starting again for every test program. Wine's helpers
# inherit the output of the program that starts them, so they start here, tied to no test:
# a test program whose output they held would look unfinished to CTest until they end.
prepare_wine() {
  "$repo/tools/wine-run.sh" cmd /c exit 0 >/dev/null 2>&1 || true
  WINEPREFIX="$LAUNCHER_WINEPREFIX" "$wineserver_bin" -w 2>/dev/null || true
  WINEPREFIX="$LAUNCHER_WINEPREFIX" "$wineserver_bin" -p 2>/dev/null || true
  "$repo/tools/wine-run.sh" cmd /c exit 0 >/dev/null 2>&1 || true
  hold_wine_desktop
}

# Seconds the desktop process may take to come up on a loaded machine.
desktop_start_timeout=120

# Starts the build's wine_desktop.exe, which makes the desktop and holds it until stop_wine,
# and waits until it has.
hold_wine_desktop() {
  local report="$build_dir/wine_desktop.out" deadline=$((SECONDS + desktop_start_timeout))
  rm -f "$report"
  "$repo/tools/wine-run.sh" "$build_dir/bin/wine_desktop.exe" </dev/null >"$report" 2>/dev/null &
  local holder=$!
  until grep -q '^desktop ready' "$report" 2>/dev/null; do
    if ! kill -0 "$holder" 2>/dev/null || ((SECONDS >= deadline)); then
      echo "the Wine desktop did not start (wine_desktop.exe, within $desktop_start_timeout s)" >&2
      return 1
    fi
    sleep 0.2
  done
}

# Ends the wineserver of the project's prefix, with every Wine process in it, and Xvfb.
stop_wine() {
  WINEPREFIX="$LAUNCHER_WINEPREFIX" "$wineserver_bin" -k 2>/dev/null || true
  WINEPREFIX="$LAUNCHER_WINEPREFIX" "$wineserver_bin" -w 2>/dev/null || true
  if [[ -n ${xvfb_pid:-} ]]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
}
