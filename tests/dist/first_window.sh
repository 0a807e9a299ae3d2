#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Copyright The Larkspur developers
# Starts the desktop program as a person would, on the offscreen platform,
# and checks which window it shows first: the main window when the settings
# name a working directory, the first-start dialog when they don't. A probe
# plugin reports the first window shown and closes it, and the program must
# then end cleanly. Usage: first_window.sh LARKSPUR PROBE-PLUGIN-DIR
set -euo pipefail
larkspur=$1
probe_dir=$(realpath "$2")
[ -e "$probe_dir/generic/liblarkspur_shown_probe.so" ] || { echo "no probe plugin in $probe_dir/generic"; exit 1; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
run() {  # expected window class, home
  local status=0 shown
  HOME=$2 XDG_CONFIG_HOME=$2/.config XDG_RUNTIME_DIR=$tmp/runtime QT_QPA_PLATFORM=offscreen \
    QT_PLUGIN_PATH=$probe_dir QT_QPA_GENERIC_PLUGINS=larkspurshownprobe \
    timeout 120 "$larkspur" > "$tmp/out" 2>&1 < /dev/null || status=$?
  shown=$(sed -n 's/^shown: //p' "$tmp/out")
  if [ "$status" -ne 0 ] || [ "$shown" != "$1" ]; then
    echo "FAIL: expected $1 shown and a clean end; got '${shown:-no window}', status $status:"
    sed 's/^/    /' "$tmp/out"
    failures=$((failures + 1))
  else
    echo "$larkspur showed $shown and ended when it was closed"
  fi
}

mkdir -p -m 700 "$tmp/runtime"
mkdir -p "$tmp/set/.config/Brindle" "$tmp/work" "$tmp/new"
printf '[General]\nworking%%20directory=%s\n' "$tmp/work" > "$tmp/set/.config/Brindle/Larkspur.conf"
run larkspur::MainDialog "$tmp/set"
run larkspur::SelectSavingDirectoryDialog "$tmp/new"
[ "$failures" -eq 0 ]
