#!/usr/bin/env bash
# The Windows delivery, checked as a user meets it: CPack makes the zip from
# the cross build (build-win/, made by .ci/windows.sh); the zip holds exactly
# the .exe, README.txt and LICENSE.txt; the .exe, unzipped alone
# into a fresh wine prefix, exports a copy of the sample profile byte for byte
# as examples/profile.expected.csv. The prefix and its wine server go away
# before exit, whether the checks pass or not. Exits non-zero when anything
# fails.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build="$root/build-win"

export DEBIAN_FRONTEND=noninteractive
packages=(g++-mingw-w64-x86-64-posix wine wine64 googletest cmake make unzip)
apt-get install -y -qq --no-install-recommends "${packages[@]}" >/dev/null ||
  { apt-get update -qq && apt-get install -y -qq --no-install-recommends "${packages[@]}" >/dev/null; }

fail() { echo "FAILED: $*" >&2; exit 1; }

[ -f "$build/CMakeCache.txt" ] || fail "no cross build in $build: run .ci/windows.sh first"
cmake --build "$build" -j2 --target contact-export

echo "-- cpack -G ZIP"
rm -f "$build"/contact-export-*-win64.zip
(cd "$build" && cpack -G ZIP >/dev/null)
zips=("$build"/contact-export-*-win64.zip)
[ "${#zips[@]}" = 1 ] && [ -f "${zips[0]}" ] || fail "cpack made no single contact-export-*-win64.zip"
zip="${zips[0]}"
unzip -l "$zip"
diff <(printf '%s\n' LICENSE.txt README.txt contact-export.exe) <(unzip -Z1 "$zip" | sort) ||
  fail "the zip holds other files (above: - expected, + in the zip)"

WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/contact-export-zip.XXXXXX")
export WINEPREFIX
export WINEDEBUG=-all
work="$WINEPREFIX.files"
cleanup() {
  local status=$?
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX" "$work"
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

mkdir -p "$work"
unzip -q "$zip" -d "$work"
# Text files for Notepad: CR LF throughout, and the README's UTF-8 marked.
for text in README.txt LICENSE.txt; do
  if LC_ALL=C grep -q $'[^\r]$' "$work/$text"; then fail "$text has a line without CR LF"; fi
done
[ "$(head -c 3 "$work/README.txt" | od -An -tx1 | tr -d ' ')" = efbbbf ] ||
  fail "README.txt does not start with a UTF-8 byte-order mark"

echo "-- the zip's .exe alone in a fresh wine prefix"
wineserver -p >/dev/null 2>&1
WINEDLLOVERRIDES="mscoree=;mshtml=" wineboot -u >/dev/null 2>&1
drive_c="$WINEPREFIX/drive_c"
mkdir -p "$drive_c/Tools" "$drive_c/exports"
unzip -q "$zip" contact-export.exe -d "$drive_c/Tools"
cp -R examples/profile "$drive_c/profile"
status=0
CONTACT_EXPORT_PROFILE='C:\profile' wine 'C:\Tools\contact-export.exe' 'C:\exports\contacts.csv' ||
  status=$?
[ "$status" = 0 ] || fail "contact-export.exe ended with $status"
cmp "$drive_c/exports/contacts.csv" examples/profile.expected.csv ||
  fail "the .exe's export differs from examples/profile.expected.csv"
echo "zip checks passed"
