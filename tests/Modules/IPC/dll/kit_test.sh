#!/bin/bash
# The integrator kit as an integrator meets it, one step per CTest test:
#   kit_test.sh install  BUILD_DIR KIT_DIR POINTER_SIZE
#                                                   lays the kit out with cmake --install; its
#                                                   package takes only consumers of POINTER_SIZE,
#                                                   and Launcher.exe exports the ten functions
#   kit_test.sh msvc     KIT_DIR WORK_DIR SOURCE PROCESSOR
#                                                   an MSVC-ABI caller for PROCESSOR (i686 or
#                                                   x86_64) links with the .lib and imports
#                                                   only names the DLL exports
#   kit_test.sh msvc_run KIT_DIR WORK_DIR           runs it, called back by the DLL
#   kit_test.sh consumer KIT_DIR WORK_DIR EXAMPLES TOOLCHAIN
#                                                   builds the examples with find_package,
#                                                   linked through the MinGW .a
#   kit_test.sh echo     WORK_DIR                   runs the echo pair of that build
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/../../../.." && pwd)"
dll_name="IPC_Broker.dll"
answer_timeout=120

fail() {
  echo "kit_test: $*" >&2
  exit 1
}

install_kit() {
  local build_dir=$1 kit=$2 pointer_size=$3
  rm -rf "$kit"
  cmake --install "$build_dir" --prefix "$kit" >/dev/null
  local file
  for file in bin/$dll_name bin/Launcher.exe bin/ipccat.exe include/IPC_Broker.h \
      lib/IPC_Broker.lib lib/libIPC_Broker.dll.a lib/cmake/IPC_Broker/IPC_BrokerConfig.cmake \
      lib/cmake/IPC_Broker/IPC_BrokerConfigVersion.cmake; do
    [[ -f $kit/$file ]] || fail "the kit lacks $file"
  done
  check_pointer_size "$kit" "$pointer_size"
  check_launcher_exports "$kit"
}

# Launcher.exe carries the broker too: its export table holds the ten functions, under the
# names the DLL gives them.
check_launcher_exports() {
  local kit=$1 names
  names="$(exported_names "$kit/bin/Launcher.exe")"
  [[ $(wc -l <<<"$names") -eq 10 ]] || fail "Launcher.exe exports: $names"
  local missing
  missing="$(comm -23 <(echo "$names") <(exported_names "$kit/bin/$dll_name"))"
  [[ -z $missing ]] || fail "Launcher.exe exports what the DLL does not: $missing"
}

# The package's version file, asked as find_package asks it by consumers of either pointer
# size, takes only those of the kit's.
check_pointer_size() {
  local kit=$1 pointer_size=$2 size
  local probe="$kit/../version_probe.cmake"
  cat >"$probe" <<PROBE
set(PACKAGE_FIND_VERSION 1.0)
set(PACKAGE_FIND_VERSION_MAJOR 1)
include("$kit/lib/cmake/IPC_Broker/IPC_BrokerConfigVersion.cmake")
message("\${PACKAGE_VERSION_COMPATIBLE} \${PACKAGE_VERSION_UNSUITABLE}")
PROBE
  for size in 4 8; do
    local expected="TRUE " answer
    [[ $size == "$pointer_size" ]] || expected="TRUE TRUE"
    answer="$(cmake -DCMAKE_SIZEOF_VOID_P="$size" -P "$probe" 2>&1)"
    [[ $answer == "$expected" ]] || fail "a $size-byte consumer is answered '$answer'"
  done
}

# The names a PE file imports from the broker DLL, and the names the DLL exports.
imported_names() {
  llvm-readobj --coff-imports "$1" |
    awk -v dll="$dll_name" '/Name: /{inside = ($2 == dll)} inside && /Symbol: /{print $2}' | sort
}

exported_names() {
  llvm-readobj --coff-exports "$1" | awk '/Name: /{print $2}' | sort
}

