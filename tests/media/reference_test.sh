#!/usr/bin/env bash
# The remux against ffmpeg as the reference: small transport streams made here with ffmpeg, remuxed with
# remux_file, then decoded and probed by ffmpeg from both sides. A frame that changed, moved in time, lost its key
# flag or went missing shows up as a differing line. Fixtures are made once and kept in WORK_DIR/fixtures.
#
# Usage: tests/media/reference_test.sh REMUX_FILE WORK_DIR [CASE...]
#        tests/media/reference_test.sh --fixtures-only WORK_DIR      (makes WORK_DIR/fixtures, for the fuzzing loop)
set -euo pipefail
remux=$1
work=$2
shift 2
only=("$@")

# Bump when the fixtures below change, so that a kept set is made again.
fixture_version=6
fixtures=$work/fixtures
out=$work/out
failures=0
current=

ff() { ffmpeg -hide_banner -nostdin -v error -y "$@"; }
fail() {
  echo "FAIL $current: $*"
  failures=$((failures + 1))
}

make_fixtures() {
  [[ $(cat "$fixtures/version" 2>/dev/null) == "$fixture_version" ]] && return
  rm -rf "$fixtures"
  mkdir -p "$fixtures"
  cd "$fixtures"
  # B-frames and one key frame a second in both codecs; audio at 48 kHz as the client's videos have.
  local source=(-f lavfi -i testsrc2=size=320x240:rate=25:duration=4 -f lavfi
    -i sine=frequency=440:sample_rate=48000:duration=4 -pix_fmt yuv420p)
  ff "${source[@]}" -c:v libx264 -preset veryfast -bf 3 -g 25 -c:a aac -b:a 64k -f mpegts h264_aac.ts
  ff "${source[@]}" -c:v libx265 -preset ultrafast -x265-params log-level=error:bframes=3:keyint=25 \
    -c:a aac -b:a 64k -f mpegts h265_aac.ts
  ff -i h264_aac.ts -map 0:v -c copy -f mpegts video_only.ts
  # Segments as a server cuts them, each its own mux (tables again, continuity counters from 0), joined as the
  # client's fragments are; one left out makes the gap.
  ff -i h264_aac.ts -map 0 -c copy -f segment -segment_time 1 -segment_format mpegts segment%d.ts
  cat segment*.ts >joined.ts
  cat segment0.ts segment2.ts segment3.ts >gap.ts
  # The 33-bit 90 kHz clock wraps at about 95443.7 s: this one wraps about a second in.
  ff -i h264_aac.ts -map 0 -c copy -output_ts_offset 95441 -f mpegts wrap.ts
  # A second encode at another size after a short pause: one video frame long, and in the sound 8 ms, less than a
  # frame, which must stay a pause so that the sound after it keeps its time.
  ff -f lavfi -i testsrc2=size=240x176:rate=25:duration=2 -f lavfi -i sine=sample_rate=48000:duration=2 \
    -pix_fmt yuv420p -c:v libx264 -preset veryfast -bf 3 -g 25 -c:a aac -b:a 64k -output_ts_offset 4.12 \
    -f mpegts second_size.ts
  cat h264_aac.ts second_size.ts >sizes.ts
  ff -i h264_aac.ts -f lavfi -i sine=sample_rate=48000:duration=4 -map 0:v -map 1:a -c:v copy -c:a mp2 \
    -f mpegts mp2_audio.ts
  ff -i h264_aac.ts -map 0 -c copy -movflags +faststart not_ts.mp4
  echo "$fixture_version" >version
  cd - >/dev/null
}

# "index pid payload_start payload_offset" for every packet, the offset past the adaptation field.
packet_table() {
  od -An -v -tu1 -w188 "$1" | awk '{
    offset = 4
    if (int($4 / 16) % 4 >= 2) offset += 1 + $5
    print NR - 1, $2 % 32 * 256 + $3, int($2 / 64) % 2, offset }'
}

poke() {  # FILE OFFSET BYTE...
  local file=$1 offset=$2
  shift 2
  printf "$(printf '\\x%s' "$@")" | dd of="$file" bs=1 seek="$offset" conv=notrunc status=none
}

