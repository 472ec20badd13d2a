#!/usr/bin/env bash
# The cost of recording a 1920x1080 screen through the screen-cast portal (Wayland sessions):
# the headless Wayland desktop of the tests, one output covered by a moving or a still window,
# recorded by capture_bench. Prints frames, the recorder's CPU (cores) and peak memory, and the
# desktop's own CPU (compositor, Xwayland, portal, PipeWire, the window). Compare with
# scripts/benchmark-capture.sh, which measures the X11 source on Xvfb at the same size.
#
#   scripts/benchmark-portal.sh [build-dir] [seconds]
set -euo pipefail

BUILD=${1:-build}
SECONDS_TO_RECORD=${2:-15}
BENCH="$BUILD/tests/wayland/portal_bench"
RECORDER="$BUILD/tests/capture/capture_bench"
[ -x "$BENCH" ] && [ -x "$RECORDER" ] || {
  echo "build them first: cmake --build $BUILD --target portal_bench capture_bench" >&2
  exit 1
}

printf '%-7s %7s %9s %8s %10s %9s\n' scene frames duration "cores" "peak MB" "desktop"
for scene in moving still; do
  "$BENCH" "$RECORDER" "$SECONDS_TO_RECORD" "$scene" | python3 -c '
import json, sys
r = json.loads(sys.stdin.readline())
print("%-7s %7d %9.2f %8.3f %10.1f %9.3f" % (r["scene"], r["frames"], r["duration"], r["recorder_cores"],
      r["recorder_peak_mb"], r["desktop_cores"]))'
done
