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

# Wine's 32-bit half is a 32-bit Linux program. Some machines run none natively; there
# qemu-user runs them, registered for 32-bit ELF files. Where they run natively, nothing is
# added: qemu would only slow Wine down.
i386_runs() {
  /usr/lib/wine/wineserver32 --version >/dev/null 2>&1
}

register_qemu_i386() {
  local binfmt=/proc/sys/fs/binfmt_misc
  [[ -e $binfmt/register ]] || mount -t binfmt_misc binfmt_misc "$binfmt"
  [[ -e $binfmt/qemu-i386 ]] && return
  local magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
  local mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
  echo ":qemu-i386:M::$magic:$mask:/usr/bin/qemu-i386:F" >"$binfmt/register"
}

run_i386_through_qemu() {
  dpkg-query -W -f='${Status}\n' qemu-user 2>/dev/null | grep -q '^install ok installed$' ||
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends qemu-user
  register_qemu_i386
  i386_runs || { echo "setup: 32-bit programs run neither natively nor under qemu" >&2; exit 1; }
}

if ! have_all_packages || [[ ! -f /etc/apt/sources.list.d/debian-src.sources ]]; then
  install_packages
fi
i386_runs || run_i386_through_qemu
fetch_jsoncpp
echo "setup: done"
