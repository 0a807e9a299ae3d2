#!/usr/bin/env bash
# Larkspur's benchmark: how long larkspur-cli takes to walk a large site and
# write its sitemaps, next to the time `find` needs just to list the same
# files (the walk's lower bound on this machine); also with every page's head
# read (--respect-robots --canonical-only), and `check` of the sitemap `xml`
# has just written, whose time it sets beside that of `xml` (the aim: at
# most twice). bench/git_dates.sh times dates from git.
#
# usage: bench/run.sh [PAGES...]          (default: 10000 200000)
#
# For each PAGES it generates a deterministic synthetic site (bench/gen_site.cpp:
# PAGES pages plus 30 % other files, about 50 entries per folder, up to 6 deep,
# 2 % empty files, some odd names), warms the cache, then runs every command
# RUNS times, round by round, and prints the medians of wall time and of CPU
# time, their ratio to find, and the peak memory (maximum resident set size
# from /usr/bin/time). The benchmark only prints figures; it asserts nothing.
#
# Environment:
#   RUNS=5                 runs per command (the median is reported)
#   BENCH_DIR=/tmp/larkspur-bench   where the sites are generated and kept
#   LARKSPUR_CLI=path      the binary to time (default: a Release build made
#                          here in build-bench/)
#   PEER=0                 skip the npm peer tool (static-sitemap-cli)
set -euo pipefail
cd "$(dirname "$0")/.."

runs=${RUNS:-5}
bench_dir=${BENCH_DIR:-/tmp/larkspur-bench}
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(10000 200000)

if [ ! -x /usr/bin/time ]; then
    echo "bench: /usr/bin/time is missing (Debian package 'time')" >&2
    exit 1
fi

mkdir -p "$bench_dir"

# ----- the binaries

# shellcheck source=bench/common.sh
source bench/common.sh
bench_cli
bench_generator gen_site

# An independent static-site sitemap generator from the npm registry, where
# Node.js is present: static-sitemap-cli, told to list .html and .htm files
# without reading them (--no-robots), as larkspur-cli does.
peer=""
if [ "${PEER:-1}" != 0 ] && command -v node > /dev/null && command -v npm > /dev/null; then
    if [ ! -x "$bench_dir/npm/node_modules/.bin/sscli" ]; then
        npm install --prefix "$bench_dir/npm" --no-audit --no-fund --loglevel=error \
            static-sitemap-cli@2.2.8 > "$bench_dir/npm.log" 2>&1 || true
    fi
    if [ -x "$bench_dir/npm/node_modules/.bin/sscli" ]; then
        peer=$bench_dir/npm/node_modules/.bin/sscli
    else
        echo "(static-sitemap-cli could not be installed; see $bench_dir/npm.log)"
    fi
fi

# ----- measuring

# Times one run of a command: sets $elapsed_s, $cpu_s (user + system time)
# and $rss_kib (maximum resident set size).
time_once() {
    local t0 t1
    t0=$EPOCHREALTIME
    if ! /usr/bin/time -f '%M %U %S' -o "$bench_dir/time.out" "$@" > /dev/null 2> "$bench_dir/stderr.out"; then
        echo "bench: failed: $*" >&2
        cat "$bench_dir/stderr.out" >&2
        exit 1
    fi
    t1=$EPOCHREALTIME
    elapsed_s=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.6f", b - a }')
    read -r rss_kib user_s system_s < <(tail -n 1 "$bench_dir/time.out")
    cpu_s=$(awk -v u="$user_s" -v s="$system_s" 'BEGIN { printf "%.2f", u + s }')
}

