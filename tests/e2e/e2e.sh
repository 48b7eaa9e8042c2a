#!/usr/bin/env bash
# Drives the real program under Xvfb: adds three photos through the open dialog by typing
# their paths, presses "Старт!", places and presses the frame for every photo, and checks
# the wallpapers written into the output folder (the home folder, the program's default).
#   e2e.sh QUARVELLE QV_E2E_PHOTO
set -uo pipefail

program=$1
photo=$2
for tool in Xvfb xdotool; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is not installed" >&2
    exit 77
  fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/quarvelle-e2e.XXXXXX")
xvfb_pid=
program_pid=

cleanup() {
  [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null && wait "$program_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  echo "windows on the display:" >&2
  for id in $(xdotool search --onlyvisible --name '' 2>/dev/null); do
    echo "  $id \"$(xdotool getwindowname "$id" 2>/dev/null)\" $(xdotool getwindowgeometry "$id" 2>/dev/null | tr '\n' ' ')" >&2
  done
  echo "files in the output folder:" >&2
  ls -l "$home" >&2
  if command -v import >/dev/null; then
    shot=$(mktemp "${TMPDIR:-/tmp}/quarvelle-e2e-failure.XXXXXX.png")
    import -window root "$shot" 2>/dev/null && echo "screenshot: $shot" >&2
  fi
  echo "program output:" >&2
  cat "$work/program.log" >&2
  exit 1
}

# Waits up to 10 seconds for a command to succeed.
wait_for() {
  for _ in $(seq 100); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  return 1
}

# Prints "X Y W H" of a window.
geometry() {
  xdotool getwindowgeometry --shell "$1" | awk -F= '/^X=/{x=$2} /^Y=/{y=$2} /^WIDTH=/{w=$2} /^HEIGHT=/{h=$2} END{print x, y, w, h}'
}

visible_window() { xdotool search --onlyvisible --name "$1" | head -n 1; }

# A display nobody uses.
for n in $(seq 91 190); do
  if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then
    display=":$n"
    break
  fi
done
[ -n "${display:-}" ] || { echo "no free X display number" >&2; exit 1; }
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
export DISPLAY=$display
wait_for xdotool getmouselocation || { cat "$work/xvfb.log" >&2; echo "Xvfb did not start" >&2; exit 1; }

home="$work/home"
mkdir -p "$home" "$work/photos"
"$photo" make "$work/photos/first.jpg" 500 300 || exit 1
"$photo" make "$work/photos/второй.jpg" 300 500 || exit 1
"$photo" make "$work/photos/third.JPG" 240 240 || exit 1

# The window names below are the Russian ones, whatever the language of this machine.
HOME="$home" XDG_RUNTIME_DIR="$work" "$program" --lang ru >"$work/program.log" 2>&1 &
program_pid=$!
wait_for visible_window '^Quarvelle v1.5 RC1$' || fail "the main window did not appear"
main=$(visible_window '^Quarvelle v1.5 RC1$')
read -r mx my mw mh < <(geometry "$main")
[ "$mw" -eq 404 ] || fail "main window is $mw pixels wide, not 404"
# The client area is 294 high; the menu bar takes the rest.
menu=$((mh - 294))

# Qt's open dialog, in Russian where Debian's Qt translations are installed.
open_title='^(Открыть|Open)$'
# SpeedButton1, the add button, in GroupBox1 at 8, 237, 33 x 28.
xdotool mousemove $((mx + 8 + 16)) $((my + menu + 237 + 14)) click 1
wait_for visible_window "$open_title" || fail "the open dialog did not appear"
dialog=$(visible_window "$open_title")
xdotool windowfocus --sync "$dialog" 2>/dev/null || true
sleep 0.5
# Letters outside the keymap need a keycode remapped for each; Qt follows that only slowly.
xdotool type --delay 5 "\"$work/photos/first.jpg\" \"$work/photos/"
xdotool type --delay 150 "второй"
xdotool type --delay 5 ".jpg\" \"$work/photos/third.JPG\""
sleep 0.3
xdotool key Return
dialog_gone() { [ -z "$(visible_window "$open_title")" ]; }
if ! wait_for dialog_gone; then
  # A completion popup may have taken the first Return.
  xdotool key Return
  wait_for dialog_gone || fail "the open dialog did not accept the typed paths"
fi

# SpeedButton5, "Старт!", in GroupBox2 (208, 0) at 8, 80, 89 x 33.
xdotool mousemove $((mx + 208 + 8 + 44)) $((my + menu + 80 + 16)) click 1
wait_for visible_window '^Ручная обработка$' || fail "the crop window did not appear after Start"

expected=(first-176x220.JPG vtoroy-176x220.JPG third-176x220.JPG)
for k in 0 1 2; do
  crop=$(visible_window '^Ручная обработка$')
  [ -n "$crop" ] || fail "the crop window is gone before photo $((k + 1))"
  read -r cx cy cw ch < <(geometry "$crop")
  # The frame centres itself under the pointer, so the middle of the picture is on it.
  xdotool mousemove $((cx + cw / 2)) $((cy + ch / 2))
  sleep 0.3
  xdotool click 1
  wait_for test -s "$home/${expected[$k]}" || fail "photo $((k + 1)) did not give ${expected[$k]}"
  sleep 0.3
done

crop_gone() { [ -z "$(visible_window '^Ручная обработка$')" ]; }
wait_for crop_gone || fail "the crop window is still shown after the last photo"

written=$(find "$home" -maxdepth 1 -name '*.JPG' | wc -l)
[ "$written" -eq 3 ] || fail "$written wallpapers written, expected 3"
for name in "${expected[@]}"; do
  size=$("$photo" size "$home/$name") || fail "$name cannot be read back"
  [ "$size" = "176x220" ] || fail "$name is $size, expected 176x220"
done

# "Выйти", the last item of the menu "Файлы", closes the main window and ends the program.
xdotool mousemove $((mx + 20)) $((my + menu / 2)) click 1
sleep 0.5
xdotool key Up
sleep 0.2
xdotool key Return
program_exited() { ! kill -0 "$program_pid" 2>/dev/null; }
wait_for program_exited || fail "the program did not end when its main window closed"
wait "$program_pid"
status=$?
program_pid=
[ "$status" -eq 0 ] || fail "the program ended with status $status"
echo "e2e: 3 photos, 3 wallpapers of 176x220 written and read back"
