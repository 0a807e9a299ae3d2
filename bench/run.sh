#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Copyright The Larkspur developers
# Larkspur's benchmark: how long larkspur-cli takes to walk a large site and
# write its sitemaps, next to the time `find` needs just to list the same
# files with their size and time (one thread's lower bound on this machine),
# and next to two `find`s on the two halves of the tree at once (what two
# threads could do); also with every page's head read (--respect-robots
# --canonical-only), on one thread (--jobs 1), and with exclusions on a chain
# of nested folders; and `check` of the sitemap `xml` has just written, whose
# time it sets beside that of `xml` (the aim: at most twice).
# bench/git_dates.sh times dates from git.
#
# usage: bench/run.sh [PAGES...]          (default: 10000 200000)
#
# For each PAGES it generates a deterministic synthetic site (bench/gen_site.cpp:
# PAGES pages plus 30 % other files, about 50 entries per folder, 6 deep up to
# 615,227 pages, 2 % empty files, some odd names), warms the cache, then runs
# every command RUNS times, round by round, and prints the medians of wall
# time and of CPU time, their ratio to find, and the peak memory (maximum
# resident set size from /usr/bin/time). The benchmark only prints figures;
# it asserts nothing.
#
# Environment:
#   RUNS=5                 runs per command (the median is reported)
#   BENCH_DIR=/tmp/larkspur-bench   where the sites are generated and kept
#   LARKSPUR_CLI=path      the binary to time (default: a Release build made
#                          here in build-bench/)
#   JOBS=N                 --jobs for every larkspur-cli command that does not
#                          set its own (default: the program's, one thread per
#                          core, 8 at most)
#   DEEP=25000             levels of the nested folders timed with and without
#                          --exclude; 0 leaves them out
#   COLD=1                 drop the page cache before every run (needs root):
#                          times from the disk instead of a warm cache
#   ONLY=REGEX             time only the commands whose label matches (find
#                          always runs: the others are measured against it)
#   PEER=0                 skip the npm peer tool (static-sitemap-cli)
set -euo pipefail
cd "$(dirname "$0")/.."

runs=${RUNS:-5}
bench_dir=${BENCH_DIR:-/tmp/larkspur-bench}
deep=${DEEP:-25000}
cold=${COLD:-0}
q_jobs=""  # the --jobs to add, quoted
[ -z "${JOBS:-}" ] || q_jobs=" --jobs $(printf '%q' "$JOBS")"
if [ "$cold" = 1 ] && [ ! -w /proc/sys/vm/drop_caches ]; then
    echo "bench: COLD=1 needs to write /proc/sys/vm/drop_caches (root)" >&2
    exit 1
fi
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
    if [ "$cold" = 1 ]; then
        sync
        echo 3 > /proc/sys/vm/drop_caches
    fi
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

cores=$(nproc)
threads=${JOBS:-$((cores < 8 ? cores : 8))}
echo "machine: $cores cores, $(grep -m1 'model name' /proc/cpuinfo | sed 's/.*: //'), $(awk '/MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo)"
echo "larkspur-cli: $cli, walking with $threads thread(s)${JOBS:+ (JOBS=$JOBS)}"
echo "runs per command: $runs after one warm-up run, interleaved; medians of wall time and of"
echo "CPU time (user + system); peak memory is the largest maximum resident set size;"
if [ "$cold" = 1 ]; then
    echo "the page cache dropped before every run"
else
    echo "a warm cache"
fi
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"

