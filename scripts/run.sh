#!/usr/bin/env bash
# Builds Pellora and starts it, with an archive when one is given:
#   scripts/run.sh [ARCHIVE]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/build.sh"
exec "$root/build/src/pellora" "$@"
