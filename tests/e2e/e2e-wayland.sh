#!/usr/bin/env bash
# Drives the real program natively on Wayland, in a headless sway of 1600 x 1200 with a
# virtual pointer and keyboard: adds four photos through the open dialog by typing their
# paths, presses "Старт!" and works through them with the mouse and the keys, checking
# that the frame stands under the pointer when the crop window first shows beneath it and
# when the pointer only enters it, and comparing every wallpaper byte for byte with what
# quarvelle-cut writes at the same offset. Then adds the size 1080x2400 and cuts a portrait
# photo of 4000 x 6000, whose scaled crop window must lie wholly on the screen, title bar
# included. Skips (77) only where the compositor cannot start.
#   e2e-wayland.sh QUARVELLE QV_E2E_PHOTO QUARVELLE_CUT QV_E2E_WAYLAND_INPUT
# With QV_E2E_SHOTS set to a folder, the screen at the frame checks is kept there as PNGs.
set -uo pipefail

program=$1
photo=$2
cut=$3
input=$4
here=$(dirname "${BASH_SOURCE[0]}")
# shellcheck source=wayland-session.sh
. "$here/wayland-session.sh"

why=$(sway_missing)
if [ -n "$why" ]; then
  echo "SKIP: $why" >&2
  exit 77
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/quarvelle-e2e-wayland.XXXXXX")
program_pid=
cleanup() {
  if [ -n "$program_pid" ]; then
    kill "$program_pid" 2>/dev/null
    wait "$program_pid" 2>/dev/null
  fi
  stop_session
  rm -rf "$work"
}
trap cleanup EXIT

if ! start_sway; then
  echo "SKIP: the headless compositor cannot start here: $(grep -m 1 -i 'error' "$work/sway.log" || tail -n 1 "$work/sway.log")" >&2
  exit 77
fi
start_input || { echo "FAIL: the virtual pointer and keyboard could not be made" >&2; exit 1; }

home="$work/home"
fail() {
  echo "FAIL: $*" >&2
  echo "windows on the screen:" >&2
  swaymsg -t get_tree 2>/dev/null | jq -r '.. | objects | select(.pid? != null) |
    "  \"\(.name)\" at \(.rect.x),\(.rect.y) \(.rect.width)x\(.rect.height)"' >&2
  echo "files in the output folder:" >&2
  ls -l "$home" >&2
  local shot
  shot=$(mktemp "${TMPDIR:-/tmp}/quarvelle-e2e-wayland-failure.XXXXXX.ppm")
  shoot "$shot" && echo "screenshot: $shot" >&2
  echo "program output:" >&2
  cat "$work/program.log" >&2
  exit 1
}
act() { send "$@" || fail "the compositor did not take \"$*\""; }

# Waits up to 10 seconds for a command to succeed.
wait_for() {
  for _ in $(seq 100); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  return 1
}

# "X Y W H" of the client area of the window whose whole title matches, or nothing.
window() { tree_rect "^$1\$" | cut -d' ' -f1-4; }
shown() { [ -n "$(window "$1")" ]; }
# The geometry of a window once the compositor has placed it: the same in two readings
# 0.2 seconds apart (a window just mapped is moved to its place a moment later).
settled() {
  local last now
  last=$(window "$1")
  for _ in $(seq 50); do
    sleep 0.2
    now=$(window "$1")
    [ -n "$now" ] && [ "$now" = "$last" ] && break
    last=$now
  done
  echo "$now"
}
gone() { [ -z "$(window "$1")" ]; }
# The compositor gives the keyboard to the window whose whole title matches; keys sent
# before would go elsewhere.
focused() {
  swaymsg -t get_tree 2>/dev/null |
    jq -e --arg title "^$1\$" '[.. | objects | select(.focused? == true and (.name // "" | test($title)))] | length > 0'
}

# Round half to even of NUMERATOR / DENOMINATOR, both not negative.
round_div() {
  local q=$(($1 / $2)) r=$(($1 % $2))
  if [ $((2 * r)) -gt "$2" ] || { [ $((2 * r)) -eq "$2" ] && [ $((q % 2)) -eq 1 ]; }; then q=$((q + 1)); fi
  echo "$q"
}

