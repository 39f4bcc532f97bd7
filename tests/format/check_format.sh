#!/usr/bin/env bash
# Fails when a C++ file of the repository differs from what the checked-in
# .clang-format makes of it, and names the files.
set -euo pipefail
root="$1"
formatter="${CLANG_FORMAT:-clang-format-14}"
command -v "$formatter" >/dev/null || { echo "check_format: $formatter is not installed (scripts/install-deps.sh installs it)" >&2; exit 1; }
cd "$root"
# One run over all files: the formatter names each file that differs.
mapfile -d '' files < <(find src tests fuzz bench -type f \( -name '*.cpp' -o -name '*.h' \) -not -path 'tests/data/*' -print0)
report="$("$formatter" --dry-run "${files[@]}" 2>&1)" || { echo "$report" >&2; exit 1; }
bad="$(printf '%s\n' "$report" | sed -n 's/^\([^:]*\):[0-9]*:[0-9]*: warning: code should be clang-formatted.*/\1/p' | sort -u)"
if [ -n "$bad" ]; then
  printf 'not formatted (run %s -i on them):\n' "$formatter" >&2
  printf '  %s\n' $bad >&2
  exit 1
fi
echo "${#files[@]} files formatted as .clang-format says"
