#!/usr/bin/env bash
# Times how long a large batch takes to start: N inputs, each a link named
# clip.mp4 in a folder of its own, all written to one output folder (so every
# output name needs a number), converted with -j 2 --json. Prints the seconds
# until the first "start" line, then stops the batch with SIGTERM and prints
# how long that took to be answered.
#
#   bench/batch_start.sh [BUILD_DIR] [N]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${1:-build}
COUNT=${2:-20000}
ZEMCONVERT="$BUILD_DIR/src/cli/zemconvert"
WORK=$(mktemp -d /tmp/zem-batch-start.XXXXXX)
trap 'rm -rf "$WORK"' EXIT
[ -x "$ZEMCONVERT" ] || { echo "build zemconvert first ($ZEMCONVERT)" >&2; exit 1; }
ffmpeg -v error -y -f lavfi -i "testsrc=size=160x120:rate=25" -f lavfi -i "sine=frequency=440" -t 1 \
  -c:v mpeg4 -c:a aac "$WORK/clip.mp4"
mkdir "$WORK/in" "$WORK/out"
for i in $(seq "$COUNT"); do
  mkdir "$WORK/in/$i"
  ln -s "$WORK/clip.mp4" "$WORK/in/$i/clip.mp4"
done
(cd "$WORK/in" && find . -name clip.mp4 -printf "$WORK/in/%P\n") > "$WORK/list.txt"

start=$(date +%s.%N)
"$ZEMCONVERT" -j 2 --json -d "$WORK/out" --files-from "$WORK/list.txt" > "$WORK/report.jsonl" 2> /dev/null &
pid=$!
while ! grep -q '"event":"start"' "$WORK/report.jsonl" 2> /dev/null; do
  kill -0 "$pid" 2> /dev/null || break
  sleep 0.05
done
first=$(date +%s.%N)
kill -TERM "$pid" 2> /dev/null || true
wait "$pid" || true
ended=$(date +%s.%N)
echo "inputs: $COUNT"
echo "first start line after: $(echo "$first - $start" | bc) s"
echo "SIGTERM answered after: $(echo "$ended - $first" | bc) s"
