#!/bin/bash
# Measures Kestrune.exe in one run under Xvfb and Wine against two yardsticks:
# the same window (bench/same_window.cpp: Kestrune's main window built as
# plainly as Win32 allows, checked in the run to look the same) and the bare
# window (the floor, for reference). Writes docs/performance.md: the size and
# imports of the exe, start to first paint, working set idle and watching,
# CPU time while watching (against the same window polling as a watch does),
# leaks over 30 capture cycles and 30 cancelled countdowns, detection latency
# and the countdown's real length. It takes about a quarter of an hour.
#
#   bash scripts/bench.sh
#
# Exit status: 0 every target met; 1 the run failed; 2 the exe imports a DLL
# that is not a Known DLL (fatal: Windows would look for it in the exe's
# folder first); 3 a target was missed (the report marks it).
# Environment: BENCH_BUILD_DIR (default build/bench), BENCH_OUT (default
# docs/performance.md), KESTRUNE_BENCH_QUICK=1 (a short run, to try it out).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BENCH_BUILD_DIR:-$root/build/bench}
out=${BENCH_OUT:-$root/docs/performance.md}

# Windows' Known DLLs (and the API sets, which the loader resolves itself):
# the only DLLs it never looks for in the program's folder.
SYSTEM_DLLS=(
  kernel32.dll user32.dll gdi32.dll advapi32.dll msvcrt.dll ntdll.dll kernelbase.dll
  shell32.dll shlwapi.dll ole32.dll oleaut32.dll comdlg32.dll imm32.dll psapi.dll
  rpcrt4.dll sechost.dll combase.dll setupapi.dll ws2_32.dll normaliz.dll nsi.dll
  'api-ms-win-crt-*.dll' 'api-ms-win-core-*.dll'
)

# --- dependencies, as the tests install them ----------------------------------------------
bash "$root/scripts/install-deps.sh"

# --- build: Kestrune.exe, the bench's driver and the yardsticks, same flags ---------------
cmake -S "$root" -B "$build" --toolchain "$root/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=MinSizeRel -DKESTRUNE_WERROR=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target Kestrune kbench_driver same_window bare_window
exe=$build/Kestrune.exe

# The figures' own unit tests, so that a broken parser cannot write a report.
python3 -m unittest discover -s "$root/bench" -p 'test_*.py' -q

# --- imports ------------------------------------------------------------------------------
mapfile -t dlls < <(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name:\s*//p')
foreign=()
for dll in "${dlls[@]}"; do
  known=0
  for pattern in "${SYSTEM_DLLS[@]}"; do
    # shellcheck disable=SC2053  # the pattern is a glob on purpose
    [[ ${dll,,} == $pattern ]] && known=1 && break
  done
  ((known)) || foreign+=("$dll")
done
echo "[bench] Kestrune.exe: $(stat -c %s "$exe") bytes; imports: ${dlls[*]}"

# --- the run ------------------------------------------------------------------------------
args=(--exe "$exe" --same "$build/same_window.exe" --bare "$build/bare_window.exe"
      --driver "$build/kbench_driver.exe" --out "$out" --command "bash scripts/bench.sh")
for dll in "${dlls[@]}"; do args+=(--dll "$dll"); done
for dll in "${foreign[@]}"; do args+=(--foreign "$dll"); done
status=0
python3 "$root/bench/kestrune_bench.py" "${args[@]}" || status=$?

if ((${#foreign[@]})); then
  echo "[bench] FAILED: Kestrune.exe imports DLLs that are not Known DLLs: ${foreign[*]}" >&2
  exit 2
fi
if ((status == 3)); then
  echo "[bench] targets missed: see the MISSED rows in $out" >&2
fi
exit "$status"
