#!/usr/bin/env bash
# Records a 1920x1080 Xvfb screen for a while with our engine (capture_bench) and with
# `ffmpeg -f x11grab` at the same x264 settings, once with a moving test pattern and once with
# a still screen, and prints frames, CPU (cores, the recorder's own and the X server's) and
# peak memory for each side, with our/ffmpeg ratios. Then, on the moving pattern, our engine on
# a 1280x720 region alone and with an overlay-like window (red band and corner handles, left
# out of the recording) shown around it, to give the cost of keeping our windows out.
#
#   scripts/benchmark-capture.sh [build-dir] [seconds]
set -euo pipefail

BUILD=${1:-build-capture}
SECONDS_TO_RECORD=${2:-15}
BENCH="$BUILD/tests/capture/capture_bench"
[ -x "$BENCH" ] || { echo "build capture_bench first: cmake --build $BUILD --target capture_bench" >&2; exit 1; }
# The x264 settings the engine uses (capture/video_encoder.cpp).
X264=(-c:v libx264 -preset ultrafast -tune zerolatency -crf 23 -pix_fmt yuv420p)

WORK=$(mktemp -d)
PIDS=()
cleanup() {
  for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT

# A private Xvfb on a free display number.
mkfifo "$WORK/displayfd"
exec 3<>"$WORK/displayfd"
Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp +extension Composite +extension DAMAGE +extension RANDR \
  >/dev/null 2>&1 &
XVFB=$!
PIDS+=("$XVFB")
read -r -t 15 NUMBER <&3 || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$NUMBER"

cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
TICKS=$(getconf CLK_TCK)

# run_side <label> <output> <command...>: prints "label frames cores xcores peakMB"
run_side() {
  local label=$1 out=$2; shift 2
  local x0 x1 stats
  x0=$(cpu_ticks "$XVFB")
  /usr/bin/time -o "$WORK/time" -f "%e %U %S %M" "$@" >"$WORK/$label.out" 2>"$WORK/$label.err" || true
  x1=$(cpu_ticks "$XVFB")
  read -r elapsed user sys rss <"$WORK/time"
  local frames distinct
  frames=$(ffprobe -v error -select_streams v:0 -count_packets -show_entries stream=nb_read_packets -of csv=p=0 "$out")
  # Frames that differ from the one before: what the screen really showed. A fixed-rate grab
  # repeats a picture that did not change; ours writes a frame only when it did.
  distinct=$(ffmpeg -nostdin -loglevel info -i "$out" -vf "mpdecimate,showinfo" -f null - 2>&1 \
    | grep -c "Parsed_showinfo.*n:" || true)
  awk -v l="$label" -v f="$frames" -v d="$distinct" -v e="$elapsed" -v u="$user" -v s="$sys" -v m="$rss" \
    -v x=$((x1 - x0)) -v t="$TICKS" \
    'BEGIN { printf "%s %d %.3f %.3f %.1f %d\n", l, f, (u + s) / e, x / t / e, m / 1024, d }'
}

measure() {  # measure <scene>
  local scene=$1
  run_side "ours-$scene" "$WORK/ours-$scene.mp4" "$BENCH" "$WORK/ours-$scene.mp4" "$SECONDS_TO_RECORD"
  run_side "ffmpeg-$scene" "$WORK/ffmpeg-$scene.mp4" ffmpeg -nostdin -loglevel error -f x11grab -framerate 30 \
    -video_size 1920x1080 -draw_mouse 1 -i "$DISPLAY" -t "$SECONDS_TO_RECORD" "${X264[@]}" "$WORK/ffmpeg-$scene.mp4"
}

report() {
  awk '
    { frames[$1] = $2; cores[$1] = $3; xcores[$1] = $4; mem[$1] = $5; distinct[$1] = $6 }
    END {
      printf "%-8s %-5s %8s %9s %8s %10s %10s\n", "scene", "side", "frames", "distinct", "cores", "X cores", "peak MB"
      split("animated still", scenes, " ")
      for (i = 1; i <= 2; i++) {
        s = scenes[i]; o = "ours-" s; f = "ffmpeg-" s
        printf "%-8s %-5s %8d %9d %8.3f %10.3f %10.1f\n", s, "ours", frames[o], distinct[o], cores[o], xcores[o], mem[o]
        printf "%-8s %-5s %8d %9d %8.3f %10.3f %10.1f\n", s, "ffm", frames[f], distinct[f], cores[f], xcores[f], mem[f]
        printf "%-8s %-5s %8.2f %9.2f %8.2f %10.2f %10.2f   (ours / ffmpeg)\n", s, "ratio",
          frames[o] / (frames[f] ? frames[f] : 1), distinct[o] / (distinct[f] ? distinct[f] : 1), cores[o] / (cores[f] ? cores[f] : 1),
          xcores[o] / (xcores[f] ? xcores[f] : 1), mem[o] / (mem[f] ? mem[f] : 1)
      }
    }' "$WORK/results"
}

# Still screen: nothing drawn at all.
measure still >>"$WORK/results"

# Animated screen: a full-screen moving test pattern at 30 frames per second.
ffplay -loglevel quiet -f lavfi -i "testsrc2=s=1920x1080:r=30" -left 0 -top 0 -noborder -an >/dev/null 2>&1 &
PIDS+=("$!")
sleep 2
measure animated >>"$WORK/results"

# Region alone, then with the overlay-like window left out (still on the moving pattern).
REGION=(320 180 1280 720)
run_side "region" "$WORK/region.mp4" "$BENCH" "$WORK/region.mp4" "$SECONDS_TO_RECORD" "${REGION[@]}" >>"$WORK/exclusion"
run_side "overlay" "$WORK/overlay.mp4" "$BENCH" "$WORK/overlay.mp4" "$SECONDS_TO_RECORD" --overlay "${REGION[@]}" \
  >>"$WORK/exclusion"

echo "recording ${SECONDS_TO_RECORD} s of a 1920x1080 Xvfb screen on $(nproc) cores; x264: ${X264[*]}"
report
echo
echo "a ${REGION[2]}x${REGION[3]} region of the moving pattern, alone and with an overlay-like window left out:"
awk '
  { frames[$1] = $2; cores[$1] = $3; xcores[$1] = $4; mem[$1] = $5 }
  END {
    printf "%-8s %8s %8s %10s %10s\n", "side", "frames", "cores", "X cores", "peak MB"
    printf "%-8s %8d %8.3f %10.3f %10.1f\n", "region", frames["region"], cores["region"], xcores["region"], mem["region"]
    printf "%-8s %8d %8.3f %10.3f %10.1f\n", "overlay", frames["overlay"], cores["overlay"], xcores["overlay"], mem["overlay"]
    printf "%-8s %8.2f %8.2f %10.2f %10.2f   (overlay / region)\n", "ratio", frames["overlay"] / (frames["region"] ? frames["region"] : 1),
      cores["overlay"] / (cores["region"] ? cores["region"] : 1), xcores["overlay"] / (xcores["region"] ? xcores["region"] : 1),
      mem["overlay"] / (mem["region"] ? mem["region"] : 1)
  }' "$WORK/exclusion"