median() {
    printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END {
        if (NR % 2) print v[(NR + 1) / 2]; else printf "%.6f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

declare -A result_s result_cpu

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | sed 's/.*: //'), $(awk '/MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo)"
echo "larkspur-cli: $cli"
echo "runs per command: $runs after one warm-up run, interleaved; medians of wall time and of"
echo "CPU time (user + system); peak memory is the largest maximum resident set size"
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"

for pages in "${sizes[@]}"; do
    site=$bench_dir/site-$pages
    if [ ! -f "$bench_dir/site-$pages.done" ]; then
        rm -rf "$site"
        echo "generating $site ..."
        "$generator" "$site" "$pages" > "$bench_dir/site-$pages.new"
        mv "$bench_dir/site-$pages.new" "$bench_dir/site-$pages.done"
    fi

    labels=(find stats xml check txt csv "xml --output -" "xml --exclude x10 --url-style clean" "xml --respect-robots --canonical-only")
    # Ten patterns of the kinds sites use: folders, names anywhere, anchored
    # paths, "**", classes.
    exclusions=""
    for pattern in drafts/ 404.html '/private/**' '*.bak.html' tmp/ '**/old/*.html' '[_]*.html' \
        'test?.html' /admin/ node_modules/; do
        exclusions+=" --exclude $(printf '%q' "$pattern")"
    done
    commands=(
        "find $(printf '%q' "$site") -type f -printf '%s %T@ %p\n'"
        "$(printf '%q' "$cli") stats $(printf '%q' "$site")"
        "$(printf '%q' "$cli") xml $(printf '%q' "$site") --url https://example.com"
        # Right after xml, which has just written the sitemap it reads.
        "$(printf '%q' "$cli") check $(printf '%q' "$site") --url https://example.com"
        "$(printf '%q' "$cli") txt $(printf '%q' "$site") --url https://example.com"
        "$(printf '%q' "$cli") csv $(printf '%q' "$site") --url https://example.com"
        "$(printf '%q' "$cli") xml $(printf '%q' "$site") --url https://example.com --output -"
        "$(printf '%q' "$cli") xml $(printf '%q' "$site") --url https://example.com$exclusions --url-style clean"
        "$(printf '%q' "$cli") xml $(printf '%q' "$site") --url https://example.com --respect-robots --canonical-only --output -"
    )
    if [ -n "$peer" ]; then
        labels+=("static-sitemap-cli (npm peer)")
        commands+=("$(printf '%q' "$peer") --base https://example.com --root $(printf '%q' "$site") --match '**/*.html' '**/*.htm' --no-robots --no-clean --format xml --stdout")
    fi

    # Round by round, every command once per round, so that a change of
    # load on the machine touches all of them alike.
    declare -A times=() cpus=() peak=()
    for ((r = 0; r <= runs; r++)); do
        for i in "${!commands[@]}"; do
            # The peer is slow; on the large site it runs only three times.
            if [[ ${labels[i]} == static* ]] && ((pages > 50000 && r > 3)); then continue; fi
            eval "set -- ${commands[i]}"
            time_once "$@"
            ((r == 0)) && continue  # warm-up
            times[$i]+="$elapsed_s "
            cpus[$i]+="$cpu_s "
            ((rss_kib > ${peak[$i]:-0})) && peak[$i]=$rss_kib
        done
    done

    echo
    echo "N = $pages pages: $(cat "$bench_dir/site-$pages.done")"
    printf '  %-32s %10s %8s %10s %8s %12s\n' "command" "wall" "vs find" "cpu" "vs find" "peak memory"
    find_s=""
    find_cpu=""
    for i in "${!commands[@]}"; do
        # shellcheck disable=SC2086
        m=$(median ${times[$i]})
        # shellcheck disable=SC2086
        c=$(median ${cpus[$i]})
        [ -n "$find_s" ] || find_s=$m
        [ -n "$find_cpu" ] || find_cpu=$c
        result_s[${labels[i]},$pages]=$m
        result_cpu[${labels[i]},$pages]=$c
        name=${labels[i]}
        [[ $name == static* ]] || [[ $name == find ]] || name="larkspur-cli $name"
        [[ $name == find ]] && name="find -type f -printf"
        printf '  %-32s %8.3f s %7.2fx %8.2f s %7.2fx %8.1f MiB\n' "$name" "$m" \
            "$(awk -v a="$m" -v b="$find_s" 'BEGIN { print a / b }')" "$c" \
            "$(awk -v a="$c" -v b="$find_cpu" 'BEGIN { print (b > 0 ? a / b : 0) }')" \
            "$(awk -v k="${peak[$i]}" 'BEGIN { print k / 1024 }')"
    done
    printf '  check / xml: %.2fx wall, %.2fx cpu (aim: at most 2x)\n' \
        "$(awk -v a="${result_s[check,$pages]}" -v b="${result_s[xml,$pages]}" 'BEGIN { print a / b }')" \
        "$(awk -v a="${result_cpu[check,$pages]}" -v b="${result_cpu[xml,$pages]}" 'BEGIN { print (b > 0 ? a / b : 0) }')"
    unset times cpus peak
done
echo
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"

# Growth from the smallest to the largest site, when both were run.
if [ ${#sizes[@]} -ge 2 ]; then
    small=${sizes[0]}
    large=${sizes[-1]}
    echo
    echo "growth from N = $small to N = $large ($(awk -v a="$large" -v b="$small" 'BEGIN { print a / b }')x the pages):"
    for cmd in find stats xml txt csv; do
        printf '  %-8s %6.1fx\n' "$cmd" "$(awk -v a="${result_s[$cmd,$large]}" -v b="${result_s[$cmd,$small]}" 'BEGIN { print a / b }')"
    done
fi
