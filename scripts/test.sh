#!/usr/bin/env bash
# Builds Pellora and runs every test (headless; the tests set up their own display),
# then builds everything again with AddressSanitizer and UndefinedBehaviorSanitizer
# in build-asan/ and runs the whole suite once more under them. Neither build
# makes the benchmark programs, which no test runs.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
PELLORA_BENCH=OFF "$root/scripts/build.sh"
cd "$root/build"
ctest --output-on-failure -j "$(nproc)"

# Line tables (-g1) are all a sanitizer report needs for its file:line
# stack; full debug information costs about 40% more compile time and twice
# the object size for this build, for nothing the tests read.
cmake -S "$root" -B "$root/build-asan" -G Ninja -DBUILD_TESTING=ON -DPELLORA_SANITIZE=ON -DPELLORA_BENCH=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" >/dev/null
cmake --build "$root/build-asan"
# Qt, fontconfig and the other system libraries are not built with the
# sanitizers; tests/sanitizer/lsan.supp names the leak reports that are theirs.
supp="$root/tests/sanitizer"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1:check_initialization_order=1"
export LSAN_OPTIONS="suppressions=$supp/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
cd "$root/build-asan"
ctest --output-on-failure -j "$(nproc)"

# Extraction's worker threads once more under ThreadSanitizer: only the tests
# that drive them, which keeps this build small. tests/sanitizer/tsan.supp
# names what Qt and the C library synchronise out of the sanitizer's sight.
cmake -S "$root" -B "$root/build-tsan" -G Ninja -DBUILD_TESTING=ON -DPELLORA_TSAN=ON -DPELLORA_BENCH=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" >/dev/null
tsan_tests=(tst_ParallelExtraction tst_Extraction)
cmake --build "$root/build-tsan" --target "${tsan_tests[@]}"
export TSAN_OPTIONS="suppressions=$supp/tsan.supp:halt_on_error=1"
cd "$root/build-tsan"
ctest --output-on-failure -j "$(nproc)" -R "^($(IFS='|'; echo "${tsan_tests[*]}"))\$"