# Damage of each kind a broken download or disk gives: ADTS headers broken, a PES start code broken, a wild
# presentation time, a packet's worth of bytes zeroed across a packet boundary (sync lost, continuity broken).
make_damaged() {
  local file=$1 table packet offset header_length
  cp "$fixtures/h264_aac.ts" "$file"
  table=$(packet_table "$file")
  # The ADTS sync word follows the PES header, whose length is its ninth byte.
  while read -r packet offset; do
    header_length=$(od -An -tu1 -j $((packet * 188 + offset + 8)) -N 1 "$file" | tr -d ' ')
    poke "$file" $((packet * 188 + offset + 9 + header_length)) 00 00
  done < <(awk '$2 == 257 && $3 == 1 { print $1, $4 }' <<<"$table" | sed -n '4p;10p')
  read -r packet offset < <(awk '$2 == 256 && $3 == 1 { print $1, $4 }' <<<"$table" | sed -n '40p')
  poke "$file" $((packet * 188 + offset + 2)) 00
  read -r packet offset < <(awk '$2 == 256 && $3 == 1 { print $1, $4 }' <<<"$table" | sed -n '55p')
  poke "$file" $((packet * 188 + offset + 10)) 7f 00
  read -r packet offset < <(awk '$2 == 256 && $3 == 1 { print $1, $4 }' <<<"$table" | sed -n '70p')
  dd if=/dev/zero of="$file" bs=1 seek=$(((packet + 3) * 188 + 100)) count=188 conv=notrunc status=none
}

# Per stream kind, one line per packet in presentation order: time relative to the first video frame, and K for
# a key frame.
packet_times() {  # FILE v|a [FIRST_VIDEO_TIME]
  local first=${3:-$(first_video_time "$1")}
  ffprobe -v error -select_streams "$2" -show_entries packet=pts_time,flags -of csv=p=0 "$1" 2>/dev/null |
    awk -F, -v first="$first" '$1 != "" && $1 != "N/A" {
      printf "%.4f %s\n", $1 - first, (index($2, "K") ? "K" : "-") }' |
    sort -n
}
first_video_time() {
  ffprobe -v error -select_streams v -show_entries packet=pts_time -of csv=p=0 "$1" 2>/dev/null |
    grep -v -e '^$' -e N/A |
    sort -g | head -1
}
frame_hashes() {  # FILE v|a
  ffmpeg -hide_banner -nostdin -v error -i "$1" -map "0:$2?" -fps_mode passthrough -f framemd5 - |
    awk -F', *' '!/^#/ { print $NF }'
}
duration() { ffprobe -v error -show_entries format=duration -of csv=p=0 "$1" 2>/dev/null; }
streams() {
  ffprobe -v error -show_entries stream=codec_name,width,height,sample_rate,channels -of csv=p=0 "$1" 2>/dev/null |
    grep -v '^$' | sort -u
}

# The top-level boxes in order; moov must come before mdat so that a player can start before the end.
top_boxes() {
  local file=$1 offset=0 size total header
  total=$(stat -c %s "$file")
  while ((offset + 8 <= total)); do
    header=($(od -An -v -tu1 -j "$offset" -N 16 "$file"))
    size=$(((header[0] << 24) | (header[1] << 16) | (header[2] << 8) | header[3]))
    printf '%s' "$(printf "\\x$(printf %x "${header[4]}")\\x$(printf %x "${header[5]}")\\x$(printf %x \
      "${header[6]}")\\x$(printf %x "${header[7]}")")"
    echo
    if ((size == 1)); then
      size=0
      for i in 8 9 10 11 12 13 14 15; do size=$(((size << 8) | header[i])); done
    fi
    ((size >= 8)) || break
    offset=$((offset + size))
  done
}

# Times in 90 kHz and in a track's own timescale round apart by a fraction of a millisecond.
same_times() {  # WANT GOT: "time flag" lines, equal in number and flags, times within 1.5 ms
  awk 'NR == FNR { time[NR] = $1; flag[NR] = $2; count = NR; next }
    { d = $1 - time[FNR]; if (FNR > count || $2 != flag[FNR] || d > 0.0015 || -d > 0.0015) bad = 1 }
    END { exit bad || FNR != count }' <(echo "$1") <(echo "$2")
}
times_without_match() {  # WANT GOT: the times of GOT that no time of WANT is within 1.5 ms of
  awk 'NR == FNR { time[NR] = $1; count = NR; next }
    { found = 0; for (i = 1; i <= count && !found; ++i) { d = $1 - time[i]; found = d <= 0.0015 && -d <= 0.0015 }
      if (!found) print $1 }' <(echo "$1") <(echo "$2")
}
within() { awk -v a="$1" -v b="$2" -v t="$3" 'BEGIN { d = a - b; exit !(d <= t && -d <= t) }'; }

# Lines of $1 that $2 lacks, for a message.
first_difference() { diff <(echo "$1") <(echo "$2") | head -4 | tr '\n' ' '; }

remux_ok() {  # IN OUT
  local status=0
  "$remux" "$1" "$2" >"$out/$current.log" 2>&1 || status=$?
  ((status == 0)) || { fail "remux_file exited $status: $(head -c 300 "$out/$current.log")"; return 1; }
}

