#!/usr/bin/env bash
# Drives the real program under Xvfb on a screen of 1600 x 1200: adds three photos through the
# open dialog by typing their paths, presses "Старт!", places and presses the frame for every
# photo, goes back one photo with Backspace and confirms it again with Return, places the last
# frame with End and Shift+Left, and checks the wallpapers written into the output folder (the
# home folder, the program's default). Then adds the size 1080x2400 in the settings window and
# runs a job of two large photos at 176x220 (the second passed over with Space) and 1080x2400,
# whose crop window is shown scaled: it must lie within the screen, and a press at its left
# end and a frame placed with the keys must write the very bytes quarvelle-cut writes there.
# Last, a PNG and a HEIC photo at both sizes.
#   e2e.sh QUARVELLE QV_E2E_PHOTO QUARVELLE_CUT
set -uo pipefail

program=$1
photo=$2
cut=$3
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
# -noreset: by default the server resets when its last client leaves, and a program
# connecting just after the readiness probe's disconnect would find no display.
Xvfb "$display" -screen 0 1600x1200x24 -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
export DISPLAY=$display
wait_for xdotool getmouselocation || { cat "$work/xvfb.log" >&2; echo "Xvfb did not start" >&2; exit 1; }

# With a Russian layout beside the US one, xdotool types Cyrillic letters by switching the
# group; letters outside the keymap would need a keycode remapped for each, which Qt follows
# only slowly and a loaded machine loses.
if setxkbmap -layout us,ru 2>/dev/null; then cyrillic_delay=20; else cyrillic_delay=150; fi

home="$work/home"
mkdir -p "$home" "$work/photos"
"$photo" make "$work/photos/first.jpg" 500 300 || exit 1
"$photo" make "$work/photos/второй.jpg" 300 500 || exit 1
"$photo" make "$work/photos/third.JPG" 240 240 || exit 1

# The window names below are the Russian ones, whatever the language of this machine.
HOME="$home" XDG_RUNTIME_DIR="$work" XDG_CONFIG_HOME="$work/config" "$program" --lang ru >"$work/program.log" 2>&1 &
program_pid=$!
wait_for visible_window '^Quarvelle v1.5 RC1$' || fail "the main window did not appear"
main=$(visible_window '^Quarvelle v1.5 RC1$')
read -r mx my mw mh < <(geometry "$main")
[ "$mw" -eq 404 ] || fail "main window is $mw pixels wide, not 404"
# The client area is 294 high; the menu bar takes the rest.
menu=$((mh - 294))

# Qt's open dialog, in Russian where Debian's Qt translations are installed.
open_title='^(Открыть|Open)$'
dialog_gone() { [ -z "$(visible_window "$open_title")" ]; }
# Lists photos through the open dialog: types the text given, which names them quoted.
add_photos() {
  # SpeedButton1, the add button, in GroupBox1 at 8, 237, 33 x 28.
  xdotool mousemove $((mx + 8 + 16)) $((my + menu + 237 + 14)) click 1
  wait_for visible_window "$open_title" || fail "the open dialog did not appear"
  dialog=$(visible_window "$open_title")
  xdotool windowfocus --sync "$dialog" 2>/dev/null || true
  sleep 0.5
  "$@"
  sleep 0.3
  xdotool key Return
  if ! wait_for dialog_gone; then
    # A completion popup may have taken the first Return.
    xdotool key Return
    wait_for dialog_gone || fail "the open dialog did not accept the typed paths"
  fi
}
type_first_three() {
  xdotool type --delay 5 "\"$work/photos/first.jpg\" \"$work/photos/"
  xdotool type --delay "$cyrillic_delay" "второй"
  xdotool type --delay 5 ".jpg\" \"$work/photos/third.JPG\""
}
add_photos type_first_three

# SpeedButton5, "Старт!", in GroupBox2 (208, 0) at 8, 80, 89 x 33.
press_start() { xdotool mousemove $((mx + 208 + 8 + 44)) $((my + menu + 80 + 16)) click 1; }
press_start
crop='Ручная обработка — '
wait_for visible_window "^${crop}176x220, 1 / 3\$" || fail "the crop window did not appear after Start"

