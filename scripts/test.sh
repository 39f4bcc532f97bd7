#!/usr/bin/env bash
# Builds Pellora and runs every test (headless; the tests set up their own display).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/build.sh"
cd "$root/build"
ctest --output-on-failure -j "$(nproc)"
