#!/bin/bash
# Installs everything the build and the tests need on a fresh Debian 12 machine.
# Idempotent: a second run only checks, and apt is touched only for what is missing.
# Run as root. --remove-qemu-i386 also removes the machine's qemu handler for 32-bit programs.
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
deps="$repo/.deps"
jsoncpp_version="1.9.5"
update_attempts=3

build_packages=(
  cmake ninja-build dpkg-dev ccache binutils
  g++-mingw-w64-i686-posix mingw-w64-i686-dev
  googletest xvfb xauth
  clang lld llvm libclang-rt-14-dev
)
wine32_packages=(wine wine32)
wine64_packages=(g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev libwine:amd64)

fail() {
  echo "setup: $1; $2" >&2
  exit 1
}

missing_packages() {
  local package
  for package in "$@"; do
    dpkg-query -W -f='${Status}\n' "$package" 2>/dev/null | grep -qx 'install ok installed' ||
      echo "$package"
  done
}

# A mirror in the middle of a sync fails single indexes for a while: a few tries, then what
# the indexes that did arrive can install is installed.
indexes_updated=false
update_indexes() {
  $indexes_updated && return
  indexes_updated=true
  local attempt
  for attempt in $(seq "$update_attempts"); do
    apt-get update -q >/tmp/launcher-apt-update.log 2>&1 && return
    ((attempt < update_attempts)) && sleep $((attempt * 5))
  done
  echo "setup: apt-get update failed for some indexes (/tmp/launcher-apt-update.log); going on with the others"
}

# install_packages PACKAGE...: installs those missing; false when apt cannot.
install_packages() {
  local missing
  missing=$(missing_packages "$@")
  [[ -z $missing ]] && return 0
  update_indexes
  # shellcheck disable=SC2086
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $missing \
    >>/tmp/launcher-apt-install.log 2>&1
}

# A static 32-bit program that only exits: whether this machine runs such programs itself.
# An enabled qemu handler would run it emulated, where a Wine boot stalls.
i386_runs_natively() {
  local handler=/proc/sys/fs/binfmt_misc/qemu-i386
  if [[ -e $handler ]] && head -n 1 "$handler" | grep -qx enabled; then
    echo "setup: 32-bit programs run only under the machine's qemu handler here (tools/setup.sh --remove-qemu-i386 removes it)"
    return 1
  fi
  local probe
  probe=$(mktemp -d)
  printf '.globl _start\n_start: movl $1, %%eax\n xorl %%ebx, %%ebx\n int $0x80\n' >"$probe/exit.s"
  as --32 "$probe/exit.s" -o "$probe/exit.o" 2>/dev/null &&
    ld -m elf_i386 "$probe/exit.o" -o "$probe/exit" 2>/dev/null &&
    "$probe/exit" 2>/dev/null
  local status=$?
  rm -rf "$probe"
  return $status
}

wine32_works() {
  /usr/lib/wine/wineserver32 --version >/dev/null 2>&1
}

install_wine32() {
  dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
  [[ -n $(missing_packages "${wine32_packages[@]}") ]] && indexes_updated=false
  install_packages "${wine32_packages[@]}" && wine32_works
}

# Where 32-bit Wine cannot run, the tests run the same sources built as 64-bit Windows
# programs under a 64-bit Wine unpacked beside the sources: installed, wine64 would take a
# 32-bit Wine's server over.
prepare_64bit_tests() {
  install_packages "${wine64_packages[@]}" ||
    fail "the 64-bit Wine libraries or compiler could not be installed (/tmp/launcher-apt-install.log)" \
      "try again once the package mirror answers"
  [[ -e $deps/wine64/usr/lib/x86_64-linux-gnu ]] && return
  local version deb
  version=$(dpkg-query -W -f='${Version}' libwine:amd64)
  deb="$deps/download/wine64_${version//:/%3a}_amd64.deb"
  mkdir -p "$deps/download"
  [[ -f $deb ]] || (cd "$deps/download" && apt-get download -q "wine64=$version" >>/tmp/launcher-apt-install.log 2>&1) ||
    fail "wine64 $version could not be downloaded" "try again once the package mirror answers"
  dpkg -x "$deb" "$deps/wine64"
  # The loader finds its libraries (libwine:amd64) and data beside itself.
  ln -sfn /usr/share/wine "$deps/wine64/usr/share/wine"
  ln -sfn /usr/lib/x86_64-linux-gnu "$deps/wine64/usr/lib/x86_64-linux-gnu"
}

add_source_entries() {
  local list=/etc/apt/sources.list.d/debian-src.sources
  [[ -f $list ]] && return
  cat >"$list" <<SRC
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
  indexes_updated=false
}

# The wanted version's tarball, else the newest one downloaded.
jsoncpp_tarball() {
  ls -1 "$deps"/download/libjsoncpp_"$jsoncpp_version".orig.tar.* 2>/dev/null | head -n 1 ||
    true
  ls -1 "$deps"/download/libjsoncpp_*.orig.tar.* 2>/dev/null | sort -V | tail -n 1
}

fetch_jsoncpp() {
  [[ -f $deps/jsoncpp/src/lib_json/json_value.cpp ]] && return
  mkdir -p "$deps/download"
  if [[ -z $(jsoncpp_tarball) ]]; then
    add_source_entries
    update_indexes
    (cd "$deps/download" &&
      { apt-get source -q --download-only "libjsoncpp=${jsoncpp_version}-*" ||
        apt-get source -q --download-only libjsoncpp; } >/dev/null 2>&1) ||
      fail "the JsonCpp sources could not be downloaded" "try again once the package mirror answers"
  fi
  rm -rf "$deps/jsoncpp"
  mkdir -p "$deps/jsoncpp"
  tar -xf "$(jsoncpp_tarball | head -n 1)" -C "$deps/jsoncpp" --strip-components=1
}

if [[ ${1:-} == --remove-qemu-i386 && -e /proc/sys/fs/binfmt_misc/qemu-i386 ]]; then
  echo -1 >/proc/sys/fs/binfmt_misc/qemu-i386
fi
install_packages "${build_packages[@]}" ||
  fail "the build tools could not be installed (/tmp/launcher-apt-install.log)" \
    "check the package mirror with apt-get update, then run tools/setup.sh again"
if ! wine32_works; then
  if [[ -e $deps/wine64/usr/lib/x86_64-linux-gnu ]]; then
    # Chosen by an earlier run: delete .deps/wine64 to try 32-bit Wine again.
    echo "setup: the tests run a 64-bit build under 64-bit Wine (.deps/wine64)"
    prepare_64bit_tests
  elif ! i386_runs_natively; then
    echo "setup: this machine runs no 32-bit programs: the tests run a 64-bit build under 64-bit Wine"
    prepare_64bit_tests
  elif ! install_wine32; then
    echo "setup: 32-bit Wine cannot be installed now (/tmp/launcher-apt-install.log): the tests run a 64-bit build under 64-bit Wine"
    prepare_64bit_tests
  fi
fi
fetch_jsoncpp
echo "setup: done"
