#!/usr/bin/env bash
# Installs what building, running and testing need on Debian 12; does nothing when all is present.
set -euo pipefail

# package -> why we need it
declare -A why=(
  [cmake]="configures both build trees"
  [ninja-build]="runs the builds"
  [g++]="compiles the portable core and its unit tests"
  [googletest]="unit test framework sources"
  [libgtest-dev]="unit test framework"
  [g++-mingw-w64-x86-64]="cross-compiles the 64-bit Windows program"
  [g++-mingw-w64-i686]="cross-compiles the 32-bit Windows program"
  [wine]="runs the Windows program"
  [wine64]="runs 64-bit Windows programs"
  [wine32]="runs 32-bit Windows programs (an i386 package)"
  [xvfb]="a screen for Wine when there is no display"
  [xauth]="lets Xvfb start under xvfb-run and friends"
  [x11-utils]="xwininfo/xdpyinfo: find the window, check the screen answers"
  [imagemagick]="import/convert: screenshot to PNG"
  [fonts-wqy-zenhei]="renders the Chinese captions"
  [locales]="provides the zh_CN.UTF-8 locale (code page 936 in Wine)"
  [qrencode]="scripts/make-assets.py draws the QR code bitmap with it"
  [unzip]="tests/package/check-zip.sh opens the zips that scripts/package.sh makes"
  [time]="/usr/bin/time: peak memory of the remux in scripts/bench.sh remux"
  [ffmpeg]="reference for media in tests and benchmarks (ffmpeg, ffprobe); never part of the program"
)

missing=()
for pkg in "${!why[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
  [[ $status == "install ok installed" ]] || missing+=("$pkg")
done

sudo=()
[[ $(id -u) -eq 0 ]] || sudo=(sudo)

if ((${#missing[@]})); then
  echo "ensure-deps: installing missing packages:" >&2
  for pkg in "${missing[@]}"; do echo "  $pkg - ${why[$pkg]}" >&2; done
  export DEBIAN_FRONTEND=noninteractive
  # wine32 comes from the i386 archive, which apt only reads once dpkg accepts that architecture.
  if [[ " ${missing[*]} " == *" wine32 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "ensure-deps: adding the i386 architecture for wine32" >&2
    "${sudo[@]}" dpkg --add-architecture i386
  fi
  "${sudo[@]}" apt-get update
  "${sudo[@]}" apt-get install -y "${missing[@]}"
fi

# Without zh_CN.UTF-8 Wine falls back to code page 1252 and Chinese text turns into boxes; fr_FR.UTF-8 is the
# second test locale, where the ANSI (1252) and OEM (850) code pages differ.
missing_locales=()
for wanted in zh_CN fr_FR; do
  locale -a 2>/dev/null | grep -qiE "^$wanted\.utf-?8$" || missing_locales+=("$wanted.UTF-8")
done
if ((${#missing_locales[@]})); then
  echo "ensure-deps: generating locales ${missing_locales[*]}" >&2
  for wanted in "${missing_locales[@]}"; do
    if grep -qE "^#? *$wanted UTF-8" /etc/locale.gen 2>/dev/null; then
      "${sudo[@]}" sed -i -E "s/^# *($wanted UTF-8)/\1/" /etc/locale.gen
    else
      echo "$wanted UTF-8" | "${sudo[@]}" tee -a /etc/locale.gen >/dev/null
    fi
  done
  "${sudo[@]}" locale-gen
fi
