#!/bin/sh
# The programs configure and build in a fresh folder with the test-only packages hidden from
# CMake, as scripts/play builds them on a machine where only it has installed what it needs.
set -eu
source=$1
dir=$2
shift 2
rm -rf "$dir"
mkdir -p "$dir"
cmake -S "$source" -B "$dir" -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON >"$dir/configure.log" 2>&1 ||
    { cat "$dir/configure.log"; exit 1; }
grep -q "Test suite skipped: GoogleTest not found" "$dir/configure.log" ||
    { cat "$dir/configure.log"; echo "configure did not say that the suite was skipped"; exit 1; }
# What scripts/play builds: each program named, and no benchmark.
cmake --build "$dir" --parallel 2 --target programs >"$dir/build.log" 2>&1 || { cat "$dir/build.log"; exit 1; }
for program in "$@"; do
    [ -x "$dir/$program" ] || { echo "$program was not built"; exit 1; }
done
[ ! -e "$dir/frame_cost" ] || { echo "the programs' target built the benchmarks too"; exit 1; }
rm -rf "$dir"