# The MP4 holds what the stream holds: the same decoded frames per stream, the same times relative to the first
# video frame, the same key frames, the same duration; moov before mdat and nothing ffmpeg complains about.
expect_same() {  # REFERENCE_TS MP4
  local reference=$1 mp4=$2 kind errors
  local boxes
  boxes=$(top_boxes "$mp4" | tr '\n' ' ')
  [[ $boxes == "ftyp "* && $(tr ' ' '\n' <<<"$boxes" | grep -x -e moov -e mdat | tr '\n' ' ') == "moov mdat " ]] ||
    fail "top-level boxes: $boxes"
  errors=$(ffmpeg -hide_banner -nostdin -v error -i "$mp4" -map 0 -f null - 2>&1 | head -3)
  [[ -z $errors ]] || fail "ffmpeg decoding the MP4 says: $errors"
  [[ $(streams "$reference") == "$(streams "$mp4")" ]] ||
    fail "streams differ: $(first_difference "$(streams "$reference")" "$(streams "$mp4")")"
  for kind in v a; do
    local want got
    want=$(frame_hashes "$reference" "$kind")
    got=$(frame_hashes "$mp4" "$kind")
    [[ $want == "$got" ]] ||
      fail "decoded $kind frames differ ($(wc -l <<<"$want") vs $(wc -l <<<"$got")): $(first_difference "$want" "$got")"
    want=$(packet_times "$reference" "$kind")
    got=$(packet_times "$mp4" "$kind")
    same_times "$want" "$got" || fail "$kind times or key frames differ: $(first_difference "$want" "$got")"
  done
  # ffmpeg finds H.264 key frames in the samples themselves when stss is missing, so count the box's entries too.
  local keys stss
  keys=$(packet_times "$reference" v | grep -c ' K$' || true)
  stss=$(LC_ALL=C grep -obUa stss "$mp4" | head -n 1 | cut -d: -f1)
  [[ -n $stss && $(od -An -tu1 -j $((stss + 8)) -N 4 "$mp4" |
    awk '{ print $1 * 16777216 + $2 * 65536 + $3 * 256 + $4 }') == "$keys" ]] ||
    fail "no stss listing the $keys key frames"
  within "$(duration "$reference")" "$(duration "$mp4")" 0.05 ||
    fail "duration $(duration "$mp4") where the stream lasts $(duration "$reference")"
}

# Frames the MP4 keeps must be frames of the stream at their own times (in step); at least the given share of
# each stream's frames must be there.
expect_kept() {  # REFERENCE_TS MP4 MIN_PERCENT
  local reference=$1 mp4=$2 percent=$3 kind
  for kind in v a; do
    local want got missing
    want=$(packet_times "$reference" "$kind" | cut -d' ' -f1)
    got=$(packet_times "$mp4" "$kind" "$(first_video_time "$mp4")" | cut -d' ' -f1)
    missing=$(times_without_match "$want" "$got" | head -3 | tr '\n' ' ')
    [[ -z $missing ]] || fail "$kind frames at times the stream has none: $missing"
    (($(wc -l <<<"$got") * 100 >= $(wc -l <<<"$want") * percent)) ||
      fail "$kind kept $(wc -l <<<"$got") of $(wc -l <<<"$want") frames"
  done
}

frame_count() {
  ffprobe -v error -select_streams "$2" -count_packets -show_entries stream=nb_read_packets -of csv=p=0 "$1" \
    2>/dev/null |
    grep -v '^$' | head -n 1
}

