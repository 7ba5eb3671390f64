#!/usr/bin/env bash
# Checks one zip that scripts/package.sh made, as a user on Windows 7 to 11 would meet it: the name and version,
# the three files in one folder, an exe for the processor the name says that is stripped, small and starts on
# Windows 7, whose properties show the product's name, version and copyright, and a guide and licence that Notepad
# shows correctly.
# Usage: tests/package/check-zip.sh dist/<package name>-<major.minor>-<x86|x64>.zip
# Prints "PASS <zip>" or "FAIL <zip>: <reasons>"; the exit code says the same.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
zip=$1
largest_exe=$((512 * 1024))
guide=使用说明.txt

failures=()
fail() { failures+=("$*"); }
# Text as a PCRE pattern of its UTF-16LE bytes, characters that mean something to PCRE included.
utf16() { printf '%s' "$1" | iconv -f UTF-8 -t UTF-16LE | od -An -tx1 -v | tr -s ' \n' ' ' | sed -E 's/ ?([0-9a-f]{2})/\\x\1/g' | tr -d ' '; }

version=$(grep -oE '^project\(tdl2mp4 VERSION [0-9.]+' "$root/CMakeLists.txt" | grep -oE '[0-9.]+$') ||
  { echo "FAIL $zip: no version in CMakeLists.txt"; exit 1; }
shown_version=${version%.*}
package=$(sed -nE 's/^set\(PACKAGE_NAME ([A-Za-z0-9._-]+)\)$/\1/p' "$root/CMakeLists.txt")
product=$(sed -nE 's/^set\(PRODUCT_NAME "([^"]+)"\)$/\1/p' "$root/CMakeLists.txt")
copyright=$(grep -m1 '^Copyright' "$root/LICENSE")
[[ -n $package && -n $product ]] || { echo "FAIL $zip: no PACKAGE_NAME or PRODUCT_NAME in CMakeLists.txt"; exit 1; }
name=${zip##*/}
case $name in
  $package-$shown_version-x86.zip) format=pei-i386 manifest_processor=x86 ;;
  $package-$shown_version-x64.zip) format=pei-x86-64 manifest_processor=amd64 ;;
  *) echo "FAIL $zip: the name is not $package-$shown_version-x86.zip or -x64.zip"; exit 1 ;;
esac
top=${name%.zip}

work=$(mktemp -d /tmp/tdl2mp4-check-zip.XXXXXX)
trap 'rm -rf "$work"' EXIT
unzip -q "$zip" -d "$work" || { echo "FAIL $zip: unzip failed"; exit 1; }

listing=$(cd "$work" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
expected=$(printf '%s\n' "$top/LICENSE.txt" "$top/tdl2mp4.exe" "$top/$guide" | LC_ALL=C sort)
[[ $listing == "$expected" ]] || fail "holds [$(echo $listing)], expected [$(echo $expected)]"

exe=$work/$top/tdl2mp4.exe
if [[ -f $exe ]]; then
  header=$(x86_64-w64-mingw32-objdump -f "$exe")
  [[ $header == *"file format $format"* ]] || fail "the exe is not $format"
  [[ $header != *HAS_SYMS* ]] || fail "the exe still has its symbol table"
  size=$(stat -c %s "$exe")
  ((size <= largest_exe)) || fail "the exe is $size bytes, more than $largest_exe"

  # Windows 7 is 6.1: it refuses an exe that asks for a newer system.
  pe=$(x86_64-w64-mingw32-objdump -p "$exe")
  for field in OSystem Subsystem; do
    major=$(awk -v f="Major${field}Version" '$1 == f { print $2 }' <<<"$pe")
    minor=$(awk -v f="Minor${field}Version" '$1 == f { print $2 }' <<<"$pe")
    ((major * 100 + minor <= 601)) || fail "the exe needs Windows $major.$minor ($field version)"
  done

  # The manifest is stored as it was written, UTF-8 text inside the resources.
  identity=$(grep -zaoE '<assemblyIdentity type="win32" name="Tdl2Mp4.App"[^>]*>' "$exe" | tr '\0\n' '  ') || true
  [[ $identity == *"version=\"$version.0\""* ]] || fail "the manifest's version is not $version.0: $identity"
  [[ $identity == *"processorArchitecture=\"$manifest_processor\""* ]] ||
    fail "the manifest does not name processor $manifest_processor: $identity"

  # What Explorer shows under Properties → Details: each value as UTF-16 after its key, which may be padded.
  for pair in "FileVersion=$version.0" "ProductVersion=$shown_version" "ProductName=$product" \
    "FileDescription=$product" "LegalCopyright=$copyright"; do
    key=${pair%%=*} value=${pair#*=}
    LC_ALL=C grep -qaP "$(utf16 "$key")\\x00\\x00(\\x00\\x00)?$(utf16 "$value")\\x00\\x00" "$exe" ||
      fail "the exe's $key is not '$value'"
  done
fi

if [[ -f $work/$top/$guide ]] && ! cmp -s "$root/docs/$guide" "$work/$top/$guide"; then
  fail "the guide differs from docs/$guide"
fi
if [[ -f $work/$top/LICENSE.txt ]] && ! sed 's/$/\r/' "$root/LICENSE" | cmp -s - "$work/$top/LICENSE.txt"; then
  fail "LICENSE.txt is not LICENSE with CRLF line ends"
fi

if ((${#failures[@]})); then
  reasons=$(printf '%s; ' "${failures[@]}")
  echo "FAIL $zip: ${reasons%; }"
  exit 1
fi
echo "PASS $zip"
