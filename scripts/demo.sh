#!/usr/bin/env bash
# The main job, as a new user first sees it: select a region, record it for a few seconds,
# and show every JSON line the tool prints.
#
# On a desktop (DISPLAY reachable) you drag the rectangle yourself. Without one, a virtual
# display is started, the selection is dragged with synthetic input, the red frame is moved
# once while recording, and a tone plays on a private sound server so the movie has sound.
# The movie and a picture of some of its frames are left in out/.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

say() { printf '# %s\n' "$*"; }

bash scripts/install-deps.sh
say "building (first run takes a few minutes)"
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
cmake --build build/release -j"$(nproc)" --target kestrelgrain-capture > /dev/null
tool=$root/build/release/cli/kestrelgrain-capture
mkdir -p out
movie=$root/out/demo.mp4
rm -f "$movie" out/demo-frames.png

cleanup_pids=()
workdir=$(mktemp -d)
cleanup() {
  for pid in "${cleanup_pids[@]:-}"; do [ -n "$pid" ] && kill "$pid" 2>/dev/null || true; done
  rm -rf "$workdir"
}
trap cleanup EXIT

field() {  # field <json line> <member>: an integer member of a selection line
  sed -n "s/.*\"$2\":\(-\?[0-9]\+\).*/\1/p" <<< "$1"
}

if [ -n "${DISPLAY:-}" ] && xdpyinfo > /dev/null 2>&1; then
  say "drag a rectangle on the screen (Escape cancels)"
  selection=$("$tool" select-region)
  echo "$selection"
  case "$selection" in *cancelled*) say "cancelled"; exit 0 ;; esac
  say "recording that region for 5 seconds; move the red frame or press Stop if you like"
  "$tool" record --region "$selection" --max-seconds 5 --output "$movie"
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

  # A private sound server with a null output; a tone played there is what "system" records.
  audio=none
  if command -v pulseaudio > /dev/null; then
    export PULSE_RUNTIME_PATH=$workdir/pulse XDG_RUNTIME_DIR=$workdir PULSE_SERVER=unix:$workdir/native
    mkdir -p "$PULSE_RUNTIME_PATH"
    pulseaudio --daemonize=no --exit-idle-time=-1 -n --use-pid-file=no --disallow-exit \
      --load="module-native-protocol-unix socket=$workdir/native auth-anonymous=1" \
      --load="module-null-sink sink_name=out" > /dev/null 2>&1 &
    cleanup_pids+=($!)
    for _ in $(seq 50); do pactl info > /dev/null 2>&1 && break; sleep 0.1; done
    pactl set-default-sink out > /dev/null 2>&1 && audio=system
    ffmpeg -loglevel quiet -y -f lavfi -i "sine=frequency=440:duration=3" -ac 2 -ar 48000 "$workdir/tone.wav"
  fi
  sleep 1

  say "\$ kestrelgrain-capture select-region   (dragging from (200, 150) to (840, 510))"
  "$tool" select-region > "$workdir/selection" &
  selector=$!
  sleep 1.5
  xdotool mousemove 200 150 mousedown 1
  for step in 1 2 3 4 5 6 7 8; do
    xdotool mousemove $((200 + 80 * step)) $((150 + 45 * step)); sleep 0.05
  done
  xdotool mouseup 1
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
  xdotool mousemove "$grab_x" "$grab_y" mousedown 1
  for step in 1 2 3 4 5 6; do
    xdotool mousemove $((grab_x + 25 * step)) $((grab_y + 13 * step)); sleep 0.05
  done
  xdotool mouseup 1 mousemove 1270 790
  wait "$recorder" || true
  tail -n +$((shown + 1)) "$workdir/record"
fi

if [ -s "$movie" ]; then
  ffmpeg -loglevel quiet -y -i "$movie" -vf "fps=1,scale=320:-1,tile=3x2" -frames:v 1 out/demo-frames.png || true
  say "movie: out/demo.mp4 ($(ffprobe -v error -show_entries stream=codec_name,width,height -of csv=p=0 "$movie" | paste -sd ' ' -))"
  [ -s out/demo-frames.png ] && say "frames, one per second: out/demo-frames.png"
fi
