#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Copyright The Larkspur developers
# How long page dates from the git history take: `larkspur-cli xml --lastmod
# git` (one pass over the history) beside one `git log --name-only` pass over
# the same history, beside the loop other tools run, one
# `git log -1 --format=%ct -- FILE` per page, and beside `xml --lastmod mtime`
# on the same tree.
#
# usage: bench/git_dates.sh [PAGES [COMMITS]]     (default: 20000 2000)
#
# The repository (bench/gen_git_history.cpp: PAGES pages in site/, 50 per
# folder, first committed together, then COMMITS - 1 commits a day apart that
# each change one to eight pages) is generated once with git fast-import and
# kept. The per-page loop takes minutes at this size, so it runs on SAMPLE
# pages spread evenly over the site and its time is scaled to all pages; the
# sample's dates are checked against larkspur-cli's.
#
# Environment: RUNS=3 (medians), SAMPLE=400, BENCH_DIR=/tmp/larkspur-bench,
# LARKSPUR_CLI=path (default: a Release build made here in build-bench/).
set -euo pipefail
cd "$(dirname "$0")/.."

pages=${1:-20000}
commits=${2:-2000}
runs=${RUNS:-3}
sample=${SAMPLE:-400}
bench_dir=${BENCH_DIR:-/tmp/larkspur-bench}
mkdir -p "$bench_dir"

# shellcheck source=bench/common.sh
source bench/common.sh
bench_cli
bench_generator gen_git_history

repo=$bench_dir/git-$pages-$commits
if [ ! -f "$repo.done" ]; then
    rm -rf "$repo"
    echo "generating $repo ..."
    git init -q -b main "$repo"
    "$generator" "$pages" "$commits" | git -C "$repo" fast-import --quiet
    git -C "$repo" reset -q --hard main
    touch "$repo.done"
fi
site=$repo/site

seconds() {
    local t0=$EPOCHREALTIME
    "$@" > /dev/null
    awk -v a="$t0" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.6f\n", b - a }'
}
# Peak resident memory in MiB, from GNU time when it is installed.
peak_mib() {
    if [ -x /usr/bin/time ]; then
        /usr/bin/time -f '%M' "$@" 2>&1 > /dev/null | tail -n 1 | awk '{ printf "%.1f", $1 / 1024 }'
    else
        echo "?"
    fi
}
median() {
    printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'
}

# The pages of the sample, as paths relative to the repository.
mapfile -t all < <(cd "$repo" && git ls-files site | sort)
step=$(( ${#all[@]} / sample )); ((step > 0)) || step=1
picked=()
for ((i = 0; i < ${#all[@]}; i += step)); do picked+=("${all[i]}"); done

per_page_loop() {
    for f in "${picked[@]}"; do git -C "$repo" log -1 --format=%ct -- "$f"; done
}

git_s=() mtime_s=() loop_s=() names_s=()
seconds "$cli" xml "$site" --url https://example.com --lastmod git --output - > /dev/null  # warm-up
for ((r = 0; r < runs; r++)); do
    git_s+=("$(seconds "$cli" xml "$site" --url https://example.com --lastmod git --output -)")
    mtime_s+=("$(seconds "$cli" xml "$site" --url https://example.com --lastmod mtime --output -)")
    names_s+=("$(seconds git -C "$repo" log --name-only --format=%ct -- site)")
    loop_s+=("$(seconds per_page_loop)")
done

# The loop's dates are the ones larkspur-cli writes.
"$cli" xml "$site" --url https://example.com --lastmod git --output - > "$bench_dir/git-dates.xml"
mismatches=0
for f in "${picked[@]}"; do
    day=$(date -u -d "@$(git -C "$repo" log -1 --format=%ct -- "$f")" +%F)
    url="https://example.com/${f#site/}"
    grep -A1 -F "<loc>$url</loc>" "$bench_dir/git-dates.xml" | grep -q "<lastmod>$day</lastmod>" ||
        mismatches=$((mismatches + 1))
done

git_peak=$(peak_mib "$cli" xml "$site" --url https://example.com --lastmod git --output -)
names_peak=$(peak_mib git -C "$repo" log --name-only --format=%ct -- site)

g=$(median "${git_s[@]}")
m=$(median "${mtime_s[@]}")
l=$(median "${loop_s[@]}")
n=$(median "${names_s[@]}")
full=$(awk -v l="$l" -v n="${#picked[@]}" -v p="${#all[@]}" 'BEGIN { printf "%.1f", l / n * p }')
echo "machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo "repository: ${#all[@]} pages, $commits commits; medians of $runs runs"
printf '  %-46s %9.3f s\n' "larkspur-cli xml --lastmod mtime" "$m"
printf '  %-46s %9.3f s\n' "larkspur-cli xml --lastmod git" "$g"
printf '  %-46s %9.3f s\n' "git log --name-only -- site, one pass" "$n"
printf '  %-46s %9.2fx\n' "--lastmod git against that pass" "$(awk -v a="$g" -v b="$n" 'BEGIN { print a / b }')"
printf '  %-46s %9s MiB\n' "peak memory, larkspur-cli xml --lastmod git" "$git_peak"
printf '  %-46s %9s MiB\n' "peak memory, git log --name-only pass" "$names_peak"
printf '  %-46s %9.3f s  (%d pages)\n' "git log -1 per page, sample" "$l" "${#picked[@]}"
printf '  %-46s %9.1f s  (scaled to %d pages)\n' "git log -1 per page, all" "$full" "${#all[@]}"
printf '  %-46s %9.0fx\n' "--lastmod git faster than the loop" "$(awk -v a="$full" -v b="$g" 'BEGIN { print a / b }')"
echo "  sample pages whose date differs from git log -1: $mismatches"
