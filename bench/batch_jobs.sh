#!/usr/bin/env bash
# Times a batch of eight 30 s WMV clips converted one at a time (-j 1) and two
# at a time (-j 2): wall seconds and CPU-seconds, median of three runs each, and
# the speed-up.
#
#   bench/batch_jobs.sh [BUILD_DIR] [RUNS]
#
# The clip is made once with the ffmpeg tool and kept in $ZEM_BENCH_DIR
# (default /tmp/zem-bench-clips), as bench/zemconvert_vs_ffmpeg.sh makes it.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${1:-build}
RUNS=${2:-3}
FILES=8
ZEMCONVERT="$BUILD_DIR/src/cli/zemconvert"
CLIPS=${ZEM_BENCH_DIR:-/tmp/zem-bench-clips}
WORK=$(mktemp -d /tmp/zem-batch-bench.XXXXXX)
trap 'rm -rf "$WORK"' EXIT
[ -x "$ZEMCONVERT" ] || { echo "build zemconvert first ($ZEMCONVERT)" >&2; exit 1; }
mkdir -p "$CLIPS"
clip="$CLIPS/wmv2_480.wmv"
if [ ! -s "$clip" ]; then
  ffmpeg -v error -y -f lavfi -i "testsrc2=size=640x480:rate=25" -f lavfi -i "sine=frequency=440:sample_rate=44100" \
    -t 30 -c:v wmv2 -b:v 2M -c:a wmav2 -b:a 128k "$clip"
fi
inputs=()
for i in $(seq "$FILES"); do
  cp "$clip" "$WORK/film$i.wmv"
  inputs+=("$WORK/film$i.wmv")
done

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
declare -A wall cpu
for jobs in 1 2; do
  walls=(); cpus=()
  for _ in $(seq "$RUNS"); do
    rm -rf "$WORK/out"; mkdir "$WORK/out"
    /usr/bin/time -f "%e %U %S" -o "$WORK/time.txt" "$ZEMCONVERT" -j "$jobs" -d "$WORK/out" "${inputs[@]}" \
      > /dev/null 2>&1 || { echo "-j $jobs failed" >&2; exit 1; }
    read -r e u s < "$WORK/time.txt"
    walls+=("$e"); cpus+=("$(awk -v u="$u" -v s="$s" 'BEGIN{print u + s}')")
  done
  wall[$jobs]=$(printf "%s\n" "${walls[@]}" | median)
  cpu[$jobs]=$(printf "%s\n" "${cpus[@]}" | median)
  printf -- "-j %s: %8s s wall %8s CPU-s (runs: %s)\n" "$jobs" "${wall[$jobs]}" "${cpu[$jobs]}" "${walls[*]}"
done
awk -v a="${wall[1]}" -v b="${wall[2]}" 'BEGIN{printf "speed-up of -j 2: %.2f\n", a / b}'
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