# The lime frame's "LEFT TOP RIGHT BOTTOM" on the screen within X Y W H, or "none".
frame_in() {
  shoot "$work/shot.ppm" || return 1
  "$photo" frame "$work/shot.ppm" "$@"
}
# Succeeds when the frame's top left corner stands at X Y and it is W x H: X Y W H AREA...
frame_at() {
  local x=$1 y=$2 w=$3 h=$4 l t r b
  shift 4
  read -r l t r b < <(frame_in "$@")
  [ "$l" = "$x" ] && [ "$t" = "$y" ] && [ $((r - l + 1)) = "$w" ] && [ $((b - t + 1)) = "$h" ]
}

# Keeps the screen as NAME.png in $QV_E2E_SHOTS, when it is set, to look at.
keep_shot() {
  [ -n "${QV_E2E_SHOTS:-}" ] || return 0
  mkdir -p "$QV_E2E_SHOTS" && shoot "$work/kept.ppm" && convert "$work/kept.ppm" "$QV_E2E_SHOTS/$1.png"
}

# The wallpaper quarvelle-cut writes: SOURCE SIZE OFFSET OUTPUT; prints the fitted "W H".
reference() {
  "$cut" --size "$2" --offset "$3" "$1" "$4" | sed -n 's/.*display=\([0-9]*\)x\([0-9]*\).*/\1 \2/p'
}
# Fails unless the file the job wrote is the very bytes quarvelle-cut writes there.
same_as_cut() {
  local written=$1 source=$2 size=$3 offset=$4
  reference "$source" "$size" "$offset" "$work/reference.jpg" >/dev/null || fail "quarvelle-cut failed on $source"
  cmp -s "$home/$written" "$work/reference.jpg" ||
    fail "$written is not what quarvelle-cut --size $size --offset $offset writes"
}

mkdir -p "$home" "$work/photos" "$work/program-run"
chmod 700 "$work/program-run"
"$photo" make "$work/photos/first.jpg" 500 300 || exit 1
"$photo" make "$work/photos/второй.jpg" 300 500 || exit 1
"$photo" make "$work/photos/third.JPG" 240 240 || exit 1
"$photo" make "$work/photos/fourth.jpg" 440 300 || exit 1

# Under LeakSanitizer (the suite's sanitizer build): Qt's Wayland platform keeps its registry,
# the compositor's globals and the seat's devices for the life of the process and never frees
# them, and asks for an activation token whenever its focus moves without freeing the token
# objects. As it never lets go of the display either, a window surface it destroyed while an
# event for it was still queued is never freed, and what Mesa's EGL sets up once when Qt asks
# it whether the compositor takes EGL buffers stays too; all of it Qt's own. They are
# suppressed by the names of Qt's functions, which only full stacks show; the suppressions the
# suite gives stay in force.
sanitizer_env=()
if [ -n "${ASAN_OPTIONS:-}${LSAN_OPTIONS:-}" ]; then
  given=$(sed -n 's/.*suppressions=\([^:]*\).*/\1/p' <<<"${LSAN_OPTIONS:-}")
  { [ -n "$given" ] && cat "$given"
    echo "leak:QtWaylandClient::QWaylandDisplay::QWaylandDisplay"
    echo "leak:QtWaylandClient::QWaylandDisplay::initialize"
    echo "leak:QtWaylandClient::QWaylandDisplay::registry_global"
    echo "leak:QtWaylandClient::QWaylandXdgActivationV1::requestXdgActivationToken"
    echo "leak:QtWaylandClient::QWaylandDisplay::createSurface"
    echo "leak:QtWaylandClient::QWaylandEglClientBufferIntegration::initialize"; } >"$work/lsan.supp"
  rest=$(sed 's/suppressions=[^:]*:\{0,1\}//' <<<"${LSAN_OPTIONS:-}")
  sanitizer_env=(ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}fast_unwind_on_malloc=0"
                 LSAN_OPTIONS="${rest:+$rest:}suppressions=$work/lsan.supp")
