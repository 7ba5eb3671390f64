#!/usr/bin/env bash
# Makes the transport-stream fragments the end-to-end remux cases copy into their caches, with Debian's ffmpeg as a
# stand-in for the client's own segments (each a transport stream of its own, with its PAT and PMT), and prints the
# folder. Made once per build folder; the folder's "done" file marks a complete set.
#   small/  4 s of 320x240 H.264 with B-frames and AAC, in 1 s fragments
#   large/  about 190 MB of H.264 and AAC in 16 fragments: a remux that lasts long enough to be interrupted
# Usage: scripts/make-ts-fixtures.sh [folder]   (default: $BUILD_DIR/ts-fixtures, BUILD_DIR defaulting to build/)
#        scripts/make-ts-fixtures.sh --noise-clip FILE   only the clip the large set loops, which the benchmarks loop too
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
ff() { ffmpeg -nostdin -v error -y "$@"; }
# Four seconds whose noise keeps the bit rate high (about 3 MB a second), so that looping it without encoding again
# makes many bytes quickly.
noise_clip() {
  ff -f lavfi -i "nullsrc=s=640x360:r=25,geq=random(1)*255:128:128" -f lavfi -i sine=frequency=440:sample_rate=44100 \
    -t 4 -c:v libx264 -preset ultrafast -g 50 -c:a aac -f mpegts "$1"
}
if [[ ${1:-} == --noise-clip ]]; then
  noise_clip "${2:?usage: scripts/make-ts-fixtures.sh --noise-clip FILE}"
  exit 0
fi
out=${1:-${BUILD_DIR:-$root/build}/ts-fixtures}
if [[ -f $out/done ]]; then
  echo "$out"
  exit 0
fi
rm -rf "$out"
mkdir -p "$out/small" "$out/large"
ff -f lavfi -i testsrc=size=320x240:rate=25 -f lavfi -i sine=frequency=440:sample_rate=44100 -t 4 \
  -c:v libx264 -g 25 -bf 2 -c:a aac -f segment -segment_time 1 -segment_format mpegts "$out/small/%d.ts"
noise_clip "$out/clip.ts"
ff -stream_loop 15 -i "$out/clip.ts" -map 0 -c copy -f segment -segment_time 4 -segment_format mpegts \
  "$out/large/%d.ts"
rm "$out/clip.ts"
touch "$out/done"
echo "$out"