# Prints one table of figures: the medians of the runs of each command, by
# their labels, against the first (find). Uses labels, times, cpus and peak.
print_table() {
    printf '  %-52s %10s %8s %10s %8s %12s\n' "command" "wall" "vs find" "cpu" "vs find" "peak memory"
    local find_s="" find_cpu="" i m c name
    for i in "${!labels[@]}"; do
        # shellcheck disable=SC2086
        m=$(median ${times[$i]})
        # shellcheck disable=SC2086
        c=$(median ${cpus[$i]})
        [ -n "$find_s" ] || find_s=$m
        [ -n "$find_cpu" ] || find_cpu=$c
        result_s[${labels[i]},$table]=$m
        name=${labels[i]}
        [[ $name == static* || $name == *find* ]] || name="larkspur-cli $name"
        printf '  %-52s %8.3f s %7.2fx %8.2f s %7.2fx %8.1f MiB\n' "$name" "$m" \
            "$(awk -v a="$m" -v b="$find_s" 'BEGIN { print a / b }')" "$c" \
            "$(awk -v a="$c" -v b="$find_cpu" 'BEGIN { print (b > 0 ? a / b : 0) }')" \
            "$(awk -v k="${peak[$i]}" 'BEGIN { print k / 1024 }')"
    done
}

# Runs every command, round by round, so that a change of load on the
# machine touches all of them alike; the first round warms up.
run_rounds() {
    local r i
    if [ -n "${ONLY:-}" ]; then
        local -a kept_labels=() kept_commands=()
        for i in "${!labels[@]}"; do
            if ((i == 0)) || [[ ${labels[i]} =~ $ONLY ]]; then
                kept_labels+=("${labels[i]}")
                kept_commands+=("${commands[i]}")
            fi
        done
        labels=("${kept_labels[@]}")
        commands=("${kept_commands[@]}")
    fi
    for ((r = 0; r <= runs; r++)); do
        for i in "${!commands[@]}"; do
            # The peer is slow; on a large site it runs only three times.
            if [[ ${labels[i]} == static* ]] && ((table > 50000 && r > 3)); then continue; fi
            eval "set -- ${commands[i]}"
            time_once "$@"
            ((r == 0)) && continue
            times[$i]+="$elapsed_s "
            cpus[$i]+="$cpu_s "
            if ((rss_kib > ${peak[$i]:-0})); then peak[$i]=$rss_kib; fi
        done
    done
}