# Presses the middle of the unscaled crop window's picture and waits for the file it writes.
# The frame centres itself under the pointer, so the middle of the picture is on it.
press_middle() {
  local what=$1 output=$2 caption=$3 window
  wait_for visible_window "^$crop$caption\$" || fail "no crop window \"$crop$caption\" for $what"
  window=$(visible_window "^$crop$caption\$")
  read -r cx cy cw ch < <(geometry "$window")
  xdotool mousemove $((cx + cw / 2)) $((cy + ch / 2))
  sleep 0.3
  xdotool click 1
  wait_for test -s "$home/$output" || fail "$what did not give $output"
  sleep 0.3
}

# Round half to even of NUMERATOR / DENOMINATOR, both not negative.
round_div() {
  local q=$(($1 / $2)) r=$(($1 % $2))
  if [ $((2 * r)) -gt "$2" ] || { [ $((2 * r)) -eq "$2" ] && [ $((q % 2)) -eq 1 ]; }; then q=$((q + 1)); fi
  echo "$q"
}
# Fails unless FILE is the very bytes quarvelle-cut writes: FILE SOURCE SIZE OFFSET.
same_as_cut() {
  "$cut" --size "$3" --offset "$4" "$2" "$work/reference.jpg" >/dev/null || fail "quarvelle-cut failed on $2"
  cmp -s "$1" "$work/reference.jpg" || fail "$(basename "$1") is not what quarvelle-cut --size $3 --offset $4 writes"
}
has_keyboard() { [ "$(xdotool getwindowfocus 2>/dev/null)" = "$1" ]; }
# The keys go to the crop window, which takes the keyboard when it shows.
keys() {
  local key
  for key in "$@"; do
    xdotool key "$key"
    sleep 0.1
  done
}

expected=(first-176x220.JPG vtoroy-176x220.JPG third-176x220.JPG)
press_middle first "${expected[0]}" "176x220, 1 / 3"
press_middle второй "${expected[1]}" "176x220, 2 / 3"
# Backspace shows the second photo again; Return confirms it where it was confirmed, through
# a new file in the place of the first.
wait_for visible_window "^${crop}176x220, 3 / 3\$" || fail "no crop window for the third photo"
cp "$home/${expected[1]}" "$work/second.jpg"
before=$(stat -c %i "$home/${expected[1]}")
keys BackSpace
wait_for visible_window "^${crop}176x220, 2 / 3\$" || fail "Backspace did not go back to the second photo"
keys Return
wait_for visible_window "^${crop}176x220, 3 / 3\$" || fail "Return did not confirm the second photo again"
[ "$(stat -c %i "$home/${expected[1]}")" != "$before" ] || fail "confirming again did not write ${expected[1]} anew"
cmp -s "$home/${expected[1]}" "$work/second.jpg" || fail "confirming again where it stood changed ${expected[1]}"
# 240 x 240 is fitted to 220 x 220: End puts the frame at 44, Shift+Left moves it back by
# round(220 / 10) = 22, and the keypad's Enter confirms it there.
keys End shift+Left KP_Enter
wait_for test -s "$home/${expected[2]}" || fail "End, Shift+Left and Enter did not give ${expected[2]}"
same_as_cut "$home/${expected[2]}" "$work/photos/third.JPG" 176x220 22

crop_gone() { [ -z "$(visible_window "^$crop")" ]; }
wait_for crop_gone || fail "the crop window is still shown after the last photo"

written=$(find "$home" -maxdepth 1 -name '*.JPG' | wc -l)
[ "$written" -eq 3 ] || fail "$written wallpapers written, expected 3"
for name in "${expected[@]}"; do
  size=$("$photo" size "$home/$name") || fail "$name cannot be read back"
  [ "$size" = "176x220" ] || fail "$name is $size, expected 176x220"
done

