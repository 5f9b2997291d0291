#!/usr/bin/env bash
# Builds Velmo and runs every test (unit, gui, e2e). With CI=true warnings are errors, and a
# second build of the core and its tests with AddressSanitizer and UndefinedBehaviorSanitizer
# (clang, with the fuzz targets run briefly) runs too.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

bash tools/install-deps.sh

jobs=$(nproc)
werror=OFF
if [ "${CI:-}" = "true" ]; then werror=ON; fi

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMO_WERROR="$werror"
cmake --build build -j "$jobs"
(cd build && ctest --output-on-failure -j "$jobs")

if [ "${CI:-}" = "true" ] || [ "${VELMO_SANITIZE:-}" = "1" ]; then
  cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DVELMO_WERROR="$werror" \
    -DVELMO_SANITIZE=ON -DVELMO_FUZZ=ON -DVELMO_BUILD_UI=OFF -DVELMO_BENCHMARKS=OFF
  cmake --build build-asan -j "$jobs"
  (cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --output-on-failure -j "$jobs")
fi
