#!/usr/bin/env bash
# Records Xvfb screens with our engine (capture_bench) and with `ffmpeg -f x11grab` at the
# same x264 settings, side by side in one run, and prints frames, distinct pictures, CPU
# (cores: the recorder's own and the X server's) and peak memory, medians of several runs,
# with our/ffmpeg ratios. Scenes:
#   1920x1080 still     nothing drawn at all
#   1920x1080 animated  a full-screen moving test pattern at 30 frames per second
#   3840x2160 small     a 320x240 moving test pattern at 30 frames per second on a wallpaper
#   3840x2160 typing    a terminal printing a line every 100 ms on a wallpaper
# Then, on the 1920x1080 moving pattern, our engine on a 1280x720 region alone and with an
# overlay-like window (red band and corner handles, left out of the recording) around it.
# Other work on the machine changes wall time, not CPU time: compare the cores.
#
#   scripts/benchmark-capture.sh [build-dir] [seconds] [runs]
set -euo pipefail

BUILD=${1:-build-capture}
SECONDS_TO_RECORD=${2:-8}
RUNS=${3:-3}
BENCH=${BENCH:-$BUILD/tests/capture/capture_bench}
[ -x "$BENCH" ] || { echo "build capture_bench first: cmake --build $BUILD --target capture_bench" >&2; exit 1; }
command -v xterm >/dev/null || { echo "the typing scene needs xterm (scripts/install-deps.sh)" >&2; exit 1; }
# The x264 settings the engine uses (capture/encoding/video_encoder.cpp).
X264=(-c:v libx264 -preset ultrafast -tune zerolatency -crf 23 -g 60 -pix_fmt yuv420p)
WALLPAPER='#3a6a8a'

