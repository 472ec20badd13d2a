#!/usr/bin/env bash
# The cost of recording a 1920x1080 screen through the screen-cast portal (Wayland sessions):
# the headless Wayland desktop of the tests (kg_wayland_session), its one output covered by a
# moving or a still window, recorded by capture_bench. Prints frames, the recorder's CPU (cores)
# and peak memory, and the desktop's own CPU (compositor, Xwayland, portal, PipeWire, the
# window) over the same time. Compare with scripts/benchmark-capture.sh, which measures the X11
# source on Xvfb at the same size.
#
#   scripts/benchmark-portal.sh [build-dir] [seconds]
set -euo pipefail

BUILD=${1:-build}
SECONDS_TO_RECORD=${2:-15}
SESSION="$BUILD/tests/support/wayland/kg_wayland_session"
WINDOW="$BUILD/tests/support/wayland/kg_x11_window"
RECORDER="$BUILD/tests/capture/capture_bench"
[ -x "$SESSION" ] && [ -x "$WINDOW" ] && [ -x "$RECORDER" ] || {
  echo "build them first: cmake --build $BUILD --target kg_wayland_session kg_x11_window capture_bench" >&2
  exit 1
}
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
TICKS=$(getconf CLK_TCK)

# CPU ticks used so far by the desktop's processes that still run (those whose environment
# names its runtime directory); fields 14 and 15 of stat, counted after the name's ')'.
desktop_ticks() {
  local total=0 process ticks
  for process in /proc/[0-9]*; do
    { tr '\0' '\n' <"$process/environ"; } 2>/dev/null | grep -qxF "XDG_RUNTIME_DIR=$XDG_RUNTIME_DIR" || continue
    ticks=$(sed 's/.*) //' "$process/stat" 2>/dev/null | awk '{print $12 + $13}') || continue
    total=$((total + ${ticks:-0}))
  done
  echo "$total"
}

# scene <moving|still>: a fresh desktop, one table row.
scene() (
  coproc DESKTOP { "$SESSION" 2>"$WORK/desktop.log"; }
  while read -r -t 30 line <&"${DESKTOP[0]}"; do
    [ "$line" = ready ] && break
    eval "$line"  # export NAME='value': the desktop's variables for its clients
  done
  [ "${line:-}" = ready ] || { cat "$WORK/desktop.log" >&2; exit 1; }
  swaymsg -q output HEADLESS-1 resolution 1920x1080
  "$WINDOW" 0 0 1920 1080 808080 "$1" >/dev/null &
  window=$!
  sleep 2
  # The first run asks which output to share; the measured one restores it, as a person's
  # second recording would.
  "$RECORDER" "$WORK/warm-up.mp4" 1 >/dev/null
  before=$(desktop_ticks)
  /usr/bin/time -o "$WORK/time" -f "%e %U %S %M" "$RECORDER" "$WORK/portal.mp4" "$SECONDS_TO_RECORD" >/dev/null
  after=$(desktop_ticks)
  kill "$window"
  read -r elapsed user system peak <"$WORK/time"
  frames=$(ffprobe -v error -select_streams v:0 -count_packets -show_entries stream=nb_read_packets -of csv=p=0 "$WORK/portal.mp4")
  duration=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$WORK/portal.mp4")
  awk -v s="$1" -v f="$frames" -v d="$duration" -v e="$elapsed" -v u="$user" -v sy="$system" -v m="$peak" \
    -v x=$((after - before)) -v t="$TICKS" \
    'BEGIN { printf "%-7s %7d %9.2f %8.3f %10.1f %9.3f\n", s, f, d, (u + sy) / e, m / 1024, x / t / e }'
)

printf '%-7s %7s %9s %8s %10s %9s\n' scene frames duration "cores" "peak MB" "desktop"
for scene in moving still; do scene "$scene"; done