fi
env "${sanitizer_env[@]}" HOME="$home" XDG_RUNTIME_DIR="$work/program-run" XDG_CONFIG_HOME="$work/config" \
  QT_QPA_PLATFORM=wayland WAYLAND_DISPLAY="$wayland_socket" "$program" --lang ru >"$work/program.log" 2>&1 &
program_pid=$!
title='Quarvelle v1\.5 RC1'
wait_for shown "$title" || fail "the main window did not appear"
read -r mx my mw mh < <(settled "$title")
[ "$mw" -eq 404 ] || fail "main window is $mw pixels wide, not 404"
# The client area is 294 high; the menu bar takes the rest.
menu=$((mh - 294))

open_title='(Открыть|Open)'
click() { act move "$1" "$2" && act press; }
# Lists photos through the open dialog: the text typed names them quoted.
add_photos() {
  # SpeedButton1, the add button, in GroupBox1 at 8, 237, 33 x 28.
  click $((mx + 8 + 16)) $((my + menu + 237 + 14))
  wait_for focused "$open_title" || fail "the open dialog did not appear with the keyboard"
  # Qt puts its own focus on the name field as the dialog shows.
  sleep 0.3
  act type "$1"
  sleep 0.3
  act key Return
  if ! wait_for gone "$open_title"; then
    # A completion popup may have taken the first Return.
    act key Return
    wait_for gone "$open_title" || fail "the open dialog did not accept the typed paths"
  fi
}
add_photos "\"$work/photos/first.jpg\" \"$work/photos/второй.jpg\" \"$work/photos/third.JPG\" \"$work/photos/fourth.jpg\""

crop='Ручная обработка — '
# SpeedButton5, "Старт!", in GroupBox2 (208, 0) at 8, 80, 89 x 33.
px=$((mx + 208 + 8 + 44))
py=$((my + menu + 80 + 16))
click "$px" "$py"
wait_for shown "${crop}176x220, 1 / 4" || fail "no crop window \"${crop}176x220, 1 / 4\" after Start"

# 1. The crop window shows beneath the pointer, which stays where it pressed Start: the frame
# (176 x 220 of a 367 x 220 view) is centred under it at once, no move needed.
read -r cx cy cw ch < <(settled "${crop}176x220, 1 / 4")
[ "$px" -ge $((cx + 88)) ] && [ "$px" -le $((cx + cw - 88)) ] && [ "$py" -ge "$cy" ] && [ "$py" -lt $((cy + ch)) ] ||
  fail "the crop window at $cx,$cy ${cw}x$ch did not show where the frame can centre under the pointer at $px,$py"
first=$((px - cx - 88))
wait_for frame_at $((cx + first)) "$cy" 176 220 "$cx" "$cy" "$cw" "$ch" ||
  fail "the frame is at $(frame_in "$cx" "$cy" "$cw" "$ch"), not centred under the pointer at $px when the window first showed"
keep_shot first-showing
act press
wait_for test -s "$home/first-176x220.JPG" || fail "the press on the first photo wrote no first-176x220.JPG"
same_as_cut first-176x220.JPG "$work/photos/first.jpg" 176x220 "$first"

# 2. The pointer leaves and comes back in one motion: the frame follows the entry alone.
wait_for shown "${crop}176x220, 2 / 4" || fail "no crop window for the second photo"
read -r cx cy cw ch < <(settled "${crop}176x220, 2 / 4")
[ "$cw" -eq 176 ] || fail "the second photo's view is $cw wide, not 176"
act move 5 5
act move $((cx + 88)) $((cy + 150))
wait_for frame_at "$cx" $((cy + 150 - 110)) 176 220 "$cx" "$cy" "$cw" "$ch" ||
  fail "the frame is at $(frame_in "$cx" "$cy" "$cw" "$ch"), not centred under the pointer that entered at $((cy + 150))"
keep_shot entered

# 3. Backspace shows the first photo again with its frame where it was confirmed; Return
# confirms it again, through a new file in its place.
before=$(stat -c %i "$home/first-176x220.JPG")
wait_for focused "${crop}176x220, 2 / 4" || fail "the crop window does not have the keyboard"
act key BackSpace
wait_for shown "${crop}176x220, 1 / 4" || fail "Backspace did not go back to the first photo"
read -r cx cy cw ch < <(settled "${crop}176x220, 1 / 4")
wait_for frame_at $((cx + first)) "$cy" 176 220 "$cx" "$cy" "$cw" "$ch" ||
  fail "after Backspace the frame is at $(frame_in "$cx" "$cy" "$cw" "$ch"), not where it was confirmed ($((cx + first)))"
