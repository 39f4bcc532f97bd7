#!/usr/bin/env bash
# Drives the real program through the dialog for an archive that matches no
# item, as a person would: on an X server of its own, by key presses.
#   no_match_e2e.sh PELLORA_BINARY FIXTURES_FOLDER
# Needs Xvfb and xdotool (scripts/install-deps.sh installs them); without
# them it fails, so a missing tool never passes for a working dialog.
set -uo pipefail

if [ $# -ne 2 ]; then
  echo "usage: $0 PELLORA_BINARY FIXTURES_FOLDER" >&2
  exit 2
fi
binary=$1
fixtures=$2

# The window titles, as the program shows them.
melt_title_suffix=' の解凍'
item_title_prefix='Pellora - 新しいアイテム ('
item_title_suffix=')'

failures=0
step="setting up"
fail() {
  echo "no_match_e2e: FAILED ($step): $*" >&2
  failures=$((failures + 1))
}
die() {
  fail "$@"
  exit 1
}

for tool in Xvfb xdotool; do
  command -v "$tool" >/dev/null || die "$tool is not installed; run scripts/install-deps.sh"
done
[ -x "$binary" ] || die "no program at $binary"
[ -d "$fixtures" ] || die "no fixtures at $fixtures"

tmp=$(mktemp -d "${TMPDIR:-/tmp}/pellora-e2e.XXXXXX") || die "cannot make a temporary folder"
xvfb_pid=""
pellora_pid=""
cleanup() {
  if [ -n "$pellora_pid" ] && kill -0 "$pellora_pid" 2>/dev/null; then
    kill "$pellora_pid" 2>/dev/null
    wait "$pellora_pid" 2>/dev/null
  fi
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
  fi
  rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

# An X server of our own on the first display number nobody uses.
display=""
for n in $(seq 90 140); do
  [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
  Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp >"$tmp/xvfb.log" 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 50); do
    [ -e "/tmp/.X11-unix/X$n" ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.1
  done
  if [ -e "/tmp/.X11-unix/X$n" ] && kill -0 "$xvfb_pid" 2>/dev/null; then
    display=":$n"
    break
  fi
  # Someone took the number in between: try the next one.
  kill "$xvfb_pid" 2>/dev/null
  wait "$xvfb_pid" 2>/dev/null
  xvfb_pid=""
done
[ -n "$display" ] || die "no X server could be started: $(cat "$tmp/xvfb.log" 2>/dev/null)"
export DISPLAY=$display
unset WAYLAND_DISPLAY
export QT_QPA_PLATFORM=xcb
export LC_ALL=C.UTF-8

xdo() { timeout 10 xdotool "$@"; }

# The id of the visible window titled exactly $1, waiting up to $2 seconds.
wait_for_window() {
  local title=$1 limit=$2 id
  local tries=$((limit * 5))
  for _ in $(seq "$tries"); do
    for id in $(xdo search --onlyvisible --name 'Pellora' 2>/dev/null); do
      if [ "$(xdo getwindowname "$id" 2>/dev/null)" = "$title" ]; then
        echo "$id"
        return 0
      fi
    done
    kill -0 "$pellora_pid" 2>/dev/null || return 1
    sleep 0.2
  done
  return 1
}

# Waits up to $1 seconds for the program to end; its exit code in $exit_code.
wait_for_exit() {
  local tries=$(($1 * 5))
  for _ in $(seq "$tries"); do
    if ! kill -0 "$pellora_pid" 2>/dev/null; then
      wait "$pellora_pid"
      exit_code=$?
      pellora_pid=""
      return 0
    fi
    sleep 0.2
  done
  return 1
}

# Gives the keyboard to a window: without a window manager nobody else does.
focus() {
  xdo windowfocus --sync "$1" || xdo windowfocus "$1"
  sleep 0.3
}

# A portable copy of the program in $1: its own ITEM.DAT that matches nothing,
# its own settings (no result window; keeping folder; a harmless file manager).
make_copy() {
  local root=$1
  mkdir -p "$root/app" "$root/config/Vorn" "$root/data" "$root/dl" "$root/keep"
  cp "$binary" "$root/app/pellora" && chmod u+rwx "$root/app/pellora"
  printf '"Nothing","nomatch*.xyz","/nowhere/",""\r\n' >"$root/app/ITEM.DAT"
  cat >"$root/config/Vorn/Pellora.conf" <<CONF
[General]
NoLog=1
ArchiveOperationFolder=$root/keep/
ArchiveOperationTargetFolder=0
DefaultFiler="true "
CONF
}

start_pellora() {
  local root=$1 archive=$2
  XDG_CONFIG_HOME="$root/config" XDG_DATA_HOME="$root/data" \
    "$root/app/pellora" "$archive" >"$root/pellora.log" 2>&1 &
  pellora_pid=$!
}

# The extracted tree of the fixtures' usual content.
check_extracted() {
  local target=$1
  for f in readme.txt doc/manual.txt doc/data.bin empty.txt deep/a/b/c.txt; do
    [ -f "$target/$f" ] || fail "$target/$f was not extracted"
  done
  local sum
  sum=$(sha256sum "$target/readme.txt" 2>/dev/null | cut -d' ' -f1)
  [ "$sum" = 8acd43e52970d39ddf8f3e966098daa3c5848df2e33721781ac9f45ff0bbb3ae ] \
    || fail "readme.txt has other content than in the archive"
}

setting_is() {
  grep -qx "$2" "$1/config/Vorn/Pellora.conf" || fail "the settings do not hold $2: $(tr '\n' ' ' <"$1/config/Vorn/Pellora.conf")"
}

show_log() {
  [ -s "$1/pellora.log" ] && sed 's/^/  pellora: /' "$1/pellora.log" >&2
}

# 1. Extract once: choose "copy" and the file manager, type the folder, Enter.
step="extract into a typed folder"
root="$tmp/first"
make_copy "$root"
cp "$fixtures/zip/deflate.zip" "$root/dl/"
start_pellora "$root" "$root/dl/deflate.zip"
if id=$(wait_for_window "Pellora - deflate.zip$melt_title_suffix" 30); then
  focus "$id"
  xdo key --clearmodifiers alt+c alt+e alt+f ctrl+a
  xdo type --delay 10 "$root/out/First"
  xdo key Return
  if wait_for_exit 60; then
    [ "$exit_code" -eq 0 ] || fail "the program ended with code $exit_code"
    check_extracted "$root/out/First"
    setting_is "$root" "ArchiveOperation=3"
    setting_is "$root" "RunExplorer=1"
    [ -f "$root/keep/deflate.zip" ] || fail "the archive was not copied to the keeping folder"
    [ -f "$root/dl/deflate.zip" ] || fail "copying took the archive away"
  else
    fail "the program did not end after Enter"
  fi
else
  fail "the dialog did not appear"
fi
show_log "$root"
[ -n "$pellora_pid" ] && { kill "$pellora_pid" 2>/dev/null; wait "$pellora_pid" 2>/dev/null; pellora_pid=""; }

# 2. Add as a new item: Alt+A, name the software in the editor, Enter.
step="add as a new item"
root="$tmp/second"
make_copy "$root"
cp "$fixtures/lzh/lh5.lzh" "$root/dl/"
start_pellora "$root" "$root/dl/lh5.lzh"
if id=$(wait_for_window "Pellora - lh5.lzh$melt_title_suffix" 30); then
  focus "$id"
  xdo key --clearmodifiers alt+f ctrl+a
  xdo type --delay 10 "$root/out/Second"
  xdo key --clearmodifiers alt+a
  if editor=$(wait_for_window "$item_title_prefix""lh5.lzh$item_title_suffix" 30); then
    focus "$editor"
    # The software name is empty unless "AddFolderName" filled it.
    xdo key --clearmodifiers alt+n ctrl+a
    xdo type --delay 10 "E2E Tool"
    xdo key Return
    if wait_for_exit 60; then
      [ "$exit_code" -eq 0 ] || fail "the program ended with code $exit_code"
      check_extracted "$root/out/Second"
      expected=$(printf '"Nothing","nomatch*.xyz","/nowhere/",""\r\n"E2E Tool","lh*.lzh","%s/out/Second/",""\r' "$root")
      actual=$(cat "$root/app/ITEM.DAT" 2>/dev/null)
      [ "$actual" = "$expected" ] || fail "ITEM.DAT holds $(printf '%q' "$actual"), not $(printf '%q' "$expected")"
      grep -q '^ArchiveOperation=' "$root/config/Vorn/Pellora.conf" \
        && fail "adding stored the dialog's archive option"
    else
      fail "the program did not end after OK in the editor"
    fi
  else
    fail "the item editor did not appear after Alt+A"
  fi
else
  fail "the dialog did not appear"
fi
show_log "$root"

if [ "$failures" -ne 0 ]; then
  echo "no_match_e2e: $failures check(s) failed" >&2
  exit 1
fi
echo "no_match_e2e: both cases passed"
