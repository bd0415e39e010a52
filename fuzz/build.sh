#!/usr/bin/env bash
# Builds the fuzz targets into build-fuzz/fuzz/: the project's libraries and the targets compiled
# by clang 14 with libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer (any undefined
# behaviour stops the run). JOBS sets the build's parallelism (default 2).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

dir=build-fuzz
flags="-fsanitize=address,undefined -fsanitize=fuzzer-no-link -fno-sanitize-recover=undefined"
flags="$flags -fno-omit-frame-pointer -gline-tables-only"
if [ ! -f "$dir/build.ninja" ]; then
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
        -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_C_FLAGS="$flags" \
        -DZARNEX_FUZZ=ON -DZARNEX_WITH_TESTS=OFF
fi
cmake --build "$dir" -j"${JOBS:-2}" --target fuzz_all fuzz_make_seeds
