#!/usr/bin/env bash
# Measures the Windows program under Wine next to floor programs, prints every figure
# and then a summary table. Nothing is asserted: the goals in the table are for
# orientation, and the exit status only says whether the measuring itself could run.
#
# Usage: scripts/bench.sh [startup] [list] [size]     (all of them when none given)
#
# Installs what is missing on Debian 12 (apt-get, as root) through scripts/ensure-deps.sh.
# Works in a private Wine prefix on a private Xvfb under /tmp and removes both at the end.
#
# BENCH_BUILD_DIR  where the build trees go (default build/bench, apart from other tools' trees)
# BENCH_BIN        a folder that already holds tdl2mp4.exe and the bench_*.exe: no build
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${BENCH_BUILD_DIR:-$root/build/bench}

startup_runs=10
list_runs=5
list_sizes=(1000 10000)
runner_timeout=1800

usage() { echo "usage: scripts/bench.sh [startup] [list] [size]" >&2; }

sections=("$@")
((${#sections[@]})) || sections=(startup list size)
for section in "${sections[@]}"; do
  case $section in
    startup | list | size) ;;
    *) usage; exit 2 ;;
  esac
done
wants() {
  local section
  for section in "${sections[@]}"; do [[ $section == "$1" ]] && return 0; done
  return 1
}

# ---- build ----
if [[ -n ${BENCH_BIN:-} ]]; then
  bin=$BENCH_BIN
elif [[ -x $root/scripts/build.sh ]]; then
  BUILD_DIR=$build_dir "$root/scripts/build.sh" win
  bin=$build_dir/win/bin
else
  [[ -x $root/scripts/ensure-deps.sh ]] && "$root/scripts/ensure-deps.sh"
  cmake -S "$root" -B "$build_dir/win" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake"
  cmake --build "$build_dir/win"
  bin=$build_dir/win/bin
fi
for exe in tdl2mp4.exe bench_runner.exe bench_floor_window.exe bench_floor_list.exe; do
  [[ -f $bin/$exe ]] || { echo "bench: $bin/$exe was not built" >&2; exit 1; }
done

declare -A figure=()

# ---- the Wine session ----
if [[ -f $root/scripts/wine-session.sh ]]; then
  source "$root/scripts/wine-session.sh"
else
  wine_session_start() {
    export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    SESSION_DIR=$(mktemp -d /tmp/tdl2mp4-bench.XXXXXX)
    trap wine_session_stop EXIT
    trap 'exit 130' INT TERM
    local n
    for ((n = 90; n < 190; n++)); do
      [[ -e /tmp/.X$n-lock || -e /tmp/.X11-unix/X$n ]] && continue
      Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
      XVFB_PID=$! DISPLAY=":$n"
      export DISPLAY
      local tries
      for ((tries = 0; tries < 75; tries++)); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.2; done
      [[ $(tr -d ' \n' <"/tmp/.X$n-lock" 2>/dev/null) == "$XVFB_PID" ]] && break
      kill "$XVFB_PID" 2>/dev/null || true
      XVFB_PID=
    done
    [[ -n ${XVFB_PID:-} ]] || { echo "bench: could not start Xvfb" >&2; return 1; }
    export WINEPREFIX=$SESSION_DIR/prefix
    timeout 180 wineboot -i >/dev/null 2>&1 &&
      timeout 60 wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1 &&
      timeout 120 wineserver -w
  }
  wine_session_stop() {
    [[ -n ${WINEPREFIX:-} && -d $WINEPREFIX ]] && { timeout 30 wineserver -k 2>/dev/null || true; }
    [[ -n ${XVFB_PID:-} ]] && { kill "$XVFB_PID" 2>/dev/null || true; wait "$XVFB_PID" 2>/dev/null || true; }
    [[ -n ${SESSION_DIR:-} ]] && rm -rf "$SESSION_DIR"
    XVFB_PID="" SESSION_DIR=""
  }
fi

# Runs the measuring program in the prefix; its RESULT lines go into `figure`, the rest to the screen.
runner() {
  local line key value
  while IFS= read -r line; do
    line=${line%$'\r'}
    if [[ $line == RESULT\ * ]]; then
      read -r _ key value <<<"$line"
      figure[$key]=$value
    else
      printf '  %s\n' "$line"
    fi
  done < <(timeout "$runner_timeout" wine 'C:\bench\tools\bench_runner.exe' "$@" || echo "bench_runner $1 failed ($?)")
}

# Subfolders made from Linux: thousands of them in well under a second, with names like the client's.
make_cache() {
  local folder=$1 count=$2
  mkdir -p "$folder"
  (cd "$folder" && seq -f 'v%07g.321004.1' 1 "$count" | xargs mkdir)
}

if wants startup || wants list; then
  echo "== bench: starting a Wine session (own prefix, own Xvfb)" >&2
  wine_session_start
  drive_c=$WINEPREFIX/drive_c
  app_exe='C:\bench\app\tdl2mp4.exe'
  mkdir -p "$drive_c/bench/app" "$drive_c/bench/tools"
  cp "$bin/tdl2mp4.exe" "$drive_c/bench/app/"
  cp "$bin"/bench_runner.exe "$bin"/bench_floor_window.exe "$bin"/bench_floor_list.exe "$drive_c/bench/tools/"
fi

if wants startup; then
  echo "== start-up: $startup_runs runs, program and bare window"
  runner startup "$app_exe" "$startup_runs"
fi

if wants list; then
  for size in "${list_sizes[@]}"; do
    echo "== listing $size subfolders: $list_runs runs, program and floor"
    make_cache "$drive_c/bench/cache$size" "$size"
    runner list "$app_exe" "C:\\bench\\cache$size" "$list_runs"
    rm -rf "${drive_c:?}/bench/cache$size"
  done
fi

if wants size; then
  figure[size.bytes]=$(stat -c %s "$bin/tdl2mp4.exe")
fi

# ---- summary ----
get() { echo "${figure[$1]:-}"; }
number() { [[ -n $2 ]] && awk -v v="$2" -v f="$1" 'BEGIN { printf f, v }' || echo "n/a"; }
ratio() { [[ -n $1 && -n $2 ]] && awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }' || echo "n/a"; }
# "yes" when every condition (an awk expression over the figures given) holds, "n/a" when a figure is missing.
met() {
  local expression=$1
  shift
  local value
  for value in "$@"; do [[ -n $value ]] || { echo "n/a"; return; }; done
  awk -v a="${1:-0}" -v b="${2:-0}" "BEGIN { print ($expression) ? \"yes\" : \"no\" }"
}
row() { printf '%-30s %-12s %-16s %-7s %-26s %s\n' "$@"; }

echo
echo "== summary (medians; goals for orientation only, nothing is asserted)"
row "figure" "program" "compared with" "ratio" "goal" "met"
if wants startup; then
  row "start-up to visible window" "$(number '%.1f ms' "$(get startup.program_ms)")" \
    "$(number '%.1f ms' "$(get startup.floor_ms)")" "$(ratio "$(get startup.program_ms)" "$(get startup.floor_ms)")" \
    "<= 1.5x bare window" "$(met 'a / b <= 1.5' "$(get startup.program_ms)" "$(get startup.floor_ms)")"
  program=$(get startup.program_peak_mib) floor=$(get startup.floor_peak_mib)
  row "peak working set, start-up" "$(number '%.1f MiB' "$program")" "$(number '%.1f MiB' "$floor")" \
    "$(ratio "$program" "$floor")" "-" "-"
fi
if wants list; then
  for size in "${list_sizes[@]}"; do
    program=$(get "list.$size.program_ms") floor=$(get "list.$size.floor_ms")
    if ((size == 10000)); then
      goal="< 1 s, <= 1.5x floor" verdict=$(met 'a < 1000 && a / b <= 1.5' "$program" "$floor")
    else
      goal="-" verdict="-"
    fi
    row "list $size subfolders" "$(number '%.1f ms' "$program")" "$(number '%.1f ms' "$floor")" \
      "$(ratio "$program" "$floor")" "$goal" "$verdict"
  done
  program=$(get list.10000.program_peak_mib) floor=$(get list.10000.floor_peak_mib)
  row "peak working set, 10000" "$(number '%.1f MiB' "$program")" "$(number '%.1f MiB' "$floor")" \
    "$(ratio "$program" "$floor")" "< 16 MiB" "$(met 'a < 16' "$program")"
fi
if wants size; then
  row "tdl2mp4.exe size" "$(number '%d B' "$(get size.bytes)")" "" "" "< 1 MiB (1048576 B)" \
    "$(met 'a < 1048576' "$(get size.bytes)")"
fi
