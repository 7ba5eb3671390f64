#!/usr/bin/env bash
# Builds both trees (build.sh installs what is missing first), runs the unit tests natively and the end-to-end
# tests under Wine on a private Xvfb.
# Usage: scripts/test-all.sh [e2e case-name filter]
# The last line sums both parts as "N passed, N failed"; the exit code is non-zero if anything failed.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${BUILD_DIR:-$root/build}
passed=0 failed=0

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

run_e2e_tests() {
  local log=$build_dir/e2e-tests.log rc=0
  local exe=$build_dir/win/bin/tdl2mp4.exe driver=$build_dir/win/bin/e2e_driver.exe
  "$root/scripts/build.sh" win || { echo "test-all: Windows build failed; e2e tests not run"; count 1; return; }
  [[ -f $driver ]] || { echo "test-all: e2e driver missing ($driver); e2e tests not run"; count 1; return; }
  # The subshell scopes the session: leaving it stops this prefix's Wine and our Xvfb, whatever happened inside.
  (
    source "$root/scripts/wine-session.sh"
    wine_session_start
    local status=0 runs=1
    timeout 40m wine "$driver" "$(winepath -w "$exe")" "$@" || status=$?
    # The window must keep its layout in twips at other DPIs too: run its cases again at 120 and 144 dpi.
    if (($# == 0)); then
      for dpi in 120 144; do
        echo "test-all: window cases at $dpi dpi"
        wine_reg_add 'HKCU\Control Panel\Desktop' LogPixels REG_DWORD "$dpi"
        E2E_EXPECT_DPI=$dpi timeout 10m wine "$driver" "$(winepath -w "$exe")" window_ || status=$?
        runs=$((runs + 1))
      done
    fi
    echo "test-all: e2e runs $runs"
    exit "$status"
  ) 2>&1 | sed -u 's/\r*$//' | tee "$log" || rc=$?
  ((rc != 124)) || echo "test-all: e2e tests timed out"
  # Every run ends with its own "N passed, N failed"; a run that printed none counts as a failure.
  local runs summaries run_passed=0 run_failed=0
  runs=$(grep -oE '^test-all: e2e runs [0-9]+$' "$log" | grep -oE '[0-9]+$') || runs=1
  summaries=$(grep -E '^[0-9]+ passed, [0-9]+ failed$' "$log") || true
  while read -r p _ f _; do
    [[ -n $p ]] || continue
    run_passed=$((run_passed + p)) run_failed=$((run_failed + f)) runs=$((runs - 1))
  done <<<"$summaries"
  ((runs <= 0)) || run_failed=$((run_failed + runs))
  count "$rc" "$run_passed" "$run_failed"
}

mkdir -p "$build_dir"
run_unit_tests
run_e2e_tests "$@"
echo "$passed passed, $failed failed"
((failed == 0))