check_msvc_caller() {
  local kit=$1 work=$2 source=$3 processor=$4
  rm -rf "$work" && mkdir -p "$work"
  clang --target="$processor-pc-windows-msvc" -std=c++17 -O1 -Wall -Wextra -Werror \
    -DIPC_BROKER_DLL -I "$kit/include" -c "$source" -o "$work/caller.obj"
  lld-link /nologo /entry:Start /subsystem:console /nodefaultlib /safeseh:no \
    /out:"$work/caller.exe" "$work/caller.obj" "$kit/lib/IPC_Broker.lib" \
    "/usr/$processor-w64-mingw32/lib/libkernel32.a"
  imported_names "$work/caller.exe" >"$work/imported"
  exported_names "$kit/bin/$dll_name" >"$work/exported"
  [[ $(wc -l <"$work/imported") -eq 10 ]] || fail "the caller imports $(cat "$work/imported")"
  local missing
  missing="$(comm -23 "$work/imported" "$work/exported")"
  [[ -z $missing ]] || fail "the DLL does not export: $missing"
  cp "$kit/bin/$dll_name" "$work/"
}

# The caller serves a name; ipccat, a MinGW program, sends it one message once it is up.
run_msvc_caller() {
  local kit=$1 work=$2 name="kit-msvc-$$-$RANDOM"
  "$repo/tools/wine-run.sh" "$work/caller.exe" "$name" &
  local caller=$!
  trap "kill $caller 2>/dev/null || true" EXIT
  local deadline=$((SECONDS + answer_timeout))
  until "$repo/tools/wine-run.sh" "$kit/bin/ipccat.exe" send "$name" ping >/dev/null 2>&1; do
    ((SECONDS < deadline)) || fail "the MSVC-built caller did not serve $name"
    kill -0 "$caller" 2>/dev/null || fail "the MSVC-built caller ended early"
  done
  local code=0
  wait "$caller" || code=$?
  ((code == 0)) || fail "the MSVC-built caller counted $code failures"
}

run_echo_pair() {
  local bin=$1 name="kit-echo-$$-$RANDOM"
  "$repo/tools/wine-run.sh" "$bin/echo_server.exe" "$name" 1 >"$bin/server.out" 2>&1 &
  local server=$!
  trap "kill $server 2>/dev/null || true" EXIT
  local tries
  for tries in $(seq 1 $((answer_timeout * 5))); do
    grep -q "^serving $name" "$bin/server.out" && break
    kill -0 "$server" 2>/dev/null || fail "the echo server ended: $(cat "$bin/server.out")"
    sleep 0.2
  done
  grep -q "^serving $name" "$bin/server.out" || fail "the echo server did not start"
  local answer
  answer="$(timeout "$answer_timeout" "$repo/tools/wine-run.sh" "$bin/echo_client.exe" "$name" \
    "hello kit")" || fail "the echo client failed: $answer"
  # The console's text mode ends lines in CR LF.
  [[ ${answer%$'\r'} == "answer: hello kit" ]] || fail "the echo client got: $answer"
  timeout "$answer_timeout" tail --pid="$server" -f /dev/null || fail "the echo server did not end"
  wait "$server" || fail "the echo server failed"
}

build_consumer() {
  local kit=$1 work=$2 examples=$3 toolchain=$4
  rm -rf "$work"
  # The programs carry their C++ runtime, as the kit's own do, so they run from any folder.
  cmake -S "$examples" -B "$work" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_PREFIX_PATH="$kit" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_EXE_LINKER_FLAGS="-static -static-libgcc -static-libstdc++" >/dev/null
  cmake --build "$work" >/dev/null
  [[ -f $work/$dll_name ]] || fail "the DLL was not copied beside the programs"
}

step=$1
shift
case $step in
  install) install_kit "$@" ;;
  msvc) check_msvc_caller "$@" ;;
  msvc_run) run_msvc_caller "$@" ;;
  consumer) build_consumer "$@" ;;
  echo) run_echo_pair "$@" ;;
  *) fail "unknown step $step" ;;
esac