# An added size: "Настройки" (SpeedButton6, GroupBox2 at 96, 80, 89 x 33), then the settings
# window's add button (481, 12, 24 x 22) and the size typed into the size box.
xdotool mousemove $((mx + 208 + 96 + 44)) $((my + menu + 80 + 16)) click 1
wait_for visible_window '^Настройки$' || fail "the settings window did not appear"
settings=$(visible_window '^Настройки$')
read -r sx sy _ _ < <(geometry "$settings")
xdotool mousemove $((sx + 481 + 12)) $((sy + 12 + 11)) click 1
wait_for visible_window '^Добавить размер$' || fail "the size box did not appear"
xdotool windowfocus --sync "$(visible_window '^Добавить размер$')" 2>/dev/null || true
sleep 0.3
xdotool type --delay 20 "1080x2400"
xdotool key Return
size_box_gone() { [ -z "$(visible_window '^Добавить размер$')" ]; }
wait_for size_box_gone || fail "the size box did not take 1080x2400"
wait_for grep -q '^added=1080x2400$' "$work/config/Quarvelle/Quarvelle.conf" ||
  fail "1080x2400 is not kept in $work/config/Quarvelle/Quarvelle.conf"
# "Применить" (348, 272, 71 x 25).
xdotool mousemove $((sx + 348 + 35)) $((sy + 272 + 12)) click 1
wait_for eval '[ -z "$(visible_window "^Настройки$")" ]' || fail "the settings window did not close"

"$photo" make "$work/photos/big1.jpg" 3000 2000 || exit 1
cp "$work/photos/big1.jpg" "$work/photos/big2.jpg"
type_large_two() { xdotool type --delay 5 "\"$work/photos/big1.jpg\" \"$work/photos/big2.jpg\""; }
add_photos type_large_two
press_start
# 176x220 first: the first pressed anywhere on the frame, the second passed over with Space.
press_middle "big1 at 176x220" big1-176x220.JPG "176x220, 1 / 2"
wait_for visible_window "^${crop}176x220, 2 / 2\$" || fail "no crop window for big2 at 176x220"
keys space

# 3000 x 2000 is fitted to 3600 x 2400 for 1080x2400; without a window manager the whole
# screen is room, so the view is 1600 x 1067 (4/9), the frame 480 wide and its positions
# 0 .. 1120 stand for the offsets 0 .. 2520. The first is pressed at the left end; the
# second's frame is put at 1120 - 160 - 1 = 959 with End, Shift+Left and Left, which stands
# for round(959 * 2520 / 1120) = 2158.
read -r fitted < <("$cut" --size 1080x2400 --offset 0 "$work/photos/big1.jpg" "$work/ref-0.jpg" | sed -n 's/.*display=\([0-9]*\)x.*/\1/p')
[ "$fitted" = 3600 ] || fail "quarvelle-cut fits 3000 x 2000 to a width of $fitted, not 3600"
n=0
for name in big1 big2; do
  caption="1080x2400, $((n + 1)) / 2 — 44%"
  wait_for visible_window "^$crop$caption\$" || fail "no scaled crop window \"$crop$caption\" for $name"
  window=$(visible_window "^$crop$caption\$")
  read -r cx cy cw ch < <(geometry "$window")
  [ "$cx" -ge 0 ] && [ "$cy" -ge 0 ] && [ $((cx + cw)) -le 1600 ] && [ $((cy + ch)) -le 1200 ] ||
    fail "the scaled crop window at $cx,$cy ${cw}x$ch leaves the screen of 1600 x 1200"
  [ "$cw" -eq 1600 ] && [ "$ch" -eq 1067 ] || fail "the scaled crop window is ${cw}x$ch, not 1600x1067"
  frame=$(((1080 * cw * 2 + fitted) / (2 * fitted)))
  if [ "$n" -eq 0 ]; then
    # The frame's centre follows the pointer, here at the left end.
    xdotool mousemove $((cx + frame / 2)) $((cy + ch / 2))
    sleep 0.3
    xdotool click 1
  else
    keys End shift+Left Left Return
  fi
  wait_for test -s "$home/$name-1080x2400.JPG" || fail "$name did not give $name-1080x2400.JPG"
  n=$((n + 1))
