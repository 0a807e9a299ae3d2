# SPDX-License-Identifier: Apache-2.0
# Copyright The Larkspur developers
# Shared by the benchmark scripts, which source it from the repository's top
# folder with bench_dir set.

# The larkspur-cli to time: $LARKSPUR_CLI, or a Release build made here in
# build-bench/ (its log in $bench_dir/cmake.log).
bench_cli() {
    if [ -n "${LARKSPUR_CLI:-}" ]; then
        cli=$LARKSPUR_CLI
        return
    fi
    echo "building larkspur-cli (Release) in build-bench/ ..."
    cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DLARKSPUR_BUILD_GUI=OFF \
        -DLARKSPUR_BUILD_TESTS=OFF > "$bench_dir/cmake.log"
    cmake --build build-bench --target larkspur-cli >> "$bench_dir/cmake.log"
    cli=$PWD/build-bench/src/cli/larkspur-cli
}

# A generator of bench/NAME.cpp, compiled into $bench_dir when it is missing
# or older than its source; its path in `generator`.
bench_generator() {
    generator=$bench_dir/$1
    if [ ! -x "$generator" ] || [ "bench/$1.cpp" -nt "$generator" ]; then
        g++ -std=c++20 -O2 -o "$generator" "bench/$1.cpp"
    fi
}
