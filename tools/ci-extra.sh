#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Copyright The Larkspur developers
# Reliability checks beyond the ordinary test run, for CI and for anyone who
# wants them locally:
#   1. a build with AddressSanitizer and UndefinedBehaviorSanitizer (desktop
#      program left out) and the whole test suite run under them;
#   2. the core tests under valgrind's memcheck: no error, no leak;
#   3. the libFuzzer targets of fuzz/, built with clang and run on their seed
#      corpora for a short while each.
# It installs what it needs (Debian packages; sudo when not root) and stops
# at the first failure.
#
# Environment: LARKSPUR_EXTRA_DIR (build folders, default ./build-extra),
# LARKSPUR_FUZZ_SECONDS (per target, default 30), LARKSPUR_JOBS (default 2).
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$(pwd)
work=${LARKSPUR_EXTRA_DIR:-$source_dir/build-extra}
fuzz_seconds=${LARKSPUR_FUZZ_SECONDS:-30}
jobs=${LARKSPUR_JOBS:-2}
started=$(date +%s)

section() {
  echo
  echo "=== ci-extra: $* ($(( $(date +%s) - started )) s)"
}

section "packages"
LARKSPUR_EXTRA_PACKAGES="valgrind clang-14 libclang-rt-14-dev" ./build.sh deps

# ----- 1. Sanitizers
section "AddressSanitizer + UndefinedBehaviorSanitizer: build"
sanitize="-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all"
cmake -S . -B "$work/asan" -G Ninja -DLARKSPUR_BUILD_GUI=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" \
  -DCMAKE_CXX_FLAGS="$sanitize" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build "$work/asan" -j "$jobs"

section "AddressSanitizer + UndefinedBehaviorSanitizer: whole test suite"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1:check_initialization_order=1 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir "$work/asan" --output-on-failure -j "$jobs"

# ----- 2. valgrind
section "valgrind memcheck: build"
cmake -S . -B "$work/memcheck" -G Ninja -DLARKSPUR_BUILD_GUI=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" >/dev/null
cmake --build "$work/memcheck" -j "$jobs" --target larkspur_core_tests

section "valgrind memcheck: core tests"
valgrind --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite,indirect \
  --show-leak-kinds=definite,indirect --suppressions=tools/valgrind.supp --quiet \
  "$work/memcheck/tests/larkspur_core_tests" --gtest_brief=1

# ----- 3. Fuzzers
section "libFuzzer: build"
cmake -S fuzz -B "$work/fuzz" -G Ninja -DCMAKE_CXX_COMPILER=clang++-14 >/dev/null
cmake --build "$work/fuzz" -j "$jobs"

for target in csv_split csv_convert saving_dat url_escape path_helpers page_head glob robots_rules; do
  section "libFuzzer: $target for $fuzz_seconds s"
  options=(-max_total_time="$fuzz_seconds" -timeout=20 -rss_limit_mb=4096 -print_final_stats=1
           -artifact_prefix="$work/fuzz/$target-")
  case $target in
    csv_*) options+=(-dict=fuzz/csv.dict) ;;
    url_escape) options+=(-dict=fuzz/url.dict) ;;
    page_head) options+=(-dict=fuzz/head.dict) ;;
    glob) options+=(-dict=fuzz/glob.dict) ;;
    robots_rules) options+=(-dict=fuzz/robots.dict) ;;
  esac
  [ "$target" = saving_dat ] && options+=(-max_len=100000)
  # New inputs go to a scratch folder; the seed corpus in the repository stays as it is.
  scratch="$work/fuzz/corpus-$target"
  rm -rf "$scratch"
  mkdir -p "$scratch"
  if ! "$work/fuzz/fuzz_$target" "${options[@]}" "$scratch" "fuzz/corpus/$target" \
       >"$work/fuzz/$target.log" 2>&1; then
    tail -n 60 "$work/fuzz/$target.log"
    echo "ci-extra: fuzz target $target failed; the input is in $work/fuzz/$target-*" >&2
    exit 1
  fi
  grep -E '^(Done|stat::number_of_executed_units)' "$work/fuzz/$target.log" || true
done

section "all passed"