wanted() {
  ((${#only[@]} == 0)) && return 0
  local name
  for name in "${only[@]}"; do [[ $1 == *"$name"* ]] && return 0; done
  return 1
}

run_case() {
  current=$1
  wanted "$current" || return 0
  local before=$failures
  "case_$current" || fail "stopped by an error"
  ((failures > before)) || echo "ok   $current"
}

case_h264_aac() {
  remux_ok "$fixtures/h264_aac.ts" "$out/h264_aac.mp4" || return 0
  expect_same "$fixtures/h264_aac.ts" "$out/h264_aac.mp4"
  local tag
  "$remux" "$fixtures/h264_aac.ts" "$out/tagged.mp4" "Shipin7f3a 视频" 123456789012 >/dev/null 2>&1 ||
    fail "tagged remux"
  tag=$("$remux" --tag "$out/tagged.mp4" 2>&1) || fail "--tag exited $?"
  [[ $tag == *"Shipin7f3a 视频"* && $tag == *123456789012* ]] || fail "tag read back as: $tag"
}
case_h265_aac() {
  remux_ok "$fixtures/h265_aac.ts" "$out/h265_aac.mp4" || return 0
  expect_same "$fixtures/h265_aac.ts" "$out/h265_aac.mp4"
  [[ $(ffprobe -v error -select_streams v -show_entries stream=codec_tag_string -of csv=p=0 "$out/h265_aac.mp4") == \
    hvc1 ]] ||
    fail "H.265 sample entry is not hvc1"
}
case_video_only() {
  remux_ok "$fixtures/video_only.ts" "$out/video_only.mp4" || return 0
  expect_same "$fixtures/video_only.ts" "$out/video_only.mp4"
}
case_joined_segments() {
  remux_ok "$fixtures/joined.ts" "$out/joined.mp4" || return 0
  expect_same "$fixtures/joined.ts" "$out/joined.mp4"
}
case_missing_segment() {
  remux_ok "$fixtures/gap.ts" "$out/gap.mp4" || return 0
  expect_same "$fixtures/gap.ts" "$out/gap.mp4"
}
case_clock_wrap() {
  # The stream before the offset is the reference: ffprobe's own view of the wrapped one is not trusted here.
  remux_ok "$fixtures/wrap.ts" "$out/wrap.mp4" || return 0
  expect_same "$fixtures/h264_aac.ts" "$out/wrap.mp4"
}
case_sizes_change() {
  remux_ok "$fixtures/sizes.ts" "$out/sizes.mp4" || return 0
  expect_same "$fixtures/sizes.ts" "$out/sizes.mp4"
}
case_cut_off_end() {
  local size
  size=$(stat -c %s "$fixtures/h264_aac.ts")
  head -c $((size - 188 * 3 - 100)) "$fixtures/h264_aac.ts" >"$out/cut.ts"
  remux_ok "$out/cut.ts" "$out/cut.mp4" || return 0
  expect_kept "$fixtures/h264_aac.ts" "$out/cut.mp4" 95
  local errors
  errors=$(ffmpeg -hide_banner -nostdin -v error -i "$out/cut.mp4" -map 0 -f null - 2>&1 | head -3)
  [[ -z $errors ]] || fail "ffmpeg decoding the MP4 says: $errors"
}
case_damaged() {
  make_damaged "$out/damaged.ts"
  remux_ok "$out/damaged.ts" "$out/damaged.mp4" || return 0
  expect_kept "$fixtures/h264_aac.ts" "$out/damaged.mp4" 90
  ff -i "$out/damaged.ts" -map 0 -c copy -movflags +faststart "$out/damaged_by_ffmpeg.mp4" 2>/dev/null || true
  local kind ours theirs all_ours=0 all_theirs=0
  for kind in v a; do
    ours=$(frame_count "$out/damaged.mp4" "$kind")
    theirs=$(frame_count "$out/damaged_by_ffmpeg.mp4" "$kind" 2>/dev/null || true)
    ((ours >= ${theirs:-0})) || fail "$kind: kept $ours frames where ffmpeg keeps $theirs"
    all_ours=$((all_ours + ours)) all_theirs=$((all_theirs + ${theirs:-0}))
  done
  ((all_ours > all_theirs)) || fail "kept $all_ours frames, no more than ffmpeg's $all_theirs"
}
# The first SPS damaged (its first fields still readable, as 16x16): the key frames after it repeat it intact, so the
# MP4 must still give the picture's own size.
case_damaged_parameter_set() {
  local sps
  cp "$fixtures/h264_aac.ts" "$out/sps.ts"
  sps=$(LC_ALL=C grep -obUaP '\x00\x00\x01\x67' "$out/sps.ts" | head -n 1 | cut -d: -f1)
  poke "$out/sps.ts" $((sps + 8)) ff ff ff ff ff ff
  remux_ok "$out/sps.ts" "$out/sps.mp4" || return 0
  [[ $(streams "$out/sps.mp4") == "$(streams "$fixtures/h264_aac.ts")" ]] ||
    fail "the size from the damaged first SPS: $(first_difference "$(streams "$fixtures/h264_aac.ts")" \
      "$(streams "$out/sps.mp4")")"
  expect_kept "$fixtures/h264_aac.ts" "$out/sps.mp4" 90
}
case_not_taken() {
  local input status
  for input in "$fixtures/not_ts.mp4" "$fixtures/mp2_audio.ts"; do
    status=0
    "$remux" "$input" "$out/not_taken.mp4" >/dev/null 2>&1 || status=$?
    ((status == 3)) || fail "$(basename "$input"): exit $status, not 3"
  done
  status=0
  "$remux" --tag "$fixtures/not_ts.mp4" >/dev/null 2>&1 || status=$?
  ((status == 3)) || fail "--tag of an MP4 without our tag: exit $status, not 3"
}

make_fixtures
[[ $remux != --fixtures-only ]] || exit 0
rm -rf "$out"
mkdir -p "$out"
for name in h264_aac h265_aac video_only joined_segments missing_segment clock_wrap sizes_change cut_off_end \
  damaged damaged_parameter_set not_taken; do
  run_case "$name"
done
echo "$failures failure(s)"
((failures == 0))
