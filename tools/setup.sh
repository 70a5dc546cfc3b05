#!/bin/bash
# Installs everything the build and the tests need on a fresh Debian 12 machine.
# Idempotent: a second run only checks. Run as root.
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
deps="$repo/.deps"
jsoncpp_version="1.9.5"

packages=(
  cmake ninja-build dpkg-dev ccache
  g++-mingw-w64-i686-posix mingw-w64-i686-dev
  googletest
  wine wine32 xvfb xauth
  clang lld llvm libclang-rt-14-dev
)

have_all_packages() {
  dpkg-query -W -f='${Status}\n' "${packages[@]}" 2>/dev/null |
    grep -c '^install ok installed$' | grep -qx "${#packages[@]}"
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
}

install_packages() {
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  add_source_entries
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${packages[@]}"
}

fetch_jsoncpp() {
  [[ -f $deps/jsoncpp/src/lib_json/json_value.cpp ]] && return
  mkdir -p "$deps/download"
  (cd "$deps/download" && apt-get source -q --download-only "libjsoncpp=${jsoncpp_version}-*" ||
    apt-get source -q --download-only libjsoncpp)
  rm -rf "$deps/jsoncpp"
  mkdir -p "$deps/jsoncpp"
  tar -xf "$deps"/download/libjsoncpp_*.orig.tar.* -C "$deps/jsoncpp" --strip-components=1
}

# Wine's 32-bit half is a 32-bit Linux program. A machine that runs none natively cannot run
# it usefully (under qemu a Wine boot stalls), so there the tests run the same sources built
# as 64-bit Windows programs, under a 64-bit Wine unpacked beside the sources: installed, it
# would take the 32-bit Wine's server over.
i386_runs() {
  /usr/lib/wine/wineserver32 --version >/dev/null 2>&1
}

prepare_64bit_tests() {
  local packages64=(g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev libwine:amd64)
  dpkg-query -W -f='${Status}\n' "${packages64[@]}" 2>/dev/null |
    grep -c '^install ok installed$' | grep -qx "${#packages64[@]}" ||
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${packages64[@]}"
  [[ -e $deps/wine64/usr/lib/x86_64-linux-gnu ]] && return
  mkdir -p "$deps/download"
  (cd "$deps/download" && apt-get download -q "wine64=$(dpkg-query -W -f='${Version}' wine32)")
  dpkg -x "$deps"/download/wine64_*.deb "$deps/wine64"
  # The loader finds its libraries (libwine:amd64) and data beside itself.
  ln -sfn /usr/share/wine "$deps/wine64/usr/share/wine"
  ln -sfn /usr/lib/x86_64-linux-gnu "$deps/wine64/usr/lib/x86_64-linux-gnu"
}

if ! have_all_packages || [[ ! -f /etc/apt/sources.list.d/debian-src.sources ]]; then
  install_packages
fi
# A qemu handler for 32-bit programs, which set-ups of this project registered before, only
# makes a stalling 32-bit Wine look usable.
if [[ -e /proc/sys/fs/binfmt_misc/qemu-i386 ]]; then
  echo -1 >/proc/sys/fs/binfmt_misc/qemu-i386
fi
i386_runs || prepare_64bit_tests
fetch_jsoncpp
echo "setup: done"
