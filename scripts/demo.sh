#!/usr/bin/env bash
# The main job, as a new user first sees it: select a region, record it for a few seconds,
# and show every JSON line the tool prints.
#
# On a desktop (an X11 session, or a Wayland session with Xwayland) you drag the rectangle
# yourself. Without one, a virtual display is started, the selection is dragged with synthetic
# input, the red frame is moved once while recording, and a tone plays on a private sound
# server so the movie has sound. With --wayland the same runs on the tests' headless Wayland
# desktop instead (sway, Xwayland, PipeWire, the screen-cast portal), with a Wayland window to
# record. The movie and a picture of some of its frames are left in out/.
#   bash scripts/demo.sh [--wayland]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

say() { printf '# %s\n' "$*"; }

headless_wayland=0
[ "${1:-}" = --wayland ] && headless_wayland=1

bash scripts/install-deps.sh
say "building (first run takes a few minutes)"
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
targets=(kestrelgrain-capture)
[ $headless_wayland = 1 ] && targets+=(kg_wayland_session)
cmake --build build/release -j"$(nproc)" --target "${targets[@]}" > /dev/null
tool=$root/build/release/cli/kestrelgrain-capture
mkdir -p out
movie=$root/out/demo.mp4
rm -f "$movie" out/demo-frames.png

cleanup_pids=()
workdir=$(mktemp -d)
desktop_pid=
cleanup() {
  for pid in "${cleanup_pids[@]:-}"; do [ -n "$pid" ] && kill "$pid" 2>/dev/null || true; done
  # The headless Wayland desktop stops when its command input ends.
  [ -n "$desktop_pid" ] && { exec {desk_in}>&-; wait "$desktop_pid" 2> /dev/null || true; }
  rm -rf "$workdir"
}
trap cleanup EXIT

field() {  # field <json line> <member>: an integer member of a selection line
  sed -n "s/.*\"$2\":\(-\?[0-9]\+\).*/\1/p" <<< "$1"
}

# drag X0 Y0 X1 Y1: press, move in eight steps, release (synthetic input on either desktop).
drag() {
  if [ $headless_wayland = 1 ]; then
    echo "$*" >&"$desk_in"; read -r _ <&"$desk_out"
  else
    xdotool mousemove "$1" "$2" mousedown 1
    for step in 1 2 3 4 5 6 7 8; do
      xdotool mousemove $(($1 + ($3 - $1) * step / 8)) $(($2 + ($4 - $2) * step / 8)); sleep 0.05
    done
    xdotool mouseup 1 mousemove 1270 790
  fi
}

if [ $headless_wayland = 0 ] && [ -n "${DISPLAY:-}" ] && xdpyinfo > /dev/null 2>&1; then
  [ -n "${WAYLAND_DISPLAY:-}" ] && say "a Wayland session: the recording comes through its screen-cast portal, which may ask once which screen to share"
  say "drag a rectangle on the screen (Escape cancels)"
  selection=$("$tool" select-region)
  echo "$selection"
  case "$selection" in *cancelled*) say "cancelled"; exit 0 ;; esac
  say "recording that region for 5 seconds; move the red frame or press Stop if you like"
  "$tool" record --region "$selection" --max-seconds 5 --output "$movie"
elif [ $headless_wayland = 1 ]; then
  say "starting a headless Wayland desktop (sway 1280 x 800 with Xwayland, PipeWire, the screen-cast portal)"
  coproc DESKTOP { "$root/build/release/tests/support/wayland/kg_wayland_session" 2> "$workdir/desktop.log"; }
  desktop_pid=$DESKTOP_PID
  desk_in=${DESKTOP[1]} desk_out=${DESKTOP[0]}
  while read -r -t 30 line <&"$desk_out"; do
    [ "$line" = ready ] && break
    eval "$line"  # export NAME='value': the desktop's variables for its clients
  done
  [ "${line:-}" = ready ] || { cat "$workdir/desktop.log"; exit 1; }
  # A Wayland window that moves, so the recording shows life.
  SDL_VIDEODRIVER=wayland ffplay -loglevel quiet -an -f lavfi -i "testsrc2=s=1280x800:r=30" > /dev/null 2>&1 &
  cleanup_pids+=($!)
