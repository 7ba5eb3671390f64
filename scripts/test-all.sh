#!/usr/bin/env bash
# Builds every tree (build.sh installs what is missing first), runs the unit tests natively, the end-to-end runs
# below under Wine on a private Xvfb, and checks the zips that scripts/package.sh makes.
# Usage: scripts/test-all.sh [part of an e2e case name]...
#   With names given, only the runs at 96 dpi go, each with only the cases whose names contain one of them.
# The last line sums every part as "N passed, N failed", with ", N skipped" after it when runs were left out
# (the line before says why); the exit code is non-zero if anything failed.
# On a machine that cannot run 32-bit programs the 32-bit run is skipped (see scripts/wine-session.sh).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${BUILD_DIR:-$root/build}
passed=0 failed=0 skipped=0

# The end-to-end runs, one a line: build tree, locale, dots per inch, then parts of case names (none: every case).
# Consecutive runs in one locale share a Wine prefix made under that locale; each run sets its own dpi.
e2e_runs=(
  "win   zh_CN.UTF-8 96"
  # The window must keep its layout in twips at other DPIs too.
  "win   zh_CN.UTF-8 120 window_"
  "win   zh_CN.UTF-8 144 window_"
  # The 32-bit exe, with the 32-bit driver: reading another process's GDI objects needs the same bitness.
  "win32 zh_CN.UTF-8 96"
  # ANSI 1252 and OEM 850: a script or settings file written in the wrong code page fails here.
  "win   fr_FR.UTF-8 96"
)

# Adds one part's counts; a part that failed without saying how many, or gave no counts, counts as one failure.
count() {
  local rc=$1 part_passed=${2:-0} part_failed=${3:-1}
  ((rc == 0 || part_failed > 0)) || part_failed=1
  passed=$((passed + part_passed)) failed=$((failed + part_failed))
}

