#!/usr/bin/env bash
# Drops files with xdnd_drop onto a Wine window, as a Linux file manager would, and checks the
# Windows paths that reach it through WM_DROPFILES; then that a window which takes no files
# refuses the drop.
#
# usage: xdnd_drop_check.sh XDND_DROP DROP_TARGET_EXE
# Runs inside the Wine test run: DISPLAY and WINEPREFIX set, Wine's server started and its
# desktop held (scripts/lib/wine.sh). Without them, or without either program, it skips (77).
set -u
xdnd_drop=$1 drop_target=$2
for needed in DISPLAY WINEPREFIX; do
  [ -n "${!needed:-}" ] || { echo "skipped: no $needed (run it in the Wine test run)"; exit 77; }
done
for program in "$xdnd_drop" "$drop_target"; do
  [ -f "$program" ] || { echo "skipped: $program is not built"; exit 77; }
done

work=$(mktemp -d /tmp/xdnd-check.XXXXXX)
target_pid=
cleanup() {
  if [ -n "$target_pid" ]; then kill "$target_pid" 2>/dev/null; wait "$target_pid" 2>/dev/null; fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

# Wine shows the whole Linux tree as drive Z:.
windows_path() { local p=${1//\//\\}; echo "Z:$p"; }

# Starts drop_target with its caption "Drop target" (ARGS after the output file) and sets
# drop_x drop_y to the middle of its window.
start_target() {
  rm -f "$work/dropped.txt"
  wine "$drop_target" "$(windows_path "$work/dropped.txt")" "$@" </dev/null >/dev/null 2>&1 &
  target_pid=$!
  local window
  window=$(timeout 30 xdotool search --sync --name '^Drop target$' | head -n 1)
  [ -n "$window" ] || fail "no window \"Drop target\" appeared"
  local X Y WIDTH HEIGHT SCREEN WINDOW
  eval "$(xdotool getwindowgeometry --shell "$window")"
  drop_window=$window drop_x=$((X + WIDTH / 2)) drop_y=$((Y + HEIGHT / 2))
}

# A file and a folder whose names hold Chinese, spaces and characters that mean something in
# a URI; the order given is the order the window receives.
file="$work/中文 名 100%#1.txt"
folder="$work/文件 夹"
echo data > "$file"
mkdir "$folder"

start_target
timeout 60 "$xdnd_drop" "$drop_window" "$drop_x" "$drop_y" "$file" "$folder" ||
  fail "xdnd_drop exited with $? on a window that takes files"
timeout 20 tail --pid="$target_pid" -f /dev/null || fail "drop_target did not end after the drop"
target_pid=
printf '%s\n' "$(windows_path "$file")" "$(windows_path "$folder")" > "$work/expected.txt"
diff -u "$work/expected.txt" "$work/dropped.txt" || fail "the window received other paths"

start_target --refuse
timeout 60 "$xdnd_drop" "$drop_window" "$drop_x" "$drop_y" "$file"
status=$?
[ "$status" -eq 2 ] || fail "xdnd_drop exited with $status, not 2, on a window that takes no files"
[ ! -e "$work/dropped.txt" ] || fail "a window that takes no files received some"
echo "passed: dropped files arrived as Windows paths; a window taking none refused them"
