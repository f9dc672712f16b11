#!/usr/bin/env bash
# Builds peltra2 and runs the whole test suite: the ordinary build; the same
# suite, but for the Python tools' tests, under AddressSanitizer and
# UndefinedBehaviorSanitizer; the threaded tests (the model's workers and
# the end-to-end runs, where both workers draw) under ThreadSanitizer; and a
# short run of every fuzz target (tools/fuzz.sh).
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh
jobs=$(nproc)
start=$SECONDS
step() { echo "== $1 ($((SECONDS - start)) s)"; }

step "plain build and suite"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

# The Python tools' tests (label python) add nothing under the sanitizers:
# the runs of peltra2 they make are the ones the C++ tests make.
step "AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DPELTRA_SANITIZE=ON >/dev/null
cmake --build build-asan -j"$jobs"
ctest --test-dir build-asan --output-on-failure -j"$jobs" -LE '^python$'

# A report makes the program exit with status 66, which the tests see.
step "ThreadSanitizer: threaded tests"
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELTRA_TSAN=ON >/dev/null
cmake --build build-tsan -j"$jobs" --target peltra2 model_tests e2e_tests
TSAN_OPTIONS="halt_on_error=1 ${TSAN_OPTIONS:-}" \
  ctest --test-dir build-tsan --output-on-failure -j"$jobs" -L '^(model|e2e)$'

step "fuzz targets, a short run"
FUZZ_BUILD_DIR=build-fuzz tools/fuzz.sh 10 1

step "done"
