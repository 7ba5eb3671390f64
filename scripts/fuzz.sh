#!/usr/bin/env bash
# Long fuzzing runs of the remux core under AddressSanitizer and UndefinedBehaviorSanitizer; ctest runs only a
# short pass of the same loop. Seeds are the fixtures of tests/media/reference_test.sh.
#
# Usage: scripts/fuzz.sh [COUNT [SEED]]          the seeded mutation loop (fuzz_remux of the native tree), COUNT
#                                                inputs (default 100000), the same inputs for the same SEED
#        scripts/fuzz.sh --libfuzzer SECONDS     coverage-guided with libFuzzer; needs clang and libclang-rt-dev,
#                                                which the project does not install; the corpus stays in
#                                                build/fuzz-libfuzzer/corpus, crashes in build/fuzz-libfuzzer
# An input that stops the loop is kept in build/native/tests/media/fuzz_last_input.ts.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$root/build}

"$root/scripts/build.sh" native
fixtures=$build/native/tests/media/reference
bash "$root/tests/media/reference_test.sh" --fixtures-only "$fixtures"
seeds=("$fixtures"/fixtures/*.ts)

if [[ ${1:-} == --libfuzzer ]]; then
  seconds=${2:?usage: scripts/fuzz.sh --libfuzzer SECONDS}
  command -v clang++ >/dev/null || { echo "fuzz: clang++ is not installed (apt-get install clang)" >&2; exit 2; }
  out=$build/fuzz-libfuzzer
  mkdir -p "$out/corpus"
  # The core's sources as the media library lists them.
  mapfile -t sources < <(sed -n '/^add_library(media STATIC/,/)/p' "$root/CMakeLists.txt" |
    grep -o 'media/[a-z0-9_]*\.cpp')
  clang++ -std=c++17 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -DREMUX_FUZZ_LIBFUZZER \
    -I"$root" "$root/tests/media/fuzz_remux.cpp" "${sources[@]/#/$root/}" -o "$out/fuzz_remux_libfuzzer"
  # Seeds cut to the first 64 KiB: the tables and the first frames, the length libFuzzer works with.
  for seed in "${seeds[@]}"; do head -c 65536 "$seed" >"$out/corpus/seed-$(basename "$seed")"; done
  cd "$out"
  exec ./fuzz_remux_libfuzzer -max_len=65536 -max_total_time="$seconds" -print_final_stats=1 corpus
fi

count=${1:-100000}
seed=${2:-1}
start=$(date +%s)
"$build/native/bin/fuzz_remux" "${seeds[@]}" --count "$count" --seed "$seed" \
  --save-to "$build/native/tests/media/fuzz_last_input.ts"
echo "fuzz: $count inputs in $(($(date +%s) - start)) s"
