#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Copyright The Larkspur developers
#
# The desktop program's --help and --version print and end it, with no
# display to open a window on, also after a Qt option; an unknown option ends
# it with a message. Usage: prints_and_exits.sh LARKSPUR VERSION
set -euo pipefail
larkspur=$1
version=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
check() {  # expected status, text expected in the output, arguments...
  local want=$1 text=$2 status=0
  shift 2
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM HOME="$tmp" XDG_RUNTIME_DIR="$tmp" \
    timeout 60 "$larkspur" "$@" > "$tmp/out" 2>&1 < /dev/null || status=$?
  if [ "$status" -ne "$want" ] || ! grep -qF -- "$text" "$tmp/out"; then
    echo "FAIL: larkspur $*: expected status $want and '$text'; got status $status:"
    sed 's/^/    /' "$tmp/out"
    failures=$((failures + 1))
  fi
}
check 0 "Larkspur $version" --version
check 0 "--version" --help
check 0 "-platform" --help-all
check 0 "Larkspur $version" -style fusion --version
check 1 "Unknown option 'no-such-option'" --help --no-such-option
[ "$failures" -eq 0 ] && echo "larkspur --help and --version print and exit"