act key Return
wait_for shown "${crop}176x220, 2 / 4" || fail "Return after Backspace did not move on to the second photo"
[ "$(stat -c %i "$home/first-176x220.JPG")" != "$before" ] || fail "confirming again did not write first-176x220.JPG anew"
same_as_cut first-176x220.JPG "$work/photos/first.jpg" 176x220 "$first"

# 4. The keys place the frame of the second photo (vertical travel): Home, two Shift+Down of
# a tenth of the view each, three Down and one Up; Return confirms there.
read -r cx cy cw ch < <(settled "${crop}176x220, 2 / 4")
read -r _ view < <(reference "$work/photos/второй.jpg" 176x220 0 "$work/reference.jpg")
[ "$ch" -eq "$view" ] || fail "the second photo's view is $ch high, quarvelle-cut fits it to $view"
step=$(round_div "$view" 10)
second=$((2 * step + 2))
[ "$second" -le $((view - 220)) ] || fail "the keys' offset $second would run past the end $((view - 220))"
for key in Home shift+Down shift+Down Down Down Down Up; do act key "$key"; done
wait_for frame_at "$cx" $((cy + second)) 176 220 "$cx" "$cy" "$cw" "$ch" ||
  fail "the keys put the frame at $(frame_in "$cx" "$cy" "$cw" "$ch"), not at $second"
act key Return
wait_for test -s "$home/vtoroy-176x220.JPG" || fail "Return on the second photo wrote no vtoroy-176x220.JPG"
same_as_cut vtoroy-176x220.JPG "$work/photos/второй.jpg" 176x220 "$second"

# 5. Space passes over the third photo; End and Shift+Left place the fourth's frame and the
# keypad's Enter confirms it, which ends the job.
wait_for shown "${crop}176x220, 3 / 4" || fail "no crop window for the third photo"
act key space
wait_for shown "${crop}176x220, 4 / 4" || fail "Space did not pass over the third photo"
read -r cx cy cw ch < <(settled "${crop}176x220, 4 / 4")
read -r view _ < <(reference "$work/photos/fourth.jpg" 176x220 0 "$work/reference.jpg")
[ "$cw" -eq "$view" ] || fail "the fourth photo's view is $cw wide, quarvelle-cut fits it to $view"
fourth=$((view - 176 - $(round_div "$view" 10)))
act key End
act key shift+Left
wait_for frame_at $((cx + fourth)) "$cy" 176 220 "$cx" "$cy" "$cw" "$ch" ||
  fail "End and Shift+Left put the frame at $(frame_in "$cx" "$cy" "$cw" "$ch"), not at $fourth"
act key KP_Enter
wait_for test -s "$home/fourth-176x220.JPG" || fail "Enter on the fourth photo wrote no fourth-176x220.JPG"
same_as_cut fourth-176x220.JPG "$work/photos/fourth.jpg" 176x220 "$fourth"
wait_for gone "${crop}.*" || fail "the crop window is still shown after the last photo"
written=$(find "$home" -maxdepth 1 -name '*.JPG' | sort | xargs -n 1 basename | tr '\n' ' ')
[ "$written" = "first-176x220.JPG fourth-176x220.JPG vtoroy-176x220.JPG " ] ||
  fail "the job wrote $written; the third photo was passed over"

# An added size: "Настройки" (SpeedButton6, GroupBox2 at 96, 80, 89 x 33), then the settings
# window's add button (481, 12, 24 x 22) and the size typed into the size box.
click $((mx + 208 + 96 + 44)) $((my + menu + 80 + 16))
wait_for shown 'Настройки' || fail "the settings window did not appear"
read -r sx sy _ _ < <(settled 'Настройки')
click $((sx + 481 + 12)) $((sy + 12 + 11))
wait_for focused 'Добавить размер' || fail "the size box did not appear with the keyboard"
sleep 0.3
act type 1080x2400
act key Return
wait_for gone 'Добавить размер' || fail "the size box did not take 1080x2400"
wait_for grep -q '^added=1080x2400$' "$work/config/Quarvelle/Quarvelle.conf" ||
  fail "1080x2400 is not kept in $work/config/Quarvelle/Quarvelle.conf"
