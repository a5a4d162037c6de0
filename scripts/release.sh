#!/usr/bin/env bash
# Builds the portable release: dist/Kestrune-<version>-win64.zip with
# Kestrune.exe, the user guides (with their pictures) and the licence, and a
# SHA-256 checksum file beside it.
#
#   bash scripts/release.sh                  build Kestrune.exe, then package it
#   bash scripts/release.sh --exe FILE       package an exe built elsewhere
#   bash scripts/release.sh --out DIR        write the zip to DIR (default dist/)
#
# KESTRUNE_RELEASE_BUILD_DIR picks the build folder (default build/release).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
exe=""
out="$root/dist"
work=""

usage() {
  sed -n '2,10p' "$0" | sed 's/^# \{0,1\}//'
  exit "${1:-0}"
}

while [ $# -gt 0 ]; do
  case "$1" in
    --exe) exe=$(realpath "$2"); shift 2 ;;
    --out) mkdir -p "$2"; out=$(cd "$2" && pwd); shift 2 ;;
    -h | --help) usage 0 ;;
    *) echo "release: unknown argument: $1" >&2; usage 2 >&2 ;;
  esac
done

# The version is the project version of CMakeLists.txt, nowhere else.
project_version() {
  sed -n 's/^project(Kestrune VERSION \([0-9][0-9.]*\).*/\1/p' "$root/CMakeLists.txt"
}

# zip and the MinGW binutils come from Debian packages, installed with the
# rest of what the project needs when missing.
ensure_tools() {
  bash "$root/scripts/install-deps.sh"
}

build_exe() {
  local build=${KESTRUNE_RELEASE_BUILD_DIR:-$root/build/release}
  cmake -S "$root" -B "$build" --toolchain "$root/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=MinSizeRel -DKESTRUNE_WERROR=ON >/dev/null
  cmake --build "$build" --target Kestrune -j"$(nproc)" >/dev/null
  exe="$build/Kestrune.exe"
}

# A portable zip has nothing beside the exe: every DLL it imports must come
# with Windows itself, or the program will not start on the user's machine.
check_imports() {
  local dll bad=0
  while read -r dll; do
    case "${dll,,}" in
      kernel32.dll | user32.dll | gdi32.dll | comctl32.dll | comdlg32.dll | winmm.dll | \
        advapi32.dll | shell32.dll | ole32.dll | oleaut32.dll | version.dll | msvcrt.dll | \
        ucrtbase.dll | uxtheme.dll | shlwapi.dll | api-ms-win-*.dll) ;;
      *) echo "release: $1 imports $dll, which Windows does not provide" >&2; bad=1 ;;
    esac
  done < <(x86_64-w64-mingw32-objdump -p "$1" | sed -n 's/^[[:space:]]*DLL Name: //p')
  [ $bad -eq 0 ]
}

# Same inputs give the same zip: fixed file times (the last commit's, when
# there is one), a fixed order and no extra attributes.
stamp_time() {
  if [ -n "${SOURCE_DATE_EPOCH:-}" ]; then
    echo "$SOURCE_DATE_EPOCH"
  else
    git -C "$root" log -1 --format=%ct 2>/dev/null || date +%s
  fi
}

stage() {
  local dir=$1
  mkdir -p "$dir/images"
  cp "$exe" "$dir/Kestrune.exe"
  cp "$root/LICENSE" "$dir/LICENSE.txt"
  cp "$root/docs/guide.ja.md" "$root/docs/guide.en.md" "$dir/"
  if compgen -G "$root/docs/images/*.png" >/dev/null; then
    cp "$root"/docs/images/*.png "$dir/images/"
  fi
  find "$dir" -exec touch -h -d "@$(stamp_time)" {} +
}

main() {
  ensure_tools
  local version
  version=$(project_version)
  [ -n "$version" ] || { echo "release: no project version in CMakeLists.txt" >&2; exit 1; }
  [ -n "$exe" ] || build_exe
  [ -f "$exe" ] || { echo "release: $exe does not exist" >&2; exit 1; }
  check_imports "$exe"

  local name="Kestrune-$version"
  local zip="$name-win64.zip"
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  stage "$work/$name"
  (cd "$work" && find "$name" -type f | LC_ALL=C sort | TZ=UTC zip -X -D -q -9 "$zip" -@)

  mkdir -p "$out"
  rm -f "$out/$zip" "$out/$zip.sha256"
  mv "$work/$zip" "$out/$zip"
  (cd "$out" && sha256sum "$zip" >"$zip.sha256")
  echo "release: $out/$zip"
  echo "release: $out/$zip.sha256"
}

main
