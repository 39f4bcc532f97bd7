#!/usr/bin/env bash
# Fails when an executable's dynamic section holds an RPATH or RUNPATH entry
# that is not an absolute folder. The loader reads an empty entry as the
# current folder and a relative one (or $ORIGIN) against it or against the
# program's own folder, so a library placed there would be loaded and run.
#   check_runpath.sh EXECUTABLE...
set -uo pipefail

if [ $# -eq 0 ]; then
  echo "usage: $0 EXECUTABLE..." >&2
  exit 2
fi
command -v readelf >/dev/null || { echo "check_runpath: readelf is not installed (binutils)" >&2; exit 1; }

failures=0
for file in "$@"; do
  if ! dynamic=$(LC_ALL=C readelf -d -W "$file" 2>&1); then
    echo "check_runpath: cannot read the dynamic section of $file: $dynamic" >&2
    failures=$((failures + 1))
    continue
  fi
  # Lines such as:  0x...1d (RUNPATH)  Library runpath: [/opt/lib:$ORIGIN]
  while IFS= read -r line; do
    list=${line#*: [}
    list=${list%]}
    # A trailing ":" is an empty entry too; read would drop it, so one is added.
    IFS=: read -r -a entries <<<"$list:"
    empty=0
    for entry in "${entries[@]}"; do
      if [ -z "$entry" ]; then
        empty=1
      elif [ "${entry#/}" = "$entry" ]; then
        echo "check_runpath: $file has a RPATH/RUNPATH entry that is not an absolute folder: $entry" >&2
        failures=$((failures + 1))
      fi
    done
    if [ "$empty" -eq 1 ]; then
      echo "check_runpath: $file has an empty RPATH/RUNPATH entry (the current folder): [$list]" >&2
      failures=$((failures + 1))
    fi
  done < <(printf '%s\n' "$dynamic" | grep -E '\((RPATH|RUNPATH)\)')
done
[ "$failures" -eq 0 ]
