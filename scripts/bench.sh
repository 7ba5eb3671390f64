#!/usr/bin/env bash
# Times the Windows program under Wine run by run in turn with a floor program, prints every run and
# then a summary of medians and ratios. Nothing is asserted: the exit status only says whether the
# measuring itself could run.
#
# Usage: scripts/bench.sh [startup] [list] [size]     (all of them when none given)
#
# Builds through scripts/build.sh (which installs what is missing on Debian 12) into build/bench, and
# works in a private Wine prefix on a private Xvfb under /tmp, both removed at the end.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
startup_runs=10
list_runs=5
list_sizes=(1000 10000)

sections=("$@")
((${#sections[@]})) || sections=(startup list size)
for section in "${sections[@]}"; do
  [[ $section == @(startup|list|size) ]] || { echo "usage: scripts/bench.sh [startup] [list] [size]" >&2; exit 2; }
done
wants() { [[ " ${sections[*]} " == *" $1 "* ]]; }

BUILD_DIR=$root/build/bench "$root/scripts/build.sh" win
bin=$root/build/bench/win/bin
summary=()

# Prints the runner's lines as they come and keeps its summary lines for the end.
runner() {
  local line
  while IFS= read -r line; do
    line=${line%$'\r'}
    echo "  $line"
    [[ $line == summary* ]] && summary+=("${line#summary }")
  done < <(timeout 1800 "$wine_loader" 'C:\bench\bench_runner.exe' "$@" || echo "bench_runner $1 failed ($?)")
}

if wants startup || wants list; then
  echo "== bench: starting a Wine session (own prefix, own Xvfb)" >&2
  source "$root/scripts/wine-session.sh"
  wine_session_start
  bench_dir=$WINEPREFIX/drive_c/bench
  program='C:\bench\app\tdl2mp4.exe'
  mkdir -p "$bench_dir/app"
  cp "$bin/tdl2mp4.exe" "$bench_dir/app/"
  cp "$bin/bench_runner.exe" "$bin/bench_floor_window.exe" "$bin/bench_floor_list.exe" "$bench_dir/"
  # A saved cache path, as a user's copy has: start-up reads it, the read button lists it.
  printf 'C:\\bench\\cache\r\n' >"$bench_dir/app/shezhi.txt"
fi

if wants startup; then
  echo "== start-up: process creation to visible, answering window; $startup_runs runs each"
  runner startup "$startup_runs" "$program" 'C:\bench\bench_floor_window.exe'
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

if wants size; then
  summary+=("$(printf '%-11s program %d bytes' exe-size "$(stat -c %s "$bin/tdl2mp4.exe")")")
fi

echo
echo "== summary: median time (fastest-slowest) and median peak working set at the end of the timed step"
printf '  %s\n' "${summary[@]}"
