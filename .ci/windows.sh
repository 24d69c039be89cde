#!/usr/bin/env bash
# The Windows build: cross-compiled with mingw-w64 into build-win with the
# optional libraries that .ci/windows-deps.sh builds (once; they are kept in
# /var/cache/contact-export/win-deps, outside the clone), its tests
# run under wine in a fresh prefix that this script owns and removes. Nothing
# is left running: the wine server and every wine process end before exit,
# whether the tests pass or not. Exits non-zero when anything fails.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build="$root/build-win"

export DEBIAN_FRONTEND=noninteractive
packages=(g++-mingw-w64-x86-64-posix wine wine64 googletest cmake make)
apt-get install -y -qq --no-install-recommends "${packages[@]}" >/dev/null ||
  { apt-get update -qq && apt-get install -y -qq --no-install-recommends "${packages[@]}" >/dev/null; }

deps=/var/cache/contact-export/win-deps
echo "-- libraries in $deps"
bash "$root/.ci/windows-deps.sh" "$deps"

echo "-- cross build"
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DCMAKE_PREFIX_PATH="$deps"
cmake --build "$build" -j2

WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/contact-export-wine.XXXXXX")
export WINEPREFIX
export WINEDEBUG=-all
cleanup() {
  local status=$?
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

echo "-- wine prefix $WINEPREFIX"
# A persistent server first, its output away from ours: it outlives the
# commands that would otherwise each start and stop one. wineboot -u (not -i)
# makes a prefix where COM activation is fast; the Mono and Gecko installers
# are not wanted for these tests.
wineserver -p >/dev/null 2>&1
WINEDLLOVERRIDES="mscoree=;mshtml=" wineboot -u >/dev/null 2>&1

echo "-- tests under wine"
# One test at a time: the in-process export tests take the test program's own
# single-instance mutex, which two test processes would contend for.
ctest --test-dir "$build" --output-on-failure --timeout 300
