#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Copyright The Larkspur developers
# Sets up a Debian machine for Larkspur, builds it, and then runs the program
# ("./build.sh run") or the whole test suite ("./build.sh test"); "./build.sh
# package" builds the Debian packages larkspur-cli_VERSION_amd64.deb (the
# command line) and larkspur_VERSION_amd64.deb (the desktop program) into the
# build folder; "./build.sh deps" only installs the packages.
set -euo pipefail
cd "$(dirname "$0")"

action=${1:-run}
build_dir=${LARKSPUR_BUILD_DIR:-build}
packages=(build-essential cmake ninja-build qt6-base-dev qt6-base-dev-tools libgtest-dev libgmock-dev libxml2-utils
          libgit2-dev zlib1g-dev pkg-config git libidn2-dev libxml2-dev)
# The manual page, completion and desktop metadata checks, and the package.
packages+=(bash-completion man-db desktop-file-utils appstream dpkg-dev)
# Further Debian packages a caller needs (the sanitizer and fuzzing checks).
read -r -a extra_packages <<< "${LARKSPUR_EXTRA_PACKAGES:-}"
packages+=("${extra_packages[@]}")

install_packages() {
  local missing=()
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "${missing[@]}"
}

# Debian's compiler and linker flags, the ones its packages are built with,
# hardening in full (fortify, stack protector, read-only relocations,
# immediate binding): for the package, and for the tests so that they test
# the code as packaged. The package leaves the tests out; with the same flags
# for both, going from one to the other compiles no file again.
configure() {  # ON or OFF: whether the tests are built
  flags() { DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get "$1"; }
  cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLARKSPUR_BUILD_TESTS="$1" \
    -DCMAKE_CXX_FLAGS="$(flags CPPFLAGS) $(flags CXXFLAGS)" -DCMAKE_EXE_LINKER_FLAGS="$(flags LDFLAGS)" \
    -DCMAKE_SHARED_LINKER_FLAGS="$(flags LDFLAGS)" -DCMAKE_MODULE_LINKER_FLAGS="$(flags LDFLAGS)"
}

build() {
  configure ON
  cmake --build "$build_dir"
}

case "$action" in
  deps)
    install_packages
    ;;
  run)
    install_packages
    build
    shift || true
    exec "$build_dir/src/app/larkspur" "$@"
    ;;
  test)
    install_packages
    build
    ctest --test-dir "$build_dir" --output-on-failure -j2
    ;;
  package)
    install_packages
    configure OFF
    cmake --build "$build_dir"
    (cd "$build_dir" && cpack -G DEB)
    ;;
  *)
    echo "usage: $0 run|test|package|deps" >&2
    exit 2
    ;;
esac
