#!/usr/bin/env bash
# Takes the README's screenshots of the three windows under Xvfb, in Russian and in English:
#   docs/make-screenshots.sh [BUILD_DIR]     (default: build; needs Xvfb, xdotool, ImageMagick)
# writes docs/main-window.png, docs/settings-window.png (with two sizes added),
# docs/crop-window.png and docs/crop-window-scaled.png (a photo fitted to 1080x2400, shown
# scaled down on a screen of 800 x 600), and the same four of the English interface as
# docs/*-en.png. Xvfb runs no window manager, so the crop window's caption is drawn above it.
# Where sway, grim and jq are installed and the build has the end-to-end test's input client,
# it also takes docs/crop-window-wayland.png: the crop window running natively on Wayland in a
# headless sway, with the compositor's own title bar and the pointer on the frame.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
build=${1:-build}
program="$build/app/quarvelle"
[ -x "$program" ] || { echo "build the program first: $program is missing" >&2; exit 1; }
for tool in Xvfb xdotool import convert; do
  command -v "$tool" >/dev/null || { echo "$tool is needed" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/quarvelle-shots.XXXXXX")
xvfb_pid=
program_pid=
cleanup() {
  [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

wait_for() {
  for _ in $(seq 100); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  echo "timed out waiting for: $*" >&2
  return 1
}
visible_window() { xdotool search --onlyvisible --name "$1" | head -n 1; }
geometry() {
  xdotool getwindowgeometry --shell "$1" | awk -F= '/^X=/{x=$2} /^Y=/{y=$2} /^WIDTH=/{w=$2} /^HEIGHT=/{h=$2} END{print x, y, w, h}'
}

for n in $(seq 91 190); do
  if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then display=":$n"; break; fi
done
# -noreset: by default the server resets when its last client leaves, and a program
# connecting just after the readiness probe's disconnect would find no display.
Xvfb "$display" -screen 0 800x600x24 -nolisten tcp -noreset >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=$display
wait_for xdotool getmouselocation
# Cyrillic names are typed through a Russian layout rather than keycodes remapped one by one.
setxkbmap -layout us,ru 2>/dev/null || true

# Two sample photographs of our own making, the first named in the interface's language.
mkdir -p "$work/photos"
convert -size 640x400 -seed 7 plasma:orange-navy -blur 0x2 "$work/photos/Закат.jpg"
cp "$work/photos/Закат.jpg" "$work/photos/sunset.jpg"
convert -size 400x600 -seed 3 plasma:lightblue-darkgreen -blur 0x2 "$work/photos/forest.jpg"

# A crop window's picture with its caption drawn above it: WINDOW_ID OUTPUT.
with_caption() {
  import -window "$1" "$work/crop.png"
  convert "$work/crop.png" -background '#404040' -gravity north -splice 0x22 -font DejaVu-Sans -pointsize 13 \
    -fill white -annotate +0+3 "$(xdotool getwindowname "$1")" "$2"
}

# The crop window whose caption matches PATTERN, the pointer at NUMERATOR/5 of its width
# and in the middle of its height: PATTERN NUMERATOR OUTPUT.
shoot_crop() {
  wait_for visible_window "$1"
  local crop cx cy cw ch
  crop=$(visible_window "$1")
  read -r cx cy cw ch < <(geometry "$crop")
  xdotool mousemove $((cx + cw * $2 / 5)) $((cy + ch / 2))
  sleep 0.5
  with_caption "$crop" "$3"
}

# One session of the program in one language: LANG_CODE, the file name suffix, the first
# photo's name, and the captions of the open dialog, the settings window, the add-size box
# and the crop window in that language.
shoot() {
  local lang=$1 suffix=$2 first=$3 open_title=$4 settings_title=$5 size_title=$6 crop_title=$7
  # A home and a configuration of its own, so that the sizes are added afresh.
  mkdir -p "$work/$lang/home"
  HOME="$work/$lang/home" XDG_RUNTIME_DIR="$work" XDG_CONFIG_HOME="$work/$lang/config" "$program" --lang "$lang" \
    >/dev/null 2>&1 &
  program_pid=$!
  wait_for visible_window '^Quarvelle v1.5 RC1$'
  main=$(visible_window '^Quarvelle v1.5 RC1$')
  read -r mx my _ mh < <(geometry "$main")
  menu=$((mh - 294))

  # Add both photos through the open dialog.
  xdotool mousemove $((mx + 24)) $((my + menu + 251)) click 1
  wait_for visible_window "^$open_title\$"
  sleep 0.5
  xdotool type --delay 5 "\"$work/photos/"
  xdotool type --delay 150 "$first"
  xdotool type --delay 5 ".jpg\" \"$work/photos/forest.jpg\""
  sleep 0.3
  xdotool key Return
  sleep 0.5
  [ -z "$(visible_window "^$open_title\$")" ] || { xdotool key Return; sleep 0.5; }
  xdotool mousemove 5 5
  sleep 0.3
  import -window "$main" "docs/main-window$suffix.png"

  # The settings window with two sizes added through its add button (481, 12, 24 x 22).
  xdotool mousemove $((mx + 208 + 96 + 44)) $((my + menu + 96)) click 1
  wait_for visible_window "^$settings_title\$"
  settings=$(visible_window "^$settings_title\$")
  read -r sx sy _ _ < <(geometry "$settings")
  for size in 1080x2400 1440x3200; do
    xdotool mousemove $((sx + 481 + 12)) $((sy + 12 + 11)) click 1
    wait_for visible_window "^$size_title\$"
    sleep 0.3
    xdotool type --delay 20 "$size"
    xdotool key Return
    sleep 0.5
  done
  xdotool mousemove 5 5
  sleep 0.5
  import -window "$settings" "docs/settings-window$suffix.png"
  xdotool mousemove $((sx + 434 + 35)) $((sy + 272 + 12)) click 1
  sleep 0.3

  # Start: the crop window with the frame under the pointer.
  xdotool mousemove $((mx + 208 + 52)) $((my + menu + 96)) click 1
  shoot_crop "^$crop_title — 176x220, " 3 "docs/crop-window$suffix.png"

  # Both photos at 176x220, then the first at 1080x2400: 3840 x 2400, shown at a quarter.
  for _ in 1 2; do
    crop=$(visible_window "^$crop_title — 176x220, ")
    read -r cx cy cw ch < <(geometry "$crop")
    xdotool mousemove $((cx + cw / 2)) $((cy + ch / 2))
    sleep 0.3
    xdotool click 1
    sleep 0.5
  done
  shoot_crop "^$crop_title — 1080x2400, " 3 "docs/crop-window-scaled$suffix.png"

  kill "$program_pid" 2>/dev/null || true
  wait "$program_pid" 2>/dev/null || true
  program_pid=
}

shoot ru "" "Закат" "(Открыть|Open)" "Настройки" "Добавить размер" "Ручная обработка"
shoot en -en "sunset" "Open" "Settings" "Add a size" "Manual crop"
# The crop window on Wayland: the program on a headless sway of 800 x 600, the first photo
# at 176x220 with the pointer at three fifths of the picture.
input="$build/tests/e2e/qv-e2e-wayland-input"
# shellcheck source=../tests/e2e/wayland-session.sh
. tests/e2e/wayland-session.sh
screen_width=800
screen_height=600
why=$(sway_missing)
[ -x "$input" ] || why="$input is not built"
if [ -z "$why" ]; then
  cleanup_wayland() { stop_session; cleanup; }
  trap cleanup_wayland EXIT
  start_sway || { cat "$work/sway.log" >&2; exit 1; }
  start_input || exit 1
  wayland_window() { tree_rect "$1" | cut -d' ' -f"$2"; }
  wayland_shown() { [ -n "$(tree_rect "$1")" ]; }
  mkdir -p "$work/wayland/home" "$work/wayland/run"
  chmod 700 "$work/wayland/run"
  HOME="$work/wayland/home" XDG_RUNTIME_DIR="$work/wayland/run" XDG_CONFIG_HOME="$work/wayland/config" \
    QT_QPA_PLATFORM=wayland WAYLAND_DISPLAY="$wayland_socket" "$program" --lang ru >/dev/null 2>&1 &
  program_pid=$!
  wait_for wayland_shown '^Quarvelle v1\.5 RC1$'
  read -r mx my _ mh < <(wayland_window '^Quarvelle v1\.5 RC1$' 1-4)
  menu=$((mh - 294))
  send move $((mx + 24)) $((my + menu + 251)) && send press
  wait_for wayland_shown '^(Открыть|Open)$'
  sleep 0.8
  send type "\"$work/photos/Закат.jpg\" \"$work/photos/forest.jpg\""
  sleep 0.3
  send key Return
  sleep 0.8
  send move $((mx + 208 + 52)) $((my + menu + 96)) && send press
  wait_for wayland_shown '^Ручная обработка — 176x220, '
  sleep 0.5
  read -r cx cy cw ch wx wy ww wh < <(wayland_window '^Ручная обработка — 176x220, ' 1-8)
  send move $((cx + cw * 3 / 5)) $((cy + ch / 2))
  sleep 0.5
  WAYLAND_DISPLAY=$wayland_socket grim -c -g "$wx,$wy ${ww}x$wh" docs/crop-window-wayland.png
  echo "written: docs/crop-window-wayland.png"
else
  echo "docs/crop-window-wayland.png is left as it is: $why" >&2
fi
for suffix in "" -en; do
  echo "written: docs/main-window$suffix.png docs/settings-window$suffix.png docs/crop-window$suffix.png" \
    "docs/crop-window-scaled$suffix.png"
done