run_unit_tests() {
  local log=$build_dir/unit-tests.log rc=0
  "$root/scripts/build.sh" native || { echo "test-all: native build failed; unit tests not run"; count 1; return; }
  ctest --test-dir "$build_dir/native" --output-on-failure --no-tests=error 2>&1 | tee "$log" || rc=$?
  # ctest ends with "...% tests passed, F tests failed out of T".
  local summary
  summary=$(grep -oE '[0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1) || true
  if [[ $summary =~ ^([0-9]+)\ tests?\ failed\ out\ of\ ([0-9]+)$ ]]; then
    count "$rc" $((BASH_REMATCH[2] - BASH_REMATCH[1])) "${BASH_REMATCH[1]}"
  else
    count "$rc"
  fi
}

# Runs one end-to-end run inside the current Wine session: e2e_run TREE DPI [NAME...]
e2e_run() {
  local tree=$1 dpi=$2
  shift 2
  local exe=$build_dir/$tree/bin/tdl2mp4.exe driver=$build_dir/$tree/bin/e2e_driver.exe
  [[ -f $exe && -f $driver ]] || { echo "test-all: $tree tree lacks tdl2mp4.exe or e2e_driver.exe"; return 1; }
  # No Wine process may outlive the run before: its explorer would show this run's folders in the windows it
  # already has, where the cases expect new ones.
  timeout 30 wineserver -k 2>/dev/null || true
  timeout 30 wineserver -w || true
  wine_reg_add 'HKCU\Control Panel\Desktop' LogPixels REG_DWORD "$dpi" || return 1
  # The MP4 a case leaves from transport-stream fragments, under the check's name.
  local -A mp4s=(
    [remux_ffprobe]=remux_to_mp4/app/Shipin0f4c.mp4
    [batch_ffprobe]=batch_skipped_and_gaps/app/Shipin5555.mp4
  )
  local status=0 check mp4 probed
  for check in "${!mp4s[@]}"; do rm -f "$WINEPREFIX/drive_c/e2e-é/${mp4s[$check]}"; done
  E2E_EXPECT_DPI=$dpi E2E_TS_FIXTURES=$("$wine_loader" winepath -w "$ts_fixtures") \
    timeout 30m "$wine_loader" "$driver" "$("$wine_loader" winepath -w "$exe")" "$@" || status=$?
  # Each read by ffmpeg's own prober: an MP4 with the picture and the sound.
  for check in "${!mp4s[@]}"; do
    mp4=$WINEPREFIX/drive_c/e2e-é/${mp4s[$check]}
    [[ -f $mp4 ]] || continue
    probed=$(ffprobe -v error -show_entries format=format_name:stream=codec_name -of csv=p=0 "$mp4" | tr '\n' ' ')
    if [[ $probed == *h264*aac*mov,mp4* ]]; then
      echo "PASS $check"
    else
      echo "FAIL $check: ffprobe reads $probed"
      status=1
    fi
  done
  return "$status"
}

run_e2e_tests() {
  local log=$build_dir/e2e-tests.log rc=0
  # The 32-bit tree is built even where it cannot run: the x86 zip is made from it.
  "$root/scripts/build.sh" win win32 || { echo "test-all: Windows build failed; e2e tests not run"; count 1; return; }
  source "$root/scripts/wine-session.sh"
  local ts_fixtures
  ts_fixtures=$("$root/scripts/make-ts-fixtures.sh") || { echo "test-all: no transport-stream fixtures"; count 1; return; }
  local runs=() run tree locale dpi names
  for run in "${e2e_runs[@]}"; do
    read -r tree locale dpi names <<<"$run"
    if (($#)); then
      ((dpi == 96)) || continue
      names="$*"
    fi
    if [[ $tree == win32 ]] && ((!wine_runs_32bit)); then
      echo "test-all: e2e run skipped: $tree tree, $locale, $dpi dpi: this machine cannot run 32-bit programs"
      skipped=$((skipped + 1))
      continue
    fi
    runs+=("$tree $locale $dpi $names")
  done
  # The subshell scopes the sessions: leaving it stops the last prefix's Wine and our Xvfb, whatever happened.
  (
    status=0 session_locale=
    for run in "${runs[@]}"; do
      read -r tree locale dpi names <<<"$run"
      if [[ $locale != "$session_locale" ]]; then
        [[ -z $session_locale ]] || wine_session_stop
        session_locale=$locale
        wine_session_start "$locale" || { echo "test-all: no Wine session in $locale"; status=1; continue; }
      fi
      echo "test-all: e2e run: $tree tree, $locale, $dpi dpi, cases: ${names:-all}"
      read -ra name_list <<<"$names"
      e2e_run "$tree" "$dpi" "${name_list[@]}" || status=$?
    done
    echo "test-all: e2e runs ${#runs[@]}"
    exit "$status"
  ) 2>&1 | sed -u 's/\r*$//' | tee "$log" || rc=$?
  ((rc != 124)) || echo "test-all: e2e tests timed out"
  # Every run ends with its own "N passed, N failed"; a run that printed none counts as a failure.
  local expected summaries run_passed=0 run_failed=0
  expected=$(grep -oE '^test-all: e2e runs [0-9]+$' "$log" | grep -oE '[0-9]+$') || expected=${#runs[@]}
  summaries=$(grep -E '^[0-9]+ passed, [0-9]+ failed$' "$log") || true
  while read -r p _ f _; do
    [[ -n $p ]] || continue
    run_passed=$((run_passed + p)) run_failed=$((run_failed + f)) expected=$((expected - 1))
  done <<<"$summaries"
  ((expected <= 0)) || run_failed=$((run_failed + expected))
  # The checks of the cases' MP4s follow their run's own summary.
  run_passed=$((run_passed + $(grep -cE '^PASS [a-z_]+_ffprobe' "$log"))) || true
  run_failed=$((run_failed + $(grep -cE '^FAIL [a-z_]+_ffprobe' "$log"))) || true
  count "$rc" "$run_passed" "$run_failed"
}

# The zips go to a scratch folder, so a test run never replaces what is in dist/.
run_package_checks() {
  local log=$build_dir/package-checks.log rc=0
  DIST_DIR=$build_dir/dist-check "$root/scripts/package.sh" 2>&1 | tee "$log" || rc=$?
  count "$rc" "$(grep -c '^PASS ' "$log")" "$(grep -c '^FAIL ' "$log")"
}

mkdir -p "$build_dir"
run_unit_tests
run_e2e_tests "$@"
run_package_checks
if ((skipped)); then
  echo "test-all: $skipped skipped: this machine cannot run 32-bit programs"
  echo "$passed passed, $failed failed, $skipped skipped"
else
  echo "$passed passed, $failed failed"
fi
((failed == 0))