WORK=$(mktemp -d)
PIDS=()
cleanup() {
  for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
TICKS=$(getconf CLK_TCK)

# start_screen <WxH>: a private Xvfb (kept when its last client leaves, so the wallpaper stays).
start_screen() {
  [ -n "${XVFB:-}" ] && { kill "$XVFB"; wait "$XVFB" 2>/dev/null || true; }
  rm -f "$WORK/displayfd"; mkfifo "$WORK/displayfd"
  exec 3<>"$WORK/displayfd"
  Xvfb -displayfd 3 -screen 0 "${1}x24" -noreset -nolisten tcp +extension Composite +extension DAMAGE \
    +extension RANDR >/dev/null 2>&1 &
  XVFB=$!
  PIDS+=("$XVFB")
  read -r -t 15 NUMBER <&3 || { echo "Xvfb did not start" >&2; exit 1; }
  export DISPLAY=":$NUMBER"
  SIZE=$1
}

background() { "$@" >/dev/null 2>&1 & PIDS+=("$!"); }

# run_side <label> <output> <command...>: appends "label frames cores xcores peakMB distinct"
run_side() {
  local label=$1 out=$2; shift 2
  local x0 x1 user sys rss frames distinct
  x0=$(cpu_ticks "$XVFB")
  /usr/bin/time -o "$WORK/time" -f "%e %U %S %M" "$@" >"$WORK/side.out" 2>"$WORK/side.err" || true
  x1=$(cpu_ticks "$XVFB")
  read -r _ user sys rss <"$WORK/time"
  frames=$(ffprobe -v error -select_streams v:0 -count_packets -show_entries stream=nb_read_packets -of csv=p=0 "$out")
  # Frames that differ from the one before: what the screen really showed. A fixed-rate grab
  # repeats a picture that did not change; ours writes a frame only when it did.
  distinct=$(ffmpeg -nostdin -loglevel info -i "$out" -vf "mpdecimate,showinfo" -f null - 2>&1 \
    | grep -c "Parsed_showinfo.*n:" || true)
  rm -f "$out"
  # Cores: CPU seconds per second recorded (a side slower than real time runs longer, not cheaper).
  awk -v l="$label" -v f="$frames" -v d="$distinct" -v e="$SECONDS_TO_RECORD" -v u="$user" -v s="$sys" -v m="$rss" \
    -v x=$((x1 - x0)) -v t="$TICKS" \
    'BEGIN { printf "%s %d %.3f %.3f %.1f %d\n", l, f, (u + s) / e, x / t / e, m / 1024, d }' >>"$WORK/results"
}

measure() {  # measure <scene>: both sides, RUNS times, alternating
  for ((run = 0; run < RUNS; run++)); do
    run_side "ours-$1" "$WORK/ours.mp4" "$BENCH" "$WORK/ours.mp4" "$SECONDS_TO_RECORD"
    run_side "ffmpeg-$1" "$WORK/ffmpeg.mp4" ffmpeg -nostdin -loglevel error -f x11grab -framerate 30 \
      -video_size "$SIZE" -draw_mouse 1 -i "$DISPLAY" -t "$SECONDS_TO_RECORD" "${X264[@]}" "$WORK/ffmpeg.mp4"
  done
}

# Medians per label: "label frames cores xcores peakMB distinct".
medians() {
  sort -k1,1 "$WORK/results" | awk '
    function median(list,   n, v, i, j, t) {
      n = split(list, v, " ")
      for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (v[j] + 0 < v[i] + 0) { t = v[i]; v[i] = v[j]; v[j] = t }
      return n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2
    }
    { for (k = 2; k <= 6; k++) col[$1, k] = col[$1, k] " " $k; labels[$1] = 1 }
    END { for (l in labels) { printf "%s", l; for (k = 2; k <= 6; k++) printf " %s", median(col[l, k]); print "" } }'
}

start_screen 1920x1080
measure still
background ffplay -loglevel quiet -f lavfi -i "testsrc2=s=1920x1080:r=30" -left 0 -top 0 -noborder -an
sleep 2
measure animated
REGION=(320 180 1280 720)
for ((run = 0; run < RUNS; run++)); do
  run_side "region" "$WORK/ours.mp4" "$BENCH" "$WORK/ours.mp4" "$SECONDS_TO_RECORD" "${REGION[@]}"
  run_side "overlay" "$WORK/ours.mp4" "$BENCH" "$WORK/ours.mp4" "$SECONDS_TO_RECORD" --overlay "${REGION[@]}"
done

start_screen 3840x2160
xsetroot -solid "$WALLPAPER"
xdotool mousemove 3000 1800
background ffplay -loglevel quiet -f lavfi -i "testsrc2=s=320x240:r=30" -left 900 -top 600 -noborder -an
sleep 2
measure small
kill "${PIDS[-1]}"
background xterm -geometry 100x40+600+400 -e sh -c 'i=0; while :; do i=$((i+1)); echo "line $i: the quick brown fox jumps over the lazy dog"; sleep 0.1; done'
sleep 2
measure typing

medians >"$WORK/medians"
echo "medians of $RUNS runs of ${SECONDS_TO_RECORD} s each, on $(nproc) cores; x264: ${X264[*]}"
echo "total: recorder + X server cores; ms/pic: their CPU milliseconds per distinct picture"
awk -v secs="$SECONDS_TO_RECORD" '
  { frames[$1] = $2; cores[$1] = $3; xcores[$1] = $4; mem[$1] = $5; distinct[$1] = $6 }
  function row(s, side, k) { printf "%-8s %-5s %8d %9d %8.3f %10.3f %8.3f %8.1f %10.1f\n", s, side, frames[k], distinct[k], cores[k], xcores[k], cores[k] + xcores[k], (cores[k] + xcores[k]) * secs * 1000 / (distinct[k] ? distinct[k] : 1), mem[k] }
  function ratio(a, b) { return a / (b ? b : 1) }
  END {
    printf "%-8s %-5s %8s %9s %8s %10s %8s %8s %10s\n", "scene", "side", "frames", "distinct", "cores", "X cores", "total", "ms/pic", "peak MB"
    split("still animated small typing", scenes, " ")
    for (i = 1; i <= 4; i++) {
      s = scenes[i]; o = "ours-" s; f = "ffmpeg-" s
      row(s, "ours", o); row(s, "ffm", f)
      printf "%-8s %-5s %8.2f %9.2f %8.2f %10.2f %8.2f %8s %10.2f   (ours / ffmpeg)\n", s, "ratio", ratio(frames[o], frames[f]),
        ratio(distinct[o], distinct[f]), ratio(cores[o], cores[f]), ratio(xcores[o], xcores[f]),
        ratio(cores[o] + xcores[o], cores[f] + xcores[f]), "", ratio(mem[o], mem[f])
    }
    print ""
    print "a 1280x720 region of the moving pattern, alone and with an overlay-like window left out:"
    row("region", "ours", "region"); row("overlay", "ours", "overlay")
  }' "$WORK/medians"