for pages in "${sizes[@]}"; do
    site=$bench_dir/site-$pages
    if [ ! -f "$bench_dir/site-$pages.done" ]; then
        rm -rf "$site"
        echo "generating $site ..."
        "$generator" "$site" "$pages" > "$bench_dir/site-$pages.new"
        mv "$bench_dir/site-$pages.new" "$bench_dir/site-$pages.done"
    fi

    # Two finds at once, on two halves of the tree: the second-level folders
    # taken in turn, the files above them with the first half.
    halves=$bench_dir/halves-$pages.sh
    {
        mapfile -t second < <(find "$site" -mindepth 2 -maxdepth 2 -type d | LC_ALL=C sort)
        printf 'format=%q\n' '%s %T@ %p\n'
        printf 'find %q -maxdepth 2 -type f -printf "$format" &\nfind' "$site"
        for ((i = 0; i < ${#second[@]}; i += 2)); do printf ' %q' "${second[i]}"; done
        printf ' -type f -printf "$format" &\nfind'
        for ((i = 1; i < ${#second[@]}; i += 2)); do printf ' %q' "${second[i]}"; done
        printf ' -type f -printf "$format" &\nwait\n'
    } > "$halves"

    q_cli=$(printf '%q' "$cli")
    q_site=$(printf '%q' "$site")
    labels=(find "2 finds on the 2 halves at once" stats "stats --jobs 1" xml "xml --jobs 1" check txt csv
            "xml --output -" "xml --exclude x10 --url-style clean" "xml --respect-robots --canonical-only")
    # Ten patterns of the kinds sites use: folders, names anywhere, anchored
    # paths, "**", classes.
    exclusions=""
    for pattern in drafts/ 404.html '/private/**' '*.bak.html' tmp/ '**/old/*.html' '[_]*.html' \
        'test?.html' /admin/ node_modules/; do
        exclusions+=" --exclude $(printf '%q' "$pattern")"
    done
    commands=(
        "find $q_site -type f -printf '%s %T@ %p\n'"
        "bash $(printf '%q' "$halves")"
        "$q_cli stats $q_site$q_jobs"
        "$q_cli stats $q_site --jobs 1"
        "$q_cli xml $q_site --url https://example.com$q_jobs"
        "$q_cli xml $q_site --url https://example.com --jobs 1"
        # Right after xml, which has just written the sitemap it reads.
        "$q_cli check $q_site --url https://example.com$q_jobs"
        "$q_cli txt $q_site --url https://example.com$q_jobs"
        "$q_cli csv $q_site --url https://example.com$q_jobs"
        "$q_cli xml $q_site --url https://example.com --output -$q_jobs"
        "$q_cli xml $q_site --url https://example.com$exclusions --url-style clean$q_jobs"
        "$q_cli xml $q_site --url https://example.com --respect-robots --canonical-only --output -$q_jobs"
    )
    if [ -n "$peer" ]; then
        labels+=("static-sitemap-cli (npm peer)")
        commands+=("$(printf '%q' "$peer") --base https://example.com --root $q_site --match '**/*.html' '**/*.htm' --no-robots --no-clean --format xml --stdout")
    fi

    declare -A times=() cpus=() peak=()
    table=$pages
    run_rounds
    echo
    echo "N = $pages pages: $(cat "$bench_dir/site-$pages.done")"
    print_table
    # ONLY may have left either out.
    if [ -n "${result_s[check,$table]:-}" ] && [ -n "${result_s[xml,$table]:-}" ]; then
        printf '  check / xml: %.2fx wall (aim: at most 2x)\n' \
            "$(awk -v a="${result_s[check,$table]}" -v b="${result_s[xml,$table]}" 'BEGIN { print a / b }')"
    fi
    # check reads every listed page's head, as these options do when writing.
    heads="xml --respect-robots --canonical-only"
    if [ -n "${result_s[check,$table]:-}" ] && [ -n "${result_s[$heads,$table]:-}" ]; then
        printf '  check / %s: %.2fx wall\n' "$heads" \
            "$(awk -v a="${result_s[check,$table]}" -v b="${result_s[$heads,$table]}" 'BEGIN { print a / b }')"
    fi
    unset times cpus peak
done

# Exclusions on a chain of nested folders: each folder decided once, from
# its parent, whatever the depth.
if ((deep > 0)); then
    chain=$bench_dir/deep-$deep
    if [ ! -f "$chain.done" ]; then
        rm -rf "$chain"
        echo "generating $chain ..."
        "$generator" --deep "$chain" "$deep" > "$chain.new"
        mv "$chain.new" "$chain.done"
    fi
    q_chain=$(printf '%q' "$chain")
    labels=("find" "xml --output -" "xml --output - --exclude x")
    commands=(
        "find $q_chain -type f -printf '%s %T@ %p\n'"
        "$(printf '%q' "$cli") xml $q_chain --url https://example.com --output -$q_jobs"
        "$(printf '%q' "$cli") xml $q_chain --url https://example.com --output - --exclude x$q_jobs"
    )
    declare -A times=() cpus=() peak=()
    table=deep
    run_rounds
    echo
    echo "$deep nested folders, one page at the bottom:"
    print_table
    unset times cpus peak
fi

echo
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"

# Growth from the smallest to the largest site, when both were run.
if [ ${#sizes[@]} -ge 2 ]; then
    small=${sizes[0]}
    large=${sizes[-1]}
    echo
    echo "growth from N = $small to N = $large ($(awk -v a="$large" -v b="$small" 'BEGIN { print a / b }')x the pages):"
    for cmd in find "2 finds on the 2 halves at once" stats "stats --jobs 1" xml txt csv; do
        printf '  %-32s %6.1fx\n' "$cmd" "$(awk -v a="${result_s[$cmd,$large]}" -v b="${result_s[$cmd,$small]}" 'BEGIN { print a / b }')"
    done
fi
