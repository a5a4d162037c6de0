#!/bin/sh
# Builds the settings reader's fuzz target with clang (libFuzzer, ASan, UBSan)
# and runs it for FUZZ_SECONDS (default 60). New inputs collect in the build
# folder; the committed seeds in fuzz/corpus are only read.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
out=${FUZZ_BUILD_DIR:-$root/build/fuzz}
seconds=${FUZZ_SECONDS:-60}
mkdir -p "$out/corpus"
clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
  -I"$root/src" "$root/fuzz/settings_fuzz.cpp" "$root/src/settings/settings_file.cpp" \
  -o "$out/settings_fuzz"
# -timeout turns a reader that hangs on one input into a failure.
"$out/settings_fuzz" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
  -dict="$root/fuzz/settings.dict" "$out/corpus" "$root/fuzz/corpus"