# "Применить" (348, 272, 71 x 25).
click $((sx + 348 + 35)) $((sy + 272 + 12))
wait_for gone 'Настройки' || fail "the settings window did not close"

# 6. A portrait photo at 176x220 (pressed where the frame stands under the pointer), then at
# 1080x2400, fitted to 1600 x 2400 and shown scaled: the whole window lies on the screen.
"$photo" make "$work/photos/portrait.jpg" 4000 6000 || exit 1
add_photos "\"$work/photos/portrait.jpg\""
click "$px" "$py"
wait_for shown "${crop}176x220, 1 / 1" || fail "no crop window for the portrait photo at 176x220"
read -r cx cy cw ch < <(settled "${crop}176x220, 1 / 1")
act move $((cx + 88)) $((cy + ch / 2))
offset=$((ch / 2 - 110))
wait_for frame_at "$cx" $((cy + offset)) 176 220 "$cx" "$cy" "$cw" "$ch" ||
  fail "the frame is at $(frame_in "$cx" "$cy" "$cw" "$ch"), not centred under the pointer at $((cy + ch / 2))"
act press
wait_for test -s "$home/portrait-176x220.JPG" || fail "the press on the portrait photo wrote nothing"
same_as_cut portrait-176x220.JPG "$work/photos/portrait.jpg" 176x220 "$offset"

scaled="${crop}1080x2400, 1 / 1 — [0-9]+%"
wait_for shown "$scaled" || fail "no scaled crop window for the portrait photo at 1080x2400"
settled "$scaled" >/dev/null
read -r cx cy cw ch wx wy ww wh < <(tree_rect "^$scaled\$")
[ "$wx" -ge 0 ] && [ "$wy" -ge 0 ] && [ $((wx + ww)) -le 1600 ] && [ $((wy + wh)) -le 1200 ] ||
  fail "the scaled crop window at $wx,$wy ${ww}x$wh, title bar included, leaves the screen of 1600 x 1200"
keep_shot scaled
read -r fitted _ < <(reference "$work/photos/portrait.jpg" 1080x2400 0 "$work/reference.jpg")
[ "$fitted" -eq 1600 ] || fail "quarvelle-cut fits 4000 x 6000 to a width of $fitted, not 1600"
wait_for focused "$scaled" || fail "the scaled crop window does not have the keyboard"
act key End
act key Return
wait_for test -s "$home/portrait-1080x2400.JPG" || fail "Return on the scaled window wrote nothing"
same_as_cut portrait-1080x2400.JPG "$work/photos/portrait.jpg" 1080x2400 $((fitted - 1080))
wait_for gone "${crop}.*" || fail "the crop window is still shown after the job at 1080x2400"

# "Выйти", the last item of the menu "Файлы", ends the program; a menu still opening when
# Up came is closed with Escape and opened again, up to three times.
program_exited() { ! kill -0 "$program_pid" 2>/dev/null; }
for attempt in 1 2 3; do
  click $((mx + 20)) $((my + menu / 2))
  sleep 0.5
  act key Up
  sleep 0.2
  act key Return
  for _ in $(seq 30); do program_exited && break; sleep 0.1; done
  program_exited && break
  echo "e2e: the menu did not take \"Выйти\" (attempt $attempt)" >&2
  act key Escape
  sleep 0.3
done
wait_for program_exited || fail "the program did not end when \"Выйти\" was chosen from its menu"
wait "$program_pid"
status=$?
program_pid=
[ "$status" -eq 0 ] || fail "the program ended with status $status"
end_input || fail "the input client ended with status $? ($(cat "$work/input.log"))"
echo "e2e.wayland: 4 photos at 176x220 by pointer and keys (back, skip, ends), a portrait photo at 1080x2400 in a scaled window wholly on the screen; every wallpaper the bytes of quarvelle-cut"
