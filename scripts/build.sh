#!/usr/bin/env bash
# Installs what is missing, then configures and builds into build/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
# PELLORA_BENCH=OFF leaves the benchmark programs out (the test command does);
# given each time, so that a later plain run builds them again.
cmake -S . -B build -G Ninja -DBUILD_TESTING=ON -DPELLORA_BENCH="${PELLORA_BENCH:-ON}" >/dev/null
cmake --build build
