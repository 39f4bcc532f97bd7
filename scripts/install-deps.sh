#!/usr/bin/env bash
# Installs the Debian packages Pellora needs to build, run and test.
# Usage: scripts/install-deps.sh [build|test]   (default: build)
# Packages already installed are skipped; needs root or sudo when something is missing.
set -euo pipefail

build_pkgs=(
  cmake ninja-build g++ pkg-config   # the build
  qt6-base-dev qt6-base-dev-tools    # Qt 6 Core/Gui/Widgets/Test
  libarchive-dev                     # LZH, ZIP and CAB reading
  fonts-ipafont-gothic               # a Japanese font for the UI
)
test_pkgs=(
  xvfb xauth                         # a real X server for the run-under-X checks
  jlha-utils p7zip-full zip gcab     # real archivers that make the test fixtures
  libarchive-tools                   # bsdtar, the peer in the benchmarks
  python3                            # fixture and benchmark scripts
)

pkgs=("${build_pkgs[@]}")
[ "${1:-build}" = test ] && pkgs+=("${test_pkgs[@]}")

missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "install-deps: need root or sudo to install: ${missing[*]}" >&2; exit 1; }
  sudo=sudo
fi
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
