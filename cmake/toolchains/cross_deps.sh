#!/usr/bin/env bash
# Prepares the target's OpenSSL and GoogleTest for a cross build:
#   cross_deps.sh <debian-arch> <gnu-triple>
# into build/cross-deps/<triple> (or $NORVEK_CROSS_DEPS). Debian's libssl
# packages for the target are fetched with apt-get download using a private
# apt state (the host's dpkg architectures and package lists are left alone)
# and unpacked with dpkg -x. GoogleTest is built from /usr/src/googletest
# (package googletest) with the matching toolchain file. Safe to re-run: a
# finished step is skipped.
set -euo pipefail
arch="$1" triple="$2"
here="$(cd "$(dirname "$0")" && pwd)"
deps="${NORVEK_CROSS_DEPS:-$here/../../build/cross-deps/$triple}"
mkdir -p "$deps"
deps="$(cd "$deps" && pwd)"

if [ ! -f "$deps/sysroot/.done" ]; then
  apt_dir="$deps/apt"
  mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$deps/debs"
  apt_opts=(-q -o "APT::Architecture=$arch" -o "APT::Architectures::=$arch"
            -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache"
            -o "Dir::State::status=/dev/null" -o "Debug::NoLocking=1"
            -o "APT::Sandbox::User=root")
  apt-get "${apt_opts[@]}" update >/dev/null
  (cd "$deps/debs" && apt-get "${apt_opts[@]}" download libssl-dev libssl3)
  rm -rf "$deps/sysroot"
  for deb in "$deps"/debs/*.deb; do dpkg -x "$deb" "$deps/sysroot"; done
  touch "$deps/sysroot/.done"
fi

if [ ! -f "$deps/gtest/.done" ]; then
  [ -f /usr/src/googletest/CMakeLists.txt ] || { echo "needs the googletest package"; exit 1; }
  cmake -S /usr/src/googletest -B "$deps/gtest-build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$here/$triple.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$deps/gtest" -DBUILD_GMOCK=OFF -DINSTALL_GTEST=ON >/dev/null
  cmake --build "$deps/gtest-build" -j2
  cmake --install "$deps/gtest-build" >/dev/null
  touch "$deps/gtest/.done"
fi
