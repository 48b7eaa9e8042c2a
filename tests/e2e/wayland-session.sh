# shellcheck shell=bash disable=SC2154
# A headless sway of 1600 x 1200 for the end-to-end test and the screenshots, with the
# virtual pointer and keyboard client attached. Sourced; the caller sets $work (a folder of its
# own) and $input (the client's path), then calls start_sway and start_input, and stop_session
# on exit. Gives: $wayland_socket, $SWAYSOCK, send COMMAND..., tree_rect, shoot FILE.
# sway refuses to run as root, so as root it runs as "nobody" with a runtime folder of its
# own; the test's own user connects to its sockets by their paths.

sway_pid=
input_pid=
screen_width=1600
screen_height=1200

# Prints why sway cannot run here, or nothing.
sway_missing() {
  local tool
  for tool in sway swaymsg grim jq; do
    command -v "$tool" >/dev/null || { echo "$tool is not installed"; return; }
  done
  if [ "$(id -u)" -eq 0 ]; then
    command -v setpriv >/dev/null || { echo "setpriv is not installed"; return; }
    id nobody >/dev/null 2>&1 || echo "there is no user nobody to run sway as"
  fi
}

# Returns 1 when sway did not come up within 10 seconds; its log is in $work/sway.log.
start_sway() {
  local run="$work/sway-run" as=()
  chmod 755 "$work"
  mkdir -p "$run"
  chmod 700 "$run"
  cat >"$work/sway.config" <<EOF
output HEADLESS-1 mode ${screen_width}x${screen_height} position 0 0 scale 1
xwayland disable
focus_follows_mouse no
EOF
  chmod 644 "$work/sway.config"
  if [ "$(id -u)" -eq 0 ]; then
    chown nobody "$run"
    as=(setpriv --reuid="$(id -u nobody)" --regid="$(id -g nobody)" --clear-groups)
  fi
  # From / so that the unprivileged user may stand in its working folder.
  (cd / && exec "${as[@]}" env -i PATH=/usr/bin:/bin HOME="$work" XDG_RUNTIME_DIR="$run" \
    WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman WLR_HEADLESS_OUTPUTS=1 \
    sway --config "$work/sway.config" >"$work/sway.log" 2>&1) &
  sway_pid=$!
  local _ socket
  for _ in $(seq 100); do
    kill -0 "$sway_pid" 2>/dev/null || { sway_pid=; return 1; }
    socket=$(find "$run" -maxdepth 1 -name 'sway-ipc.*.sock' 2>/dev/null | head -n 1)
    if [ -n "$socket" ] && [ -S "$run/wayland-1" ] && SWAYSOCK=$socket swaymsg -t get_outputs >/dev/null 2>&1; then
      export SWAYSOCK=$socket
      wayland_socket="$run/wayland-1"
      return 0
    fi
    sleep 0.1
  done
  return 1
}

# The client reads commands on one pipe and answers on another, one line each.
start_input() {
  mkfifo "$work/input.commands" "$work/input.answers"
  WAYLAND_DISPLAY=$wayland_socket "$input" "$screen_width" "$screen_height" \
    <"$work/input.commands" >"$work/input.answers" 2>"$work/input.log" &
  input_pid=$!
  exec 7>"$work/input.commands" 8<"$work/input.answers"
  local answer
  read -r -t 10 answer <&8 && [ "$answer" = ready ] || { cat "$work/input.log" >&2; return 1; }
}

# Sends one command and waits for the compositor to have taken it.
send() {
  local answer
  echo "$*" >&7
  read -r -t 30 answer <&8 || { echo "the input client did not answer \"$*\"" >&2; return 1; }
  [ "$answer" = ok ] || { echo "the input client answered \"$*\" with: $answer" >&2; return 1; }
}

# Prints "X Y W H of the client area, then X Y W H of the whole window, title bar and borders
# included" of the first window whose title matches the jq regular expression, or nothing.
tree_rect() {
  swaymsg -t get_tree 2>/dev/null | jq -r --arg title "$1" '
    [.. | objects | select(.pid? != null and (.name // "" | test($title)))] | first // empty |
    "\(.rect.x + .window_rect.x) \(.rect.y + .window_rect.y) \(.window_rect.width) \(.window_rect.height) " +
    "\(.rect.x) \(.rect.y - .deco_rect.height) \(.rect.width) \(.rect.height + .deco_rect.height)"'
}

# Ends the client as a run does, by the end of its commands; returns its exit status.
end_input() {
  local status=0
  exec 7>&- 8<&-
  wait "$input_pid" || status=$?
  input_pid=
  return "$status"
}

shoot() { WAYLAND_DISPLAY=$wayland_socket grim -t ppm "$1" 2>/dev/null; }

stop_session() {
  if [ -n "$input_pid" ]; then
    exec 7>&- 8<&-
    kill "$input_pid" 2>/dev/null
    # Callers under set -e too: a process ended by the signal is no failure here.
    wait "$input_pid" 2>/dev/null || true
    input_pid=
  fi
  if [ -n "$sway_pid" ]; then
    kill "$sway_pid" 2>/dev/null
    wait "$sway_pid" 2>/dev/null || true
    sway_pid=
  fi
}
