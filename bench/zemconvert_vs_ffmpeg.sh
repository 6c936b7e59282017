#!/usr/bin/env bash
# Times zemconvert against an ffmpeg command that makes a comparable file
# (Motion-JPEG 320x240 at 16 frames per second, MP3 128 kbit/s 48 kHz) on seven
# clips, median of three runs each, and reports the ratio, the peak memory of both and
# the CPU-seconds (user + system) of each side, the pictures zemconvert saw and
# left undecoded (from its graph log) with the CPU-seconds of one run that
# decodes every picture (ZEM_DECODE_ALL=1), and, where perf is installed,
# zemconvert's CPU-seconds by stage, and a thread view of one more run: the
# CPU-seconds of each of zemconvert's threads and its busy share of the run's
# wall time, so the critical path shows (a thread near 100 % is what the run
# waits for). The load average around the runs says how far the figures can be
# trusted on a shared machine; the CPU-seconds hold better than the wall times.
#
#   bench/zemconvert_vs_ffmpeg.sh [BUILD_DIR] [RUNS] [CLIP...]   (default: all seven clips)
#
# ZEM_DECODE_THREADS and ZEM_PICTURE_ROWS (README) pass through to zemconvert,
# for comparing settings.
#
# The clips are made once with the ffmpeg tool and kept in $ZEM_BENCH_DIR
# (default /tmp/zem-bench-clips).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${1:-build}
RUNS=${2:-3}
shift $(($# < 2 ? $# : 2))
CHOSEN=("$@")
ZEMCONVERT="$BUILD_DIR/src/cli/zemconvert"
CLIPS=${ZEM_BENCH_DIR:-/tmp/zem-bench-clips}
OUT=$(mktemp -d /tmp/zem-bench-out.XXXXXX)
trap 'rm -rf "$OUT"' EXIT
mkdir -p "$CLIPS"
[ -x "$ZEMCONVERT" ] || { echo "build zemconvert first ($ZEMCONVERT)" >&2; exit 1; }

make_clip() { # name seconds size rate vcodec acodec
  local path="$CLIPS/$1"
  [ -s "$path" ] && return 0
  echo "making $1 ..." >&2
  ffmpeg -v error -y -f lavfi -i "testsrc2=size=$3:rate=$4" -f lavfi -i "sine=frequency=440:sample_rate=44100" \
    -t "$2" $5 $6 "$path"
}
make_clip h264_720p.mp4 60 1280x720 25 "-c:v libx264 -preset veryfast -pix_fmt yuv420p" "-c:a aac -b:a 128k"
# B pictures in groups of 12, as on a DVD.
make_clip mpeg2_576_dvd.mpg 60 720x576 25 "-c:v mpeg2video -b:v 6M -bf 2 -g 12" "-c:a mp2 -b:a 192k"
make_clip h264_1080p.mkv 60 1920x1080 30 "-c:v libx264 -preset veryfast -pix_fmt yuv420p" "-c:a aac -b:a 128k"
make_clip wmv2_480.wmv 30 640x480 25 "-c:v wmv2 -b:v 2M" "-c:a wmav2 -b:a 128k"
# A phone's film: 720p at 60 pictures a second; and 1080p at NTSC's 29.97.
make_clip h264_720p60.mp4 30 1280x720 60 "-c:v libx264 -preset veryfast -pix_fmt yuv420p -b:v 8M" "-c:a aac -b:a 128k"
make_clip h264_1080p2997.mp4 30 1920x1080 30000/1001 "-c:v libx264 -preset veryfast -pix_fmt yuv420p" \
  "-c:a aac -b:a 128k"
# A phone's 4K HDR film: HEVC Main 10 in BT.2020 with HLG.
make_clip hevc10_2160p_hlg.mp4 10 3840x2160 30 "-c:v libx265 -preset ultrafast -pix_fmt yuv420p10le
  -x265-params log-level=error:colorprim=bt2020:transfer=arib-std-b67:colormatrix=bt2020nc -tag:v hvc1
  -color_primaries bt2020 -color_trc arib-std-b67 -colorspace bt2020nc" "-c:a aac -b:a 128k"

# zemconvert's graph log goes to a home of its own, for the picture counters;
# GStreamer's plugin registry stays in the user's cache, so no run pays for
# scanning the plugins afresh.
export XDG_CACHE_HOME=${XDG_CACHE_HOME:-$HOME/.cache}
BENCH_HOME="$OUT/home"
mkdir -p "$BENCH_HOME/ZemConverter/Log"

# Prints "seconds peak_kb cpu_seconds" for one run of a command.
measure() {
  local log="$OUT/time.txt"
  /usr/bin/time -f "%e %M %U %S" -o "$log" "$@" > /dev/null 2>&1 || { echo "failed: $*" >&2; cat "$log" >&2; }
  tail -n 1 "$log" | awk '{print $1, $2, $3 + $4}'
}

# "seen/skipped" pictures of the latest run, from its graph log.
pictures() {
  local log
  log=$(ls -t "$BENCH_HOME/ZemConverter/Log"/*.doc 2> /dev/null | head -n 1)
  [ -n "$log" ] || { echo "-"; return; }
  sed -n 's/^Pictures: \([0-9]*\) seen, \([0-9]*\) left undecoded.*/\1\/\2/p' "$log" | tail -n 1
}

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

# CPU-seconds of one more run split by stage, from where perf's samples fall:
# decoding (libav, libmpeg2), the picture path (libyuv and our own shrink and
# clamp in zemconvert), JPEG (libjpeg), MP3 (LAME) and everything else.
stages() {
  command -v perf > /dev/null || { echo "(perf not installed)"; return; }
  local data="$OUT/perf.data" log="$OUT/stage-time.txt"
  perf record -q -F 499 -o "$data" -- /usr/bin/time -f "%U %S" -o "$log" "$ZEMCONVERT" -o "$OUT/zem.avi" "$1" \
    > /dev/null 2>&1 || { echo "(perf record failed)"; return; }
  perf report -i "$data" --stdio --sort dso 2> /dev/null | awk -v cpu="$(awk '{print $1 + $2}' "$log")" '
    /^#/ || NF < 2 { next }
    { share = $1; sub(/%/, "", share); dso = $2
      if (dso ~ /libavcodec|libavutil|libmpeg2|libgstlibav|libswresample/) s["decode"] += share
      else if (dso ~ /libyuv|zemconvert/) s["pictures"] += share
      else if (dso ~ /libjpeg/) s["jpeg"] += share
      else if (dso ~ /libmp3lame/) s["mp3"] += share
      else s["other"] += share }
    END { printf "decode %.2f  pictures %.2f  jpeg %.2f  mp3 %.2f  other %.2f  (CPU-s of one run)\n",
          cpu * s["decode"] / 100, cpu * s["pictures"] / 100, cpu * s["jpeg"] / 100, cpu * s["mp3"] / 100,
          cpu * s["other"] / 100 }'
}

# Each thread of one run: "name cpu-s (busy % of the wall time)", busiest
# first (threads of one name listed one by one), from /proc samples every 0.1 s (a thread's last sample before it ends).
threads() {
  local samples="$OUT/threads.txt" start end pid
  : > "$samples"
  start=$(date +%s.%N)
  HOME="$BENCH_HOME" "$ZEMCONVERT" -o "$OUT/zem.avi" "$1" > /dev/null 2>&1 &
  pid=$!
  while kill -0 "$pid" 2> /dev/null; do
    for stat in /proc/"$pid"/task/*/stat; do
      # "tid (name) state ... utime stime": the times are fields 12 and 13 after the name.
      sed -e 's/^\([0-9]*\) (\(.*\)) /\1 \2 /' "$stat" 2> /dev/null | awk '{print $1, $2, $14 + $15}'
    done >> "$samples"
    sleep 0.1
  done
  wait "$pid" || true
  end=$(date +%s.%N)
  awk -v wall="$(awk -v a="$start" -v b="$end" 'BEGIN{print b - a}')" -v hz="$(getconf CLK_TCK)" '
    { last[$1] = $3; name[$1] = $2 }
    END { for (t in last) if (last[t] / hz >= 0.05)
            printf "%s %.2f (%.0f%%)\n", name[t], last[t] / hz, 100 * last[t] / hz / wall }' "$samples" |
    sort -k2 -nr | tr '\n' ' '
}

echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
printf "%-20s %12s %12s %8s %14s %13s %10s %10s %14s %12s\n" clip "zemconvert s" "ffmpeg s" ratio "peak MB (zem)" \
  "peak MB (ff)" "zem CPU s" "ff CPU s" "seen/skipped" "all CPU s"
[ ${#CHOSEN[@]} -gt 0 ] ||
  CHOSEN=(mpeg2_576_dvd.mpg wmv2_480.wmv h264_720p.mp4 h264_1080p.mkv h264_720p60.mp4 h264_1080p2997.mp4
    hevc10_2160p_hlg.mp4)
for clip in "${CHOSEN[@]}"; do
  zem_times=(); ff_times=(); zem_cpu=(); ff_cpu=(); peak=0; ff_peak=0
  for _ in $(seq "$RUNS"); do
    read -r t m c < <(HOME="$BENCH_HOME" measure "$ZEMCONVERT" -o "$OUT/zem.avi" "$CLIPS/$clip")
    zem_times+=("$t"); zem_cpu+=("$c"); [ "$m" -gt "$peak" ] && peak=$m
    read -r t m c < <(measure ffmpeg -v error -y -i "$CLIPS/$clip" -vf fps=16,scale=320:240 -c:v mjpeg -q:v 3 \
      -c:a libmp3lame -b:a 128k -ar 48000 -ac 2 "$OUT/ff.avi")
    ff_times+=("$t"); ff_cpu+=("$c"); [ "$m" -gt "$ff_peak" ] && ff_peak=$m
  done
  counts=$(pictures)
  read -r _ _ all_cpu < <(HOME="$BENCH_HOME" ZEM_DECODE_ALL=1 measure "$ZEMCONVERT" -o "$OUT/zem.avi" "$CLIPS/$clip")
  zem=$(printf "%s\n" "${zem_times[@]}" | median)
  ff=$(printf "%s\n" "${ff_times[@]}" | median)
  printf "%-20s %12s %12s %8.2f %14.1f %13.1f %10s %10s %14s %12s\n" "$clip" "$zem" "$ff" \
    "$(awk -v a="$zem" -v b="$ff" 'BEGIN{print a/b}')" "$(awk -v p="$peak" 'BEGIN{print p/1024}')" \
    "$(awk -v p="$ff_peak" 'BEGIN{print p/1024}')" \
    "$(printf "%s\n" "${zem_cpu[@]}" | median)" "$(printf "%s\n" "${ff_cpu[@]}" | median)" "$counts" "$all_cpu"
  printf "%-20s   stages: %s\n" "" "$(stages "$CLIPS/$clip")"
  printf "%-20s   threads: %s\n" "" "$(threads "$CLIPS/$clip")"
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
