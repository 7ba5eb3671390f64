#!/usr/bin/env bash
# Builds the 64-bit and the 32-bit Windows program and leaves in dist/ one zip for each, made by CPack's ZIP
# generator: Quendril-<major.minor>-x64.zip and Quendril-<major.minor>-x86.zip (PACKAGE_NAME in CMakeLists.txt),
# each a folder of the same name with the stripped tdl2mp4.exe, the user guide (使用说明.txt) and the licence. Then checks each zip with tests/package/check-zip.sh.
# Installs what is missing on Debian 12 first (apt-get, as root), through build.sh.
# DIST_DIR overrides where the zips go (default dist/ in the repo); BUILD_DIR as for build.sh.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${BUILD_DIR:-$root/build}
dist_dir=${DIST_DIR:-$root/dist}
# The zip marks the guide's Chinese name as UTF-8 only under a UTF-8 locale; under C, cpack cannot even read it.
export LC_ALL=C.UTF-8

"$root/scripts/build.sh" win win32
mkdir -p "$dist_dir"
status=0
for tree in win win32; do
  staging=$build_dir/$tree/package/cpack
  rm -rf "$staging"
  echo "== package: $tree tree" >&2
  cpack --config "$build_dir/$tree/CPackConfig.cmake" -B "$staging" >&2
  zips=("$staging"/*.zip)
  ((${#zips[@]} == 1)) && [[ -f ${zips[0]} ]] || { echo "package: cpack made no single zip in $staging" >&2; exit 1; }
  mv -f "${zips[0]}" "$dist_dir/"
  zip=$dist_dir/${zips[0]##*/}
  echo "package: $zip ($(stat -c %s "$zip") bytes; tdl2mp4.exe $(stat -c %s "$build_dir/$tree/bin/tdl2mp4.exe") bytes)"
  "$root/tests/package/check-zip.sh" "$zip" || status=1
done
exit "$status"
