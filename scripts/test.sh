#!/usr/bin/env bash
# Runs every test: the native unit tests, then the real Kestrune.exe under
# Wine. Each step is a function below; add a step by writing one and listing
# it in STEPS. A step whose prerequisite failed is skipped. Exits non-zero if
# any step failed; the last line sums the end-to-end tests.
#
#   KESTRUNE_BUILD_DIR   where the builds go (default: build)
set -uo pipefail
cd "$(dirname "$0")/.."

BUILD="${KESTRUNE_BUILD_DIR:-build}"
JOBS="$(nproc 2>/dev/null || echo 2)"
E2E_SUMMARY="$(mktemp)"
trap 'rm -f "$E2E_SUMMARY"' EXIT

step_deps() {
  bash scripts/install-deps.sh
}

step_native_build() {
  cmake --preset native -B "$BUILD/native" &&
    cmake --build "$BUILD/native" -j "$JOBS"
}

step_native_tests() {
  ctest --test-dir "$BUILD/native" --output-on-failure -j "$JOBS"
}

# The same unit tests as Windows programs: cross-compiled with MinGW-w64
# (posix threads, for GoogleTest) and run by ctest under Wine, in a Wine
# prefix of their own.
step_windows_unit_tests() {
  cmake --preset windows-tests -B "$BUILD/windows-tests" &&
    cmake --build "$BUILD/windows-tests" -j "$JOBS" --target kestrune_tests &&
    WINEPREFIX="$(realpath -m "$BUILD/wine-unit-tests")" \
      ctest --test-dir "$BUILD/windows-tests" --output-on-failure
}

step_windows_build() {
  cmake --preset windows -B "$BUILD/windows" &&
    cmake --build "$BUILD/windows" -j "$JOBS" --target Kestrune kdriver
}

# Kestrune.exe imports Known DLLs only: Windows loads those from the system
# folder whatever the program's folder holds, where any other imported DLL
# would be looked for first. The rest is loaded at run time from the system
# folder. Usage: step_windows_imports [exe]
step_windows_imports() {
  local exe="${1:-$BUILD/windows/Kestrune.exe}" dlls
  dlls=$(x86_64-w64-mingw32-objdump -p "$exe" |
    sed -n 's/^\s*DLL Name: //p' | tr '[:upper:]' '[:lower:]') || return 1
  echo "imports:" $dlls
  local known='^(kernel32|user32|gdi32|advapi32|msvcrt|comdlg32|shell32|shlwapi|ole32|oleaut32|imm32|psapi|ws2_32|rpcrt4|sechost|setupapi|combase|shcore|wldap32|normaliz|nsi|imagehlp|difxapi|gdiplus|msctf|clbcatq|coml2)\.dll$'
  local others
  others=$(grep -Ev "$known" <<<"$dlls")
  if [[ -n "$others" ]]; then
    echo "not a Known DLL:" $others
    return 1
  fi
}

step_e2e() {
  KESTRUNE_EXE="$BUILD/windows/Kestrune.exe" KESTRUNE_DRIVER="$BUILD/windows/kdriver.exe" \
    KESTRUNE_E2E_SUMMARY="$E2E_SUMMARY" timeout --signal=TERM --kill-after=60 1800 \
    python3 e2e/kestrune_e2e.py
}

# The native unit tests again under ASan and UBSan, and a 60-second fuzz run
# of the settings reader (libFuzzer with clang).
step_sanitized_tests() {
  SANITIZE_BUILD_DIR="$BUILD/native-asan" bash scripts/sanitize.sh
}

step_fuzz_settings() {
  local log="$BUILD/fuzz/fuzz.log"
  mkdir -p "$BUILD/fuzz"
  if FUZZ_BUILD_DIR="$BUILD/fuzz" bash scripts/fuzz.sh >"$log" 2>&1; then
    grep -E 'DONE|stat::' "$log"
  else
    tail -n 40 "$log"
    return 1
  fi
}

# The bench's own arithmetic (ratios, targets, leak noise, the yardstick's
# comparison); the bench itself is scripts/bench.sh, too long for every run.
step_bench_figures() {
  python3 -m unittest discover -s bench -p 'test_*.py'
}

# name:function:prerequisite step (or -)
STEPS=(
  "deps:step_deps:-"
  "native build:step_native_build:deps"
  "native tests:step_native_tests:native build"
  "sanitized tests:step_sanitized_tests:deps"
  "fuzz settings:step_fuzz_settings:deps"
  "windows unit tests:step_windows_unit_tests:deps"
  "windows build:step_windows_build:deps"
  "windows imports:step_windows_imports:windows build"
  "end-to-end tests:step_e2e:windows build"
  "bench figures:step_bench_figures:deps"
)

# Bash reads a script as it runs it; a function is read whole, so editing
# this file during a run cannot derail the run.
main() {
  local -A RESULT
  local REPORT=() name function prerequisite begin passed failed skipped
  local STATUS=0 STARTED=$SECONDS
  for entry in "${STEPS[@]}"; do
    IFS=: read -r name function prerequisite <<<"$entry"
    if [[ "$prerequisite" != "-" && "${RESULT[$prerequisite]}" != "ok" ]]; then
      RESULT[$name]=skipped
      REPORT+=("$(printf '%-18s skipped (%s did not pass)' "$name" "$prerequisite")")
      STATUS=1
      continue
    fi
    echo
    echo "=== $name"
    begin=$SECONDS
    if "$function"; then RESULT[$name]=ok; else RESULT[$name]=FAILED; STATUS=1; fi
    REPORT+=("$(printf '%-18s %-7s %4d s' "$name" "${RESULT[$name]}" $((SECONDS - begin)))")
  done

  echo
  echo "=== summary ($((SECONDS - STARTED)) s)"
  printf '%s\n' "${REPORT[@]}"
  read -r passed failed skipped <"$E2E_SUMMARY" || true
  if [[ -z "${passed:-}" ]]; then
    echo "end-to-end tests did not report"
    passed=0 failed=0
    STATUS=1
  elif ((${skipped:-0})); then
    echo "end-to-end tests skipped: $skipped"
  fi
  echo "$passed passed, $failed failed"
  return "$STATUS"
}

main "$@"
