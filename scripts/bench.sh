#!/usr/bin/env bash
# Times the Windows program under Wine run by run in turn with a floor program (or, for merge, with
# another build or another case of itself), prints every run and then a summary of medians and ratios.
# Nothing is asserted: the exit status only says whether the measuring itself could run.
#
# Usage: scripts/bench.sh [startup] [list] [size] [merge] [remux] [mp4] [batch]
#   startup, list and size when none given; merge only when named: it takes about 20 minutes
#   and 3.5 GiB under /tmp, and builds the program a second time. remux only when named: natively, no Wine.
#   mp4 only when named: about 10 minutes and 4.5 GiB under /tmp, and builds the program a second time.
#   batch only when named: about 5 minutes and 3 GiB under /tmp.
#
# Builds through scripts/build.sh (which installs what is missing on Debian 12) into build/bench (or the
# folder BENCH_BUILD_DIR names, which may be a tree already built), and works in a private Wine prefix on a
# private Xvfb under /tmp, both removed at the end.
#
# merge times the join, from the click on the start button to the whole file, of the program before a
# change (BENCH_BEFORE_REF, a git ref; its win tree is built in build/bench-before and kept there until
# the ref names another commit) and after it (this tree's, or the exe BENCH_AFTER_EXE names), then the
# program after it on many fragments named one by one against the same taken by the wildcard.
# BENCH_MERGE_RUNS sets its runs per side (default 5).
#
# remux times the native remux core (remux_file from the native tree in build/bench) on a 1 GiB transport stream
# of H.264 and AAC, made once with ffmpeg and kept in BENCH_REMUX_DIR (default build/bench/remux, 3 GiB free
# needed), against ffmpeg's own copy into an MP4 with moov in front and against cat as the floor, the three in
# turn run by run (BENCH_REMUX_RUNS each, default 5), with the file in the page cache. Goals: at most half of
# ffmpeg's median time, at most 32 MiB peak.
#
# mp4 times the program on a 1 GiB cache of transport-stream fragments (made with Debian's ffmpeg from a looped
# clip), from the click on the start button to the finished MP4 under the video's name, against the click to the
# final join of the program at BENCH_MP4_BEFORE_REF (default e91a2d8, the last one without the remux, built in
# build/bench-mp4-before) on the same cache, the two alternating; BENCH_MP4_RUNS runs per side (default 5).
#
# batch times 50 videos of 20 MiB of transport-stream fragments (one clip made with ffmpeg, copied into 50 cache
# folders) converted three ways, in turn run by run: every entry selected and one click, to the caption
# "已转换 50 个视频"; one entry selected and one click per video, each as soon as the one before has ended, from
# the first click to the last end; and the floor, only cmd's copy of each video's fragments and the program's own
# remux step on the join, with no window. The batch's and the one-by-one's time beyond the floor, over 50, is what
# the program adds per video beyond the join and the remux. BENCH_BATCH_RUNS runs per side (default 5).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
startup_runs=21
list_runs=5
list_sizes=(1000 10000)
merge_runs=${BENCH_MERGE_RUNS:-5}
# 1 GiB in fragments numbered without padding. The program of 8ba3b5c names such fragments one by
# one in a single copy line that cmd reads only up to 8191 characters, about 120 names at these
# path lengths, and refuses more: so fewer, larger fragments than a real video has.
merge_fragments=64
merge_fragment_mib=16
# Many small fragments, named one by one against taken by the wildcard.
order_fragments=10000
order_fragment_kib=100
merge_space_mib=3600
before_ref=${BENCH_BEFORE_REF:-8ba3b5c}
remux_runs=${BENCH_REMUX_RUNS:-5}
remux_dir=${BENCH_REMUX_DIR:-$root/build/bench/remux}
remux_input_bytes=$((1 << 30))
mp4_before_ref=${BENCH_MP4_BEFORE_REF:-e91a2d8}
mp4_runs=${BENCH_MP4_RUNS:-5}
mp4_cache_mib=1024
mp4_space_mib=4500
batch_runs=${BENCH_BATCH_RUNS:-5}
batch_videos=50
batch_video_mib=20
# Fragments per video: the clip's key frames fall every 2 s, at about 3 MB a second.
batch_fragment_seconds=2
batch_space_mib=3000
bench_build=${BENCH_BUILD_DIR:-$root/build/bench}

