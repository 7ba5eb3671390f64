#!/usr/bin/env bash
# Makes the transport-stream fragments the end-to-end remux cases copy into their caches, with Debian's ffmpeg as a
# stand-in for the client's own segments (each a transport stream of its own, with its PAT and PMT), and prints the
# folder. Made once per build folder; the folder's "done" file marks a complete set.
#   small/  4 s of 320x240 H.264 with B-frames and AAC, in 1 s fragments
#   large/  about 190 MB of H.264 and AAC in 16 fragments: a remux that lasts long enough to be interrupted
# Usage: scripts/make-ts-fixtures.sh [folder]   (default: $BUILD_DIR/ts-fixtures, BUILD_DIR defaulting to build/)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=${1:-${BUILD_DIR:-$root/build}/ts-fixtures}
if [[ -f $out/done ]]; then
  echo "$out"
  exit 0
fi
rm -rf "$out"
mkdir -p "$out/small" "$out/large"
ff() { ffmpeg -nostdin -v error -y "$@"; }
ff -f lavfi -i testsrc=size=320x240:rate=25 -f lavfi -i sine=frequency=440:sample_rate=44100 -t 4 \
  -c:v libx264 -g 25 -bf 2 -c:a aac -f segment -segment_time 1 -segment_format mpegts "$out/small/%d.ts"
# Noise keeps the bit rate high, so few seconds of video make many bytes; looped without encoding again.
ff -f lavfi -i "nullsrc=s=640x360:r=25,geq=random(1)*255:128:128" -f lavfi -i sine=frequency=440:sample_rate=44100 \
  -t 4 -c:v libx264 -preset ultrafast -g 50 -c:a aac -f mpegts "$out/clip.ts"
ff -stream_loop 15 -i "$out/clip.ts" -map 0 -c copy -f segment -segment_time 4 -segment_format mpegts \
  "$out/large/%d.ts"
rm "$out/clip.ts"
touch "$out/done"
echo "$out"
