#!/usr/bin/env bash
# Installs the Debian packages Pellora needs. Packages already installed are
# skipped; installing needs root or sudo.
#   scripts/install-deps.sh            build, run and test
#   scripts/install-deps.sh fixtures   also the archivers that remake tests/data
#   scripts/install-deps.sh bench      also the archivers, bsdtar and the other extractors for bench/
#   scripts/install-deps.sh fuzz       also clang and its libFuzzer and sanitizer runtimes for bench/fuzz/run.sh
set -euo pipefail

pkgs=(
  cmake ninja-build g++ pkg-config   # the build
  qt6-base-dev qt6-qpa-plugins       # Qt 6 Core, Gui, Widgets and Test; window-system plugins
  libarchive-dev                     # reading LZH, ZIP and CAB
  libisal-dev                        # isa-l's inflate, the fast path for deflate data in ZIP and CAB
  fonts-ipafont-gothic               # a Japanese font, so the UI's texts show
  qt6-translations-l10n              # Qt's own texts (standard buttons, file dialogs) in Japanese
  xdg-utils                          # xdg-open and xdg-mime: folders and files open with the desktop's applications
  shared-mime-info file              # what xdg-mime asks for a file's type: file(1), or the MIME database
  libglib2.0-bin                     # gio: xdg-mime's way to the MIME database under GNOME; the install test asks it for "Open with"
  xvfb xauth xdotool                 # tests/e2e/no_match_e2e.sh types into the real windows on an X server of its own
  clang-format-14                    # the tests check that every C++ file keeps the checked-in formatting
  python3                            # scripts/check_layers.py, run by the tests, reads every include against the layering
  dbus-daemon                        # tests/e2e/tst_Unattended: a private session bus with a fake notification service
  desktop-file-utils appstream       # update-desktop-database, run by cmake --install for "Open with"; tests/install validates
                                     # the installed pellora.desktop and metainfo with desktop-file-validate and appstreamcli
)
case "${1:-}" in
  fixtures) pkgs+=(jlha-utils zip p7zip-full gcab libarchive-tools python3 tar gzip bzip2 xz-utils zstd lz4) ;;
  bench) pkgs+=(jlha-utils zip gcab libarchive-tools python3 tar xz-utils p7zip-full unzip lhasa cabextract util-linux) ;;
  fuzz) pkgs+=(clang-14 libclang-rt-14-dev) ;;
  "") ;;
  *) echo "usage: $0 [fixtures|bench|fuzz]" >&2; exit 2 ;;
esac

missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "install-deps: root or sudo is needed to install: ${missing[*]}" >&2; exit 1; }
  sudo=sudo
fi
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