else
  say "no display here: starting a virtual one (Xvfb, 1280 x 800)"
  exec 3< <(Xvfb -displayfd 1 -screen 0 1280x800x24 -nolisten tcp -noreset 2>/dev/null)
  cleanup_pids+=($!)
  read -r -t 15 number <&3
  export DISPLAY=:$number
  unset WAYLAND_DISPLAY
  # Something that moves, so the recording shows life.
  ffplay -loglevel quiet -f lavfi -i "testsrc2=s=1280x800:r=30" -left 0 -top 0 -noborder -an \
    > /dev/null 2>&1 &
  cleanup_pids+=($!)
fi

if [ -z "${selection:-}" ]; then
  # A private sound server with a null output; a tone played there is what "system" records.
  # (On the headless Wayland desktop: its PipeWire's pulse server.)
  audio=none
  if [ $headless_wayland = 1 ]; then
    pactl load-module module-null-sink sink_name=out > /dev/null 2>&1 || true
  elif command -v pulseaudio > /dev/null; then
    export PULSE_RUNTIME_PATH=$workdir/pulse XDG_RUNTIME_DIR=$workdir PULSE_SERVER=unix:$workdir/native
    mkdir -p "$PULSE_RUNTIME_PATH"
    pulseaudio --daemonize=no --exit-idle-time=-1 -n --use-pid-file=no --disallow-exit \
      --load="module-native-protocol-unix socket=$workdir/native auth-anonymous=1" \
      --load="module-null-sink sink_name=out" > /dev/null 2>&1 &
    cleanup_pids+=($!)
    for _ in $(seq 50); do pactl info > /dev/null 2>&1 && break; sleep 0.1; done
  fi
  if pactl set-default-sink out > /dev/null 2>&1; then
    audio=system
    ffmpeg -loglevel quiet -y -f lavfi -i "sine=frequency=440:duration=3" -ac 2 -ar 48000 "$workdir/tone.wav"
  fi
  sleep 1

  say "\$ kestrelgrain-capture select-region   (dragging from (200, 150) to (840, 510))"
  "$tool" select-region > "$workdir/selection" &
  selector=$!
  sleep 1.5
  drag 200 150 840 510
  wait "$selector"
  selection=$(cat "$workdir/selection")
  echo "$selection"
  x=$(field "$selection" x); y=$(field "$selection" y); w=$(field "$selection" width)

  say "\$ kestrelgrain-capture record --region '$selection' --audio $audio --max-seconds 6 --output out/demo.mp4"
  "$tool" record --region "$selection" --audio "$audio" --max-seconds 6 --output "$movie" \
    > "$workdir/record" &
  recorder=$!
  for _ in $(seq 100); do grep -q '"recording"' "$workdir/record" 2>/dev/null && break; sleep 0.1; done
  cat "$workdir/record"
  shown=1
  [ "$audio" = system ] && { paplay --device=out "$workdir/tone.wav" > /dev/null 2>&1 & }
  sleep 2
  say "moving the red frame 150 points right and 80 down (the capture follows)"
  grab_x=$((x + w / 2)); grab_y=$((y - 2))
  drag "$grab_x" "$grab_y" $((grab_x + 150)) $((grab_y + 80))
  wait "$recorder" || true
  tail -n +$((shown + 1)) "$workdir/record"
fi

if [ -s "$movie" ]; then
  ffmpeg -loglevel quiet -y -i "$movie" -vf "fps=1,scale=320:-1,tile=3x2" -frames:v 1 out/demo-frames.png || true
  say "movie: out/demo.mp4 ($(ffprobe -v error -show_entries stream=codec_name,width,height -of csv=p=0 "$movie" | paste -sd ' ' -))"
  [ -s out/demo-frames.png ] && say "frames, one per second: out/demo-frames.png"
fi