usage="usage: scripts/bench.sh [startup] [list] [size] [merge] [remux] [mp4] [batch]
  startup, list and size when none given; merge (about 20 minutes, 3.5 GiB under /tmp), remux (native,
  a few minutes, 3 GiB in build/bench/remux), mp4 (about 10 minutes, 4.5 GiB under /tmp) and batch (about
  5 minutes, 3 GiB under /tmp) only when named"
sections=("$@")
((${#sections[@]})) || sections=(startup list size)
for section in "${sections[@]}"; do
  [[ $section == @(startup|list|size|merge|remux|mp4|batch) ]] || { echo "$usage" >&2; exit 2; }
done
wants() { [[ " ${sections[*]} " == *" $1 "* ]]; }
# True when the folder's disk has the room a section needs; otherwise says the section is skipped. Leaves the free
# space in free_mib.
has_room() {
  local section=$1 folder=$2 needed_mib=$3
  free_mib=$(df --output=avail -BM "$folder" | tail -n 1 | tr -dc '0-9')
  ((free_mib >= needed_mib)) && return 0
  echo "== $section: skipped, $free_mib MiB free under $folder, $needed_mib MiB needed"
  return 1
}

bin=$bench_build/win/bin
if wants startup || wants list || wants size || wants merge || wants mp4 || wants batch; then
  BUILD_DIR=$bench_build "$root/scripts/build.sh" win
fi
summary=()

# The program as it was at a ref (default $before_ref), built in a folder (default build/bench-before); sets before_exe.
build_before() {
  local ref=${1:-$before_ref} dir=${2:-$root/build/bench-before} commit tree status=0
  commit=$(git -C "$root" rev-parse --verify "$ref^{commit}")
  if [[ $(cat "$dir/commit" 2>/dev/null) != "$commit" ]]; then
    rm -rf "$dir"
    tree=$(mktemp -d /tmp/tdl2mp4-before.XXXXXX)
    git -C "$root" archive "$commit" | tar -x -C "$tree"
    BUILD_DIR=$dir "$tree/scripts/build.sh" win || status=$?
    rm -rf "$tree"
    ((status == 0)) || { echo "bench: cannot build $ref" >&2; return 1; }
    echo "$commit" >"$dir/commit"
  fi
  before_exe=$dir/win/bin/tdl2mp4.exe
}

# $1 fragments of $2 bytes of random data in folder $3, named "<its name's first part>.321004.00001.tdl"
# and on, padded so that name order is numeric order; with a folder $4, the same files again there
# (hard links), numbered from 1 without padding as the client names them.
make_fragments() {
  local count=$1 bytes=$2 padded=$3 numbered=${4:-} id
  id=$(basename "$padded")
  id=${id%%.*}
  mkdir -p "$padded" ${numbered:+"$numbered"}
  head -c $((count * bytes)) /dev/urandom |
    split -b "$bytes" -d -a 5 --numeric-suffixes=1 --additional-suffix=.tdl - "$padded/$id.321004."
  # One process for thousands of links: ln once per file takes minutes here.
  [[ -z $numbered ]] || perl -e 'my ($from, $to, $count) = @ARGV;
    for my $n (1 .. $count) { link(sprintf("%s.%05d.tdl", $from, $n), "$to.$n.tdl") or die "$to.$n.tdl: $!\n" }' \
    "$padded/$id.321004" "$numbered/$id.321004" "$count"
}

# Prints the runner's lines as they come and keeps its summary lines for the end. The interpreter the program
# starts echoes its script into the same output: its prompts and the blank lines between them are left out.
runner() {
  local line
  while IFS= read -r line; do
    line=${line%$'\r'}
    [[ -z ${line//[[:space:]]/} || $line == [A-Za-z]:\\*\>* ]] && continue
    echo "  $line"
    if [[ $line == summary* ]]; then summary+=("${line#summary }"); fi
  done < <(timeout 3600 "$wine_loader" 'C:\bench\bench_runner.exe' "$@" || echo "bench_runner $1 failed ($?)")
}

if wants merge; then
  build_before
  after_exe=${BENCH_AFTER_EXE:-$bin/tdl2mp4.exe}
fi

if wants mp4; then
  build_before "$mp4_before_ref" "$root/build/bench-mp4-before"
  mp4_before_exe=$before_exe
fi

if wants startup || wants list || wants merge || wants mp4 || wants batch; then
  echo "== bench: starting a Wine session (own prefix, own Xvfb)" >&2
  source "$root/scripts/wine-session.sh"
  wine_session_start
  bench_dir=$WINEPREFIX/drive_c/bench
  # A copy of a program in a folder of its own under bench_dir, with a saved cache path, as a user's copy has:
  # start-up reads it, the read button lists it.
  install_program() {
    local folder=$bench_dir/$1 exe=$2 cache=$3
    mkdir -p "$folder"
    cp "$exe" "$folder/"
    printf '%s\r\n' "$cache" >"$folder/shezhi.txt"
  }
  program='C:\bench\app\tdl2mp4.exe'
  install_program app "$bin/tdl2mp4.exe" 'C:\bench\cache'
  cp "$bin/bench_runner.exe" "$bin/bench_floor_form.exe" "$bin/bench_floor_window.exe" "$bin/bench_floor_list.exe" \
    "$bench_dir/"
fi

if wants startup; then
  # The floor is the program's whole window and nothing else; the bare window beside it shows what the window
  # itself costs.
  echo "== start-up: process creation to visible, answering window; program, floor (the same window), bare" \
    "(an empty window); $startup_runs runs each"
  runner startup "$startup_runs" "$program" 'C:\bench\bench_floor_form.exe' 'C:\bench\bench_floor_window.exe'
fi

if wants list; then
  for size in "${list_sizes[@]}"; do
    echo "== listing $size subfolders: read click to a full list and an answering window; $list_runs runs each"
    rm -rf "$bench_dir/cache"
    mkdir "$bench_dir/cache"
    # Made from Linux, thousands in well under a second, with names like a real cache's.
    (cd "$bench_dir/cache" && seq -f 'v%07g.321004.1' 1 "$size" | xargs mkdir)
    runner list "$list_runs" "$program" 'C:\bench\bench_floor_list.exe' 'C:\bench\cache' "$size"
  done
fi

if wants merge && has_room merge "$bench_dir" "$merge_space_mib"; then
  # Each program folder names the cache folder that holds the three videos.
  install_program before "$before_exe" 'C:\bench\merge'
  install_program after "$after_exe" 'C:\bench\merge'
  merge_dir=$bench_dir/merge
  echo "== merge: making $merge_fragments x $merge_fragment_mib MiB and $order_fragments x $order_fragment_kib KiB" \
    "of fragments ($free_mib MiB free)"
  make_fragments "$merge_fragments" $((merge_fragment_mib << 20)) "$bench_dir/staging/a0017xk2pq3" \
    "$merge_dir/a0017xk2pq3.321004.1"
  rm -rf "$bench_dir/staging"
  make_fragments "$order_fragments" $((order_fragment_kib << 10)) "$merge_dir/b0017xk2pq3.321004.2" \
    "$merge_dir/b0017xk2pq3.321004.1"
  # Nothing of the fragments waits to be written back while a join is timed.
  sync
  echo "== merge $((merge_fragments * merge_fragment_mib)) MiB: start click to the whole file," \
    "after against before ($before_ref); $merge_runs runs each"
  runner merge "$merge_runs" after 'C:\bench\after\tdl2mp4.exe' 'C:\bench\merge\a0017xk2pq3.321004.1' \
    before 'C:\bench\before\tdl2mp4.exe' 'C:\bench\merge\a0017xk2pq3.321004.1'
  echo "== merge order: $order_fragments fragments named one by one in numeric order (numbered without padding)" \
    "against taken by the wildcard (padded), the program after; $merge_runs runs each"
  runner merge "$merge_runs" explicit 'C:\bench\after\tdl2mp4.exe' 'C:\bench\merge\b0017xk2pq3.321004.1' \
    wildcard 'C:\bench\after\tdl2mp4.exe' 'C:\bench\merge\b0017xk2pq3.321004.2'
  rm -rf "$merge_dir"
fi

# One H.264 + AAC clip of 720p at a streaming service's rate, looped with -c copy up to the size wanted.
make_remux_input() {
  local input=$remux_dir/in.ts
  [[ -f $input && $(stat -c %s "$input") -ge $((remux_input_bytes * 99 / 100)) ]] && return
  echo "== remux: making a $((remux_input_bytes >> 20)) MiB transport stream in $remux_dir" >&2
  mkdir -p "$remux_dir"
  ffmpeg -hide_banner -nostdin -v error -y -f lavfi -i testsrc2=size=1280x720:rate=25:duration=20 -f lavfi \
    -i sine=frequency=440:sample_rate=48000:duration=20 -pix_fmt yuv420p -c:v libx264 -preset veryfast -b:v 3M \
    -bf 3 -g 50 -c:a aac -b:a 128k -f mpegts "$remux_dir/clip.ts"
  ffmpeg -hide_banner -nostdin -v error -y -stream_loop -1 -i "$remux_dir/clip.ts" -map 0 -c copy \
    -fs "$remux_input_bytes" -f mpegts "$input"
  rm -f "$remux_dir/clip.ts"
}

# Runs one side once: prints "seconds peak_KiB cpu_seconds", or "failed" when the command fails.
remux_run() {
  local side=$1 input=$remux_dir/in.ts output=$remux_dir/out-$1 measure status=0
  measure=(/usr/bin/time -o "$remux_dir/time.txt" -f '%e %M %U %S')
  rm -f "$output"
  case $side in
    core) "${measure[@]}" "$remux_bin" "$input" "$output" >/dev/null 2>&1 || status=$? ;;
    ffmpeg) "${measure[@]}" ffmpeg -v error -y -i "$input" -map 0 -c copy -movflags +faststart -f mp4 "$output" \
      >/dev/null 2>&1 || status=$? ;;
    cat) "${measure[@]}" sh -c 'cat "$1" >"$2"' sh "$input" "$output" || status=$? ;;
  esac
  rm -f "$output"
  if ((status == 0)); then tail -n 1 "$remux_dir/time.txt" | awk '{ print $1, $2, $3 + $4 }'; else echo failed; fi
}

median() {
  sort -g | awk '{ v[NR] = $1 } END { if (NR) print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'
}

if wants remux; then
  BUILD_DIR=$bench_build "$root/scripts/build.sh" native
  remux_bin=$bench_build/native/bin/remux_file
  if [[ -f $remux_dir/in.ts ]] || has_room remux "$(dirname "$remux_dir")" 3072; then
    make_remux_input
    cat "$remux_dir/in.ts" >/dev/null  # into the page cache
    echo "== remux $(($(stat -c %s "$remux_dir/in.ts") >> 20)) MiB: core, ffmpeg -c copy +faststart, cat;" \
      "$remux_runs runs each, in turn"
    declare -A remux_times remux_peaks remux_cpu
    for ((run = 1; run <= remux_runs; ++run)); do
      for side in core ffmpeg cat; do
        result=$(remux_run "$side")
        [[ $result == failed ]] && { echo "  run $run $side: failed"; continue; }
        read -r seconds peak cpu <<<"$result"
        echo "  run $run $side: $seconds s, cpu $cpu s, peak $peak KiB"
        remux_times[$side]+="$seconds"$'\n'
        remux_peaks[$side]+="$peak"$'\n'
        remux_cpu[$side]+="$cpu"$'\n'
      done
    done
    # Under load the wall times spread widely; the processor time beside them spreads less.
    declare -A remux_median
    for side in core ffmpeg cat; do
      remux_median[$side]=$(printf '%s' "${remux_times[$side]:-}" | median)
      summary+=("$(printf '%-11s %-7s %8s s (%s-%s)  cpu %s s  peak %s MiB' remux "$side" \
        "${remux_median[$side]:-n/a}" \
        "$(printf '%s' "${remux_times[$side]:-}" | sort -g | head -n 1)" \
        "$(printf '%s' "${remux_times[$side]:-}" | sort -g | tail -n 1)" \
        "$(printf '%s' "${remux_cpu[$side]:-}" | median)" \
        "$(printf '%s' "${remux_peaks[$side]:-}" | median | awk '{ printf "%.1f", $1 / 1024 }')")")
    done
    if [[ -n ${remux_median[core]} && -n ${remux_median[ffmpeg]} && -n ${remux_median[cat]} ]]; then
      summary+=("$(awk -v c="${remux_median[core]}" -v f="${remux_median[ffmpeg]}" -v floor="${remux_median[cat]}" \
        'BEGIN { printf "remux       core/ffmpeg %.2f (goal <= 0.5), core/cat %.2f", c / f, c / floor }')")
    fi
  fi
fi

if wants mp4 && has_room mp4 "$bench_dir" "$mp4_space_mib"; then
  install_program mp4 "$bin/tdl2mp4.exe" 'C:\bench\ts'
  install_program join "$mp4_before_exe" 'C:\bench\ts'
  video=$bench_dir/ts/c0017xk2pq3.321004.1
  mkdir -p "$video"
  echo "== mp4: making a $mp4_cache_mib MiB cache of transport-stream fragments with ffmpeg"
  # A noisy clip looped without encoding it again, cut at key frames into fragments numbered from 1 as the client
  # numbers them.
  "$root/scripts/make-ts-fixtures.sh" --noise-clip "$bench_dir/clip.ts"
  loops=$(((mp4_cache_mib << 20) / $(stat -c %s "$bench_dir/clip.ts")))
  ffmpeg -nostdin -v error -y -stream_loop "$loops" -i "$bench_dir/clip.ts" -map 0 -c copy -f segment \
    -segment_time 8 -segment_format mpegts -segment_start_number 1 "$video/c0017xk2pq3.321004.%d.tdl"
  rm "$bench_dir/clip.ts"
  sync
  echo "== mp4 $(du -sm "$video" | cut -f1) MiB in $(ls "$video" | wc -l) fragments: start click to the" \
    "finished MP4, against start click to the join of $mp4_before_ref; $mp4_runs runs each"
  runner remux "$mp4_runs" mp4 'C:\bench\mp4\tdl2mp4.exe' 'C:\bench\ts\c0017xk2pq3.321004.1' \
    join 'C:\bench\join\tdl2mp4.exe' 'C:\bench\ts\c0017xk2pq3.321004.1'
  rm -rf "$bench_dir/ts"
fi

if wants batch && has_room batch "$bench_dir" "$batch_space_mib"; then
  install_program batch "$bin/tdl2mp4.exe" 'C:\bench\videos'
  mkdir -p "$bench_dir/batch-floor"
  echo "== batch: making $batch_videos videos of $batch_video_mib MiB of transport-stream fragments with ffmpeg"
  # As for mp4: the noisy clip is looped without encoding it again up to the size wanted, then cut at key frames
  # into fragments numbered from 1 without padding.
  staging=$bench_dir/batch-staging
  mkdir -p "$staging/fragments"
  "$root/scripts/make-ts-fixtures.sh" --noise-clip "$staging/clip.ts"
  ffmpeg -nostdin -v error -y -stream_loop -1 -i "$staging/clip.ts" -map 0 -c copy \
    -fs $((batch_video_mib << 20)) -f mpegts "$staging/video.ts"
  ffmpeg -nostdin -v error -y -i "$staging/video.ts" -map 0 -c copy -f segment \
    -segment_time "$batch_fragment_seconds" -segment_format mpegts -segment_start_number 1 \
    "$staging/fragments/%d.tdl"
  # Every video its own files, as a real cache has them; the first four characters of the folder's name,
  # which name the MP4, differ from video to video.
  for ((video = 1; video <= batch_videos; ++video)); do
    folder=$bench_dir/videos/$(printf 'v%03dxk2pq3.321004.1' "$video")
    mkdir -p "$folder"
    cp "$staging/fragments/"*.tdl "$folder/"
  done
  rm -rf "$staging"
  sync
  first=$bench_dir/videos/v001xk2pq3.321004.1
  echo "== batch $batch_videos videos of $(du -sb "$first" | awk '{ printf "%.1f", $1 / 1048576 }') MiB in" \
    "$(ls "$first" | wc -l) fragments each:" \
    "all selected and one click, against one click per video, against the floor; $batch_runs runs each"
  runner batch "$batch_runs" 'C:\bench\batch\tdl2mp4.exe' 'C:\bench\videos' 'C:\bench\batch-floor'
  rm -rf "$bench_dir/videos"
fi

if wants size; then
  summary+=("$(printf '%-11s program %d bytes' exe-size "$(stat -c %s "$bin/tdl2mp4.exe")")")
fi

echo
echo "== summary: median time (fastest-slowest) and median peak working set at the end of the timed step"
printf '  %s\n' "${summary[@]}"
