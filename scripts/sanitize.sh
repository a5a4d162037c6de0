#!/bin/sh
# Builds the native unit tests with AddressSanitizer and UndefinedBehavior-
# Sanitizer (as the native-asan preset does) and runs them.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
out=${SANITIZE_BUILD_DIR:-$root/build/native-asan}
cmake -S "$root" -B "$out" -DCMAKE_BUILD_TYPE=Debug -DKESTRUNE_WERROR=ON -DKESTRUNE_SANITIZE=ON
cmake --build "$out" -j"$(nproc)"
ctest --test-dir "$out" --output-on-failure
