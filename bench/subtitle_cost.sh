#!/usr/bin/env bash
# What drawing subtitles costs: zemconvert on the 60 s 720p H.264 benchmark
# clip with an .srt of one line every 3 seconds beside it, against the same
# run with --no-subtitles; median wall time and CPU-seconds of RUNS runs each.
#
#   bench/subtitle_cost.sh [BUILD_DIR] [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${1:-build}
RUNS=${2:-3}
ZEMCONVERT="$BUILD_DIR/src/cli/zemconvert"
[ -x "$ZEMCONVERT" ] || { echo "build zemconvert first ($ZEMCONVERT)" >&2; exit 1; }
WORK=$(mktemp -d /tmp/zem-subtitle-bench.XXXXXX)
trap 'rm -rf "$WORK"' EXIT

ffmpeg -v error -y -f lavfi -i "testsrc2=size=1280x720:rate=25" -f lavfi -i "sine=frequency=440:sample_rate=44100" \
  -t 60 -c:v libx264 -pix_fmt yuv420p -c:a aac "$WORK/clip.mp4"
for ((i = 0; i < 20; i++)); do
  printf '%d\n00:%02d:%02d,000 --> 00:%02d:%02d,500\nLine number %d of the benchmark subtitles\n\n' \
    $((i + 1)) $((i * 3 / 60)) $((i * 3 % 60)) $((i * 3 / 60)) $((i * 3 % 60 + 2)) $((i + 1))
done > "$WORK/clip.srt"

measure() { # label, extra options...
  local label=$1; shift
  local walls=() cpus=()
  for ((r = 0; r < RUNS; r++)); do
    rm -f "$WORK/out.avi"
    /usr/bin/time -f "%e %U %S" -o "$WORK/time.txt" "$ZEMCONVERT" "$@" -o "$WORK/out.avi" "$WORK/clip.mp4" > /dev/null
    read -r wall user sys < "$WORK/time.txt"
    walls+=("$wall")
    cpus+=("$(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }')")
  done
  local wall cpu
  wall=$(printf '%s\n' "${walls[@]}" | sort -n | sed -n "$(((RUNS + 1) / 2))p")
  cpu=$(printf '%s\n' "${cpus[@]}" | sort -n | sed -n "$(((RUNS + 1) / 2))p")
  echo "$label $wall $cpu"
}

export QT_QPA_PLATFORM=offscreen
read -r _ plainWall plainCpu < <(measure plain --no-subtitles)
read -r _ subWall subCpu < <(measure subtitles)
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
printf 'without subtitles: %6.2f s wall, %6.2f s CPU\n' "$plainWall" "$plainCpu"
printf 'with subtitles:    %6.2f s wall, %6.2f s CPU\n' "$subWall" "$subCpu"
awk -v sw="$subWall" -v pw="$plainWall" -v sc="$subCpu" -v pc="$plainCpu" \
  'BEGIN { printf "cost: %+.1f %% wall, %+.1f %% CPU\n", (sw / pw - 1) * 100, (sc / pc - 1) * 100 }'
