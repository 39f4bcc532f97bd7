#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR and checks what a desktop gets:
# the files in their places, the menu entry and the software-centre file
# accepted by their validators, the installed program extracting an archive
# as an installed copy (its ITEM.DAT under XDG_DATA_HOME), and the desktop's
# MIME machinery offering Pellora for an .lzh.
#   install_test.sh CMAKE BUILD_DIR SOURCE_DIR PROJECT_VERSION
# Needs desktop-file-validate, update-desktop-database, appstreamcli,
# xdg-mime, gio and file (scripts/install-deps.sh installs them); a missing
# tool fails the test.
set -uo pipefail

if [ $# -ne 4 ]; then
  echo "usage: $0 CMAKE BUILD_DIR SOURCE_DIR PROJECT_VERSION" >&2
  exit 2
fi
cmake=$1
build=$2
source=$3
version=$4
fixtures=$source/tests/data

failures=0
step="setting up"
fail() {
  echo "install_test: FAILED ($step): $*" >&2
  failures=$((failures + 1))
}
die() {
  fail "$@"
  exit 1
}

for tool in desktop-file-validate update-desktop-database appstreamcli xdg-mime gio file; do
  command -v "$tool" >/dev/null || die "$tool is not installed; run scripts/install-deps.sh"
done

tmp=$(mktemp -d "${TMPDIR:-/tmp}/pellora-install.XXXXXX") || die "cannot make a temporary folder"
# `cmake --install` writes install_manifest.txt into the build folder; a real
# install's manifest there (what README's uninstall reads) is put back.
manifest=$build/install_manifest.txt
[ -e "$manifest" ] && cp -p "$manifest" "$tmp/manifest.saved"
cleanup() {
  if [ -e "$tmp/manifest.saved" ]; then
    cp -p "$tmp/manifest.saved" "$manifest"
  else
    rm -f "$manifest"
  fi
  rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

# ---------------------------------------------------------------------------
step="cmake --install"
prefix=/usr/local
stage=$tmp/stage
root=$stage$prefix
DESTDIR=$stage "$cmake" --install "$build" --prefix "$prefix" >"$tmp/install.log" 2>&1 ||
  die "cmake --install failed: $(cat "$tmp/install.log")"
grep -qx "$prefix/bin/pellora" "$manifest" || fail "the manifest does not list $prefix/bin/pellora"

# ---------------------------------------------------------------------------
step="installed files"
for program in pellora pellora-arc; do
  [ -f "$root/bin/$program" ] && [ -x "$root/bin/$program" ] || fail "bin/$program is missing or not executable"
done
bash "$source/tests/install/check_runpath.sh" "$root/bin/pellora" "$root/bin/pellora-arc" ||
  fail "an installed program would load libraries from a relative folder"
[ -e "$root/bin/help" ] && fail "help/ was installed beside the programs; it belongs in share/pellora/help"
[ -e "$root/bin/ITEM.DAT" ] && fail "an ITEM.DAT was installed"
help_count=0
for page in "$source"/help/*; do
  name=${page##*/}
  help_count=$((help_count + 1))
  cmp -s "$page" "$root/share/pellora/help/$name" || fail "share/pellora/help/$name is missing or differs from help/$name"
done
[ "$help_count" -gt 0 ] || fail "no help pages in $source/help"
installed_pages=$(find "$root/share/pellora/help" -type f | wc -l)
[ "$installed_pages" -eq "$help_count" ] || fail "share/pellora/help holds $installed_pages files, help/ $help_count"

desktop=$root/share/applications/pellora.desktop
[ -f "$desktop" ] || fail "share/applications/pellora.desktop is missing"

# A PNG's width and height are the big-endian numbers at bytes 16 and 20.
png_size() {
  od -An -tu1 -j16 -N8 "$1" | awk '{ printf "%dx%d", $1*16777216 + $2*65536 + $3*256 + $4, $5*16777216 + $6*65536 + $7*256 + $8 }'
}
for size in 16 24 32 48 64 128 256; do
  icon=$root/share/icons/hicolor/${size}x${size}/apps/pellora.png
  if [ ! -f "$icon" ]; then
    fail "icons/hicolor/${size}x${size}/apps/pellora.png is missing"
  elif [ "$(png_size "$icon")" != "${size}x${size}" ]; then
    fail "icons/hicolor/${size}x${size}/apps/pellora.png is $(png_size "$icon") pixels"
  fi
done
svg=$root/share/icons/hicolor/scalable/apps/pellora.svg
[ -f "$svg" ] && grep -q "<svg" "$svg" || fail "icons/hicolor/scalable/apps/pellora.svg is missing or no SVG"

metainfo=$(find "$root/share/metainfo" -name '*.metainfo.xml' 2>/dev/null)
[ "$(printf '%s\n' "$metainfo" | grep -c .)" -eq 1 ] || fail "expected one metainfo file in share/metainfo, found: $metainfo"

for page in pellora pellora-arc; do
  man=$root/share/man/man1/$page.1
  if [ ! -f "$man" ]; then
    fail "share/man/man1/$page.1 is missing"
    continue
  fi
  upper=$(printf '%s' "$page" | tr a-z A-Z)
  grep -q "^\.TH $upper 1 .*\"Pellora $version\"" "$man" || fail "$page.1 has no .TH line for Pellora $version"
  grep -q '@' "$man" && fail "$page.1 has an unreplaced @VARIABLE@"
  grep -q '^\.SH FILES\|^\.SH ENVIRONMENT' "$man" || fail "$page.1 has neither FILES nor ENVIRONMENT"
done
grep -q '^\.SH OPTIONS' "$root/share/man/man1/pellora-arc.1" 2>/dev/null || fail "pellora-arc.1 has no OPTIONS"

# ---------------------------------------------------------------------------
step="desktop entry"
# The value of a key in the [Desktop Entry] group.
entry() {
  awk -v key="$1" -F= '
    /^\[/ { group = $0; next }
    group == "[Desktop Entry]" && $1 == key { sub(/^[^=]*=/, ""); print; exit }' "$desktop"
}
[ "$(entry Type)" = Application ] || fail "Type is '$(entry Type)'"
[ "$(entry Name)" = Pellora ] || fail "Name is '$(entry Name)'"
[ "$(entry Exec)" = "pellora %f" ] || fail "Exec is '$(entry Exec)'"
[ "$(entry Icon)" = pellora ] || fail "Icon is '$(entry Icon)'"
[ -n "$(entry Comment)" ] || fail "no English Comment"
entry 'Comment[ja]' | grep -q '[^ -~]' || fail "Comment[ja] is missing or not Japanese: '$(entry 'Comment[ja]')'"
for category in Utility Archiving Compression; do
  entry Categories | tr ';' '\n' | grep -qx "$category" || fail "Categories lacks $category: '$(entry Categories)'"
done
mime_types=$(entry MimeType | tr ';' '\n' | grep .)
for type in application/x-lha application/x-lzh-compressed application/zip application/vnd.ms-cab-compressed \
  application/x-7z-compressed application/x-tar application/x-compressed-tar application/x-xz-compressed-tar \
  application/x-zstd-compressed-tar application/x-bzip-compressed-tar application/x-lz4-compressed-tar application/gzip application/x-xz application/zstd; do
  printf '%s\n' "$mime_types" | grep -qx "$type" || fail "MimeType lacks $type: '$(entry MimeType)'"
done
desktop-file-validate "$desktop" >"$tmp/dfv.log" 2>&1 || fail "desktop-file-validate: $(cat "$tmp/dfv.log")"
# Warnings are printed but do not change its exit code: none is wanted.
[ -s "$tmp/dfv.log" ] && fail "desktop-file-validate reports: $(cat "$tmp/dfv.log")"

# ---------------------------------------------------------------------------
step="metainfo"
if [ -n "$metainfo" ]; then
  appstreamcli validate --no-net "$metainfo" >"$tmp/as.log" 2>&1 || fail "appstreamcli validate: $(cat "$tmp/as.log")"
  id=$(sed -n 's:.*<id>\(.*\)</id>.*:\1:p' "$metainfo" | head -1)
  [ "$(basename "$metainfo")" = "$id.metainfo.xml" ] || fail "$(basename "$metainfo") is not named after its id '$id'"
  grep -q '<launchable type="desktop-id">pellora.desktop</launchable>' "$metainfo" || fail "the metainfo does not launch pellora.desktop"
  grep -q '<summary xml:lang="ja">' "$metainfo" || fail "no Japanese summary"
  grep -q '<p xml:lang="ja">' "$metainfo" || fail "no Japanese description"
  grep -q "<release version=\"$version\"" "$metainfo" || fail "no release entry for version $version"
fi

# ---------------------------------------------------------------------------
step="installed pellora extracts an archive"
# An installed copy reads ITEM.DAT from $XDG_DATA_HOME/Pellora, never from
# beside the program, even where it could write there (as root). A decoy
# beside the program sends the archive elsewhere, so reading the wrong file
# shows as an extraction into the wrong folder.
export XDG_DATA_HOME=$tmp/home/data
export XDG_CONFIG_HOME=$tmp/home/config
export XDG_CACHE_HOME=$tmp/home/cache
export QT_QPA_PLATFORM=offscreen
export LC_ALL=C.UTF-8
mkdir -p "$XDG_DATA_HOME/Pellora" "$XDG_CONFIG_HOME/Vorn" "$tmp/dl"
printf '[General]\nNoLog=1\n' >"$XDG_CONFIG_HOME/Vorn/Pellora.conf"
printf '"Tool","lh5*.LZH","%s/Tool/",""\r\n' "$tmp" >"$XDG_DATA_HOME/Pellora/ITEM.DAT"
printf '"Decoy","lh5*.LZH","%s/Decoy/",""\r\n' "$tmp" >"$root/bin/ITEM.DAT"
cp "$fixtures/lzh/lh5.lzh" "$tmp/dl/lh5.lzh"
items_before=$(cat "$XDG_DATA_HOME/Pellora/ITEM.DAT")
# timeout only ends a run that waits on a window nobody can answer.
(cd "$tmp" && timeout 120 "$root/bin/pellora" "$tmp/dl/lh5.lzh") >"$tmp/pellora.log" 2>&1
rc=$?
[ "$rc" -eq 0 ] || fail "pellora exited with $rc: $(cat "$tmp/pellora.log")"
[ -e "$tmp/Decoy" ] && fail "the ITEM.DAT beside the installed program was used"
"$cmake" -DMANIFEST="$fixtures/fixtures.json" -DARCHIVE=lzh/lh5.lzh -DFOLDER="$tmp/Tool" \
  -P "$source/tests/install/check_extracted.cmake" >"$tmp/check.log" 2>&1 ||
  fail "$(cat "$tmp/check.log")"
[ "$(cat "$XDG_DATA_HOME/Pellora/ITEM.DAT")" = "$items_before" ] || fail "ITEM.DAT under XDG_DATA_HOME changed"
[ -f "$tmp/dl/lh5.lzh" ] || fail "the archive was not left where it was"
rm -f "$root/bin/ITEM.DAT"

step="installed pellora-arc"
[ "$("$root/bin/pellora-arc" check "$fixtures/lzh/lh5.lzh" 2>&1)" = LZH ] || fail "pellora-arc check does not say LZH"

# ---------------------------------------------------------------------------
step="uninstall the staged copy"
# README's uninstall: every file the manifest lists (it names them without
# DESTDIR), then the data folder.
sed "s|^|$stage|" "$manifest" | xargs -d '\n' rm -f || fail "removing the manifest's files failed"
rm -rf "$root/share/pellora"
left=$(find "$stage" -type f)
[ -z "$left" ] || fail "files left after uninstalling: $left"

# ---------------------------------------------------------------------------
step="install into a prefix"
# As a per-user install does it: no DESTDIR, so the install refreshes the
# applications-by-type cache that GIO reads for "Open with".
prefix=$tmp/prefix
"$cmake" --install "$build" --prefix "$prefix" >"$tmp/install.log" 2>&1 ||
  die "cmake --install --prefix failed: $(cat "$tmp/install.log")"
for type in $mime_types; do
  grep -q "^$type=.*pellora\.desktop;" "$prefix/share/applications/mimeinfo.cache" 2>/dev/null ||
    fail "the install left no mimeinfo.cache entry for $type"
done

step="MIME types"
# The desktop's view: applications and MIME types from the prefix first,
# then the system's; the prefix's bin on PATH, as README asks for a per-user
# install (GIO hides an entry whose program is not on PATH). The
# desktop-environment variable selects the xdg-mime back end: none (it asks
# file(1)) or GNOME (it asks GIO, which reads the shared MIME database).
export PATH=$prefix/bin:$PATH
export XDG_DATA_DIRS=$prefix/share:/usr/local/share:/usr/share
unset XDG_CURRENT_DESKTOP KDE_FULL_SESSION KDE_SESSION_VERSION GNOME_DESKTOP_SESSION_ID MATE_DESKTOP_SESSION_ID DESKTOP_SESSION
for sample in lzh/lh5.lzh tar/tool-1.2.3.tar.xz tar/common.tar.zst tar/common.7z tar/notes.txt.gz; do
  for desktop_env in "" GNOME; do
    type=$(XDG_CURRENT_DESKTOP=$desktop_env xdg-mime query filetype "$fixtures/$sample" 2>"$tmp/xdg.log")
    if [ -z "$type" ]; then
      fail "xdg-mime query filetype $sample (desktop '$desktop_env') gave nothing: $(cat "$tmp/xdg.log")"
    else
      printf '%s\n' "$mime_types" | grep -qx "$type" ||
        fail "xdg-mime query filetype $sample (desktop '$desktop_env') gives $type, which pellora.desktop does not list"
    fi
  done
done
# "Open with": the applications GIO registers for each type include Pellora.
for type in $mime_types; do
  gio mime "$type" >"$tmp/gio.log" 2>&1
  sed -n '/^Registered applications:/,/^[^[:space:]]/p' "$tmp/gio.log" | grep -qx $'\tpellora.desktop' ||
    fail "gio does not register pellora.desktop for $type: $(cat "$tmp/gio.log")"
done
# README's way of making Pellora the default, in the isolated configuration;
# both back ends must then name it.
for type in $mime_types; do
  xdg-mime default pellora.desktop "$type" 2>"$tmp/xdg.log" || fail "xdg-mime default for $type: $(cat "$tmp/xdg.log")"
  for desktop_env in "" GNOME; do
    default=$(XDG_CURRENT_DESKTOP=$desktop_env xdg-mime query default "$type" 2>"$tmp/xdg.log")
    [ "$default" = pellora.desktop ] ||
      fail "xdg-mime query default $type (desktop '$desktop_env') gives '$default' after xdg-mime default"
  done
done

step="uninstall from the prefix"
xargs -d '\n' rm -f <"$manifest" || fail "removing the manifest's files failed"
rm -rf "$prefix/share/pellora"
left=$(find "$prefix" -type f ! -name mimeinfo.cache)
[ -z "$left" ] || fail "files left after uninstalling: $left"

if [ "$failures" -ne 0 ]; then
  echo "install_test: $failures check(s) failed" >&2
  exit 1
fi
echo "install_test: passed"
