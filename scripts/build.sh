#!/usr/bin/env bash
# Configures and builds the native tree (core + unit tests), the 64-bit Windows tree (program, e2e driver,
# benchmarks) and the 32-bit Windows tree (program, e2e driver).
# Usage: scripts/build.sh [native|win|win32]...   (all three when none given)
# BUILD_DIR overrides where the trees go (default: build/ in the repo).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${BUILD_DIR:-$root/build}

"$root/scripts/ensure-deps.sh"

build_tree() {
  local name=$1
  shift
  echo "== build: $name tree in $build_dir/$name" >&2
  cmake -S "$root" -B "$build_dir/$name" -G Ninja -DCMAKE_BUILD_TYPE=Release "$@" &&
    cmake --build "$build_dir/$name"
}

trees=("$@")
((${#trees[@]})) || trees=(native win win32)
for tree in "${trees[@]}"; do
  case $tree in
    native) build_tree native ;;
    win) build_tree win -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" ;;
    win32) build_tree win32 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-i686.cmake" ;;
    *) echo "build: unknown tree '$tree' (expected native, win or win32)" >&2; exit 2 ;;
  esac || { echo "build: FAILED building the $tree tree" >&2; exit 1; }
done
