#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds with AddressSanitizer and UndefinedBehaviorSanitizer (clang) into
# build-san and runs there the soak test, the fuzzers (a fixed number of
# inputs) and the unit tests of the answer reader and the error report.
#   scripts/sanitize.sh          what the suite runs
#   scripts/sanitize.sh --all    every unit test (longer build)
#   scripts/sanitize.sh --build  only builds what the suite runs
# Longer fuzzing by hand: see tests/fuzz/fuzz_answer.cpp.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
./scripts/deps.sh base fuzz

tests=(test_soak fuzz_answer test_weathertext test_getweather test_errorreport test_convert)
build_only=0
case "${1:-}" in
--all) tests=(all) ;;
--build) build_only=1 ;;
esac

if [ ! -f build-san/CMakeCache.txt ]; then
  CC=clang CXX=clang++ cmake -S . -B build-san -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTEPORA_SANITIZE=ON
fi
cmake --build build-san --parallel "$(nproc)" --target "${tests[@]}"
((!build_only)) || exit 0

export QT_QPA_PLATFORM=offscreen
# A small quarantine still catches use after free without making the soak's
# memory look as if it grew; LeakSanitizer checks for leaks at every exit.
export ASAN_OPTIONS=detect_leaks=1:quarantine_size_mb=16:detect_stack_use_after_return=0
export LSAN_OPTIONS=suppressions=$root/tests/soak/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
if command -v llvm-symbolizer-14 > /dev/null; then
  export ASAN_SYMBOLIZER_PATH=$(command -v llvm-symbolizer-14)
fi
# The allocator and its quarantine settle later than the program does; leaks
# are LeakSanitizer's to find here, the ordinary build checks memory closely.
export TEPORA_SOAK_RSS_KIB=24576

cd build-san
if [ "${tests[0]}" = all ]; then
  # The end-to-end and package tests run the real program, as in the ordinary build.
  ctest --output-on-failure --timeout 300 -E '^(e2e_|package_)'
else
  ctest --output-on-failure --timeout 300 --parallel "$(nproc)" -R "^($(IFS='|'; echo "${tests[*]}"))\$"
fi
