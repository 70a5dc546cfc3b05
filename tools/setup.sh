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

if ! have_all_packages || [[ ! -f /etc/apt/sources.list.d/debian-src.sources ]]; then
  install_packages
fi
fetch_jsoncpp
echo "setup: done"