done
wait_for crop_gone || fail "the crop window is still shown after the job at 1080x2400"
cmp -s "$home/big1-1080x2400.JPG" "$work/ref-0.jpg" || fail "the press at the left end did not cut at offset 0"
view=$((cw - frame - 160 - 1))
same_as_cut "$home/big2-1080x2400.JPG" "$work/photos/big2.jpg" 1080x2400 "$(round_div $((view * (fitted - 1080))) $((cw - frame)))"
[ ! -e "$home/big2-176x220.JPG" ] || fail "big2 was passed over at 176x220 but big2-176x220.JPG was written"

# Photos in PNG and HEIC (made by libpng and libheif) go through the same windows: each at
# 176x220 with Home, then at 1080x2400 with End, confirmed with Return, and the wallpapers are
# quarvelle-cut's from the same files at offset 0 and at the last offset.
"$photo" make "$work/photos/fifth.png" 300 200 || exit 1
"$photo" make "$work/photos/sixth.heic" 200 300 || exit 1
type_formats() { xdotool type --delay 5 "\"$work/photos/fifth.png\" \"$work/photos/sixth.heic\""; }
add_photos type_formats
press_start
for size in 176x220 1080x2400; do
  n=1
  for source in fifth.png sixth.heic; do
    name=${source%.*}
    caption="^$crop$size, $n / 2"
    if [ "$size" = 176x220 ]; then caption="$caption\$"; else caption="$caption — [0-9]+%\$"; fi
    wait_for visible_window "$caption" || fail "no crop window \"$caption\" for $source"
    # Keys sent before the window has the keyboard would go to the main window.
    window=$(visible_window "$caption")
    wait_for has_keyboard "$window" || fail "the crop window \"$caption\" did not take the keyboard"
    if [ "$size" = 176x220 ]; then
      keys Home Return
      offset=0
    else
      keys End Return
      read -r fitted_w fitted_h < <("$cut" --size "$size" --offset 0 "$work/photos/$source" "$work/reference.jpg" |
        sed -n 's/.*display=\([0-9]*\)x\([0-9]*\).*/\1 \2/p')
      offset=$((fitted_w - 1080 + fitted_h - 2400))
    fi
    wait_for test -s "$home/$name-$size.JPG" || fail "$source did not give $name-$size.JPG"
    same_as_cut "$home/$name-$size.JPG" "$work/photos/$source" "$size" "$offset"
    n=$((n + 1))
  done
done
wait_for crop_gone || fail "the crop window is still shown after the job of a PNG and a HEIC"

# "Выйти", the last item of the menu "Файлы", closes the main window and ends the program.
# The keys go to the menu only once it has opened; a menu still opening when Up came is
# closed with Escape and opened again, up to three times.
program_exited() { ! kill -0 "$program_pid" 2>/dev/null; }
for attempt in 1 2 3; do
  xdotool mousemove $((mx + 20)) $((my + menu / 2)) click 1
  sleep 0.5
  xdotool key Up
  sleep 0.2
  xdotool key Return
  for _ in $(seq 30); do program_exited && break; sleep 0.1; done
  program_exited && break
  echo "e2e: the menu did not take \"Выйти\" (attempt $attempt)" >&2
  xdotool key Escape
  sleep 0.3
done
wait_for program_exited || fail "the program did not end when \"Выйти\" was chosen from its menu"
wait "$program_pid"
status=$?
program_pid=
[ "$status" -eq 0 ] || fail "the program ended with status $status"
echo "e2e: 3 photos, 3 wallpapers of 176x220 written and read back (one confirmed again after Backspace, one placed with End and Shift+Left); 2 large photos at 176x220 (one passed over with Space) and an added 1080x2400, cut in a scaled window at its left end and where the keys put the frame; a PNG and a HEIC at both sizes"
