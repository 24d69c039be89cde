#!/usr/bin/env bash
# The Windows delivery, checked as a user meets it: CPack makes the zip from
# the cross build (build-win/, made by .ci/windows.sh); the zip holds exactly
# the two .exe files (the export and contact-export-check), the check's manual
# page, README.txt and LICENSE.txt; both .exe files import only Windows' own
# DLLs; the .exe files, unzipped alone
# into a fresh wine prefix: the export exports a copy of the sample profile
# byte for byte as examples/profile.expected.csv; the check says of the sample
# profile and of a few .pst files what the Linux build's check says, with the
# same exit code as both builds' export; the export exports every other kind of store
# (each .pst/.ost sample, each SQLite book, a Thunderbird profile folder under
# %APPDATA%, an Evolution folder, a book with a live -wal, a Radicale book
# over http with its password in _netrc) byte for byte and with the same exit
# code as the Linux build (build/, made by .ci/run) of the same sources. The
# prefix, its wine server and Radicale go away before exit, whether the checks
# pass or not. Exits non-zero when anything fails.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build="$root/build-win"

export DEBIAN_FRONTEND=noninteractive
packages=(g++-mingw-w64-x86-64-posix wine wine64 googletest cmake make unzip python3-radicale)
apt-get install -y -qq --no-install-recommends "${packages[@]}" >/dev/null ||
  { apt-get update -qq && apt-get install -y -qq --no-install-recommends "${packages[@]}" >/dev/null; }

fail() { echo "FAILED: $*" >&2; exit 1; }
# wine converts the Unix environment and file names through the locale's
# character set: UTF-8, whatever the caller's locale, so that names outside
# ASCII reach the .exe as Windows gives them.
export LC_ALL=C.UTF-8

[ -f "$build/CMakeCache.txt" ] || fail "no cross build in $build: run .ci/windows.sh first"
deps=/var/cache/contact-export/win-deps
bash .ci/windows-deps.sh "$deps"
cmake -S "$root" -B "$build" -DCMAKE_PREFIX_PATH="$deps" >/dev/null
grep -q '^LIBPFF_FOUND:INTERNAL=1' "$build/CMakeCache.txt" || fail "the cross build did not find the libraries in $deps"
cmake --build "$build" -j2 --target contact-export contact-export-check
[ -f docs/contact-export-check.1 ] || fail "docs/contact-export-check.1 is missing: the zip needs the check's manual page"

echo "-- cpack -G ZIP"
rm -f "$build"/contact-export-*-win64.zip
(cd "$build" && cpack -G ZIP >/dev/null)
zips=("$build"/contact-export-*-win64.zip)
[ "${#zips[@]}" = 1 ] && [ -f "${zips[0]}" ] || fail "cpack made no single contact-export-*-win64.zip"
zip="${zips[0]}"
unzip -l "$zip"
# Each .exe self-contained: nothing but the system's DLLs.
for exe in contact-export.exe contact-export-check.exe; do
  imports=$(x86_64-w64-mingw32-objdump -p "$build/$exe" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort)
  echo "$exe imports:" $imports
  others=$(grep -vxE '(kernel32|user32|advapi32|ole32|oleaut32|msvcrt|ws2_32|crypt32|bcrypt|secur32|shell32)\.dll' <<<"$imports" || true)
  [ -z "$others" ] || fail "$exe needs DLLs Windows does not have: $others"
done
diff <(printf '%s\n' LICENSE.txt README.txt contact-export.exe contact-export-check.exe contact-export-check.1 | sort) \
  <(unzip -Z1 "$zip" | sort) || fail "the zip holds other files (above: - expected, + in the zip)"

WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/contact-export-zip.XXXXXX")
export WINEPREFIX
export WINEDEBUG=-all
work="$WINEPREFIX.files"
radicale=
cleanup() {
  local status=$?
  [ -z "$radicale" ] || { kill "$radicale" 2>/dev/null; wait "$radicale" 2>/dev/null || true; }
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
unzip -q "$zip" contact-export.exe contact-export-check.exe -d "$drive_c/Tools"
cp -R examples/profile "$drive_c/profile"
status=0
CONTACT_EXPORT_PROFILE='C:\profile' wine 'C:\Tools\contact-export.exe' 'C:\exports\contacts.csv' ||
  status=$?
[ "$status" = 0 ] || fail "contact-export.exe ended with $status"
cmp "$drive_c/exports/contacts.csv" examples/profile.expected.csv ||
  fail "the .exe's export differs from examples/profile.expected.csv"
echo "zip checks passed"

linux="$root/build/contact-export"
linux_check="$root/build/contact-export-check"
[ -x "$linux" ] && [ -x "$linux_check" ] || {
  cmake -S "$root" -B "$root/build" >/dev/null &&
    cmake --build "$root/build" -j2 --target contact-export contact-export-check
}

# The check of a profile under C:\ (given as for `same` below) by both builds:
# the same text and the same exit code, which is also `$2`, the export's. The
# .exe writes to a file as it would to any file: UTF-8, CR LF line ends. Its
# text differs from the Linux build's only in how paths under the profile are
# written ("C:\profile\..." for ".../drive_c/profile/...", in a store's place
# and in a reason that names a file), so the lines holding such a path alone
# are rewritten before comparing.
same_check() {
  local linux_status=0 exe_status=0 out="$drive_c/exports"
  CONTACT_EXPORT_PROFILE="$drive_c/$1" HOME="$home" XDG_CONFIG_HOME="$home/.config" "$linux_check" \
    >"$out/linux-check.txt" || linux_status=$?
  CONTACT_EXPORT_PROFILE="C:\\${1//\//\\}" wine 'C:\Tools\contact-export-check.exe' >"$out/exe-check.txt" ||
    exe_status=$?
  [ "$linux_status" = "$exe_status" ] && [ "$exe_status" = "$2" ] ||
    fail "$1: the check ended with $linux_status on Linux and $exe_status as .exe, the export with $2"
  if grep -q -v $'\r$' "$out/exe-check.txt"; then fail "$1: the .exe's check has a line without CR LF"; fi
  tr -d '\r' <"$out/exe-check.txt" | sed -E "/C:\\\\/{s#C:\\\\#$drive_c/#g; s#\\\\#/#g}" >"$out/exe-check.lf.txt"
  diff "$out/linux-check.txt" "$out/exe-check.lf.txt" ||
    fail "$1: the checks differ (above: < Linux, > the .exe)"
  echo "same check: $1 (exit $exe_status, $(wc -l <"$out/linux-check.txt") lines)"
}

echo "-- contact-export-check.exe on the sample profile"
home="$work/home"
mkdir -p "$home/.config"
same_check profile 0
cat "$drive_c/exports/exe-check.txt"

echo "-- the .exe and the Linux build export the same stores"
pst_dir="$root/tests/data/third_party/pst"
[ -d "$pst_dir" ] || pst_dir="$root/../shared/data/pst"
cases="$drive_c/cases"
user_dir=$(find "$drive_c/users" -mindepth 1 -maxdepth 1 -type d ! -name Public | head -1)  # %USERPROFILE%
tb="$user_dir/AppData/Roaming/Thunderbird/Profiles/x1y2.default-release"
mkdir -p "$cases/pst" "$cases/books" "$tb" "$cases/evolution/system" "$cases/wal" "$home/.config"
cp "$pst_dir"/*.pst "$pst_dir"/*.ost "$cases/pst/"
# Names outside the ANSI code page: a data file named by the profile, and one
# found in a folder that is the profile.
cp "$pst_dir/hiraoka-contacts.pst" "$cases/pst/連絡先.pst"
mkdir -p "$cases/名簿" && cp "$pst_dir/hiraoka-contacts.pst" "$cases/名簿/連絡先.pst"
cp tests/data/sqlite/*/*.sqlite tests/data/sqlite/*/*.db "$cases/books/"
cp tests/data/sqlite/thunderbird/abook.sqlite "$tb/abook.sqlite"
cp tests/data/sqlite/evolution/cache.db "$tb/history.sqlite"
printf 'user_pref("ldap_2.servers.pab.filename", "abook.sqlite");\n' >"$tb/prefs.js"
cp tests/data/sqlite/evolution/contacts.db "$cases/evolution/system/contacts.db"
# A book its application holds open, a card only in its -wal: the files as
# they are while it runs, kept after it ends.
cp tests/data/sqlite/thunderbird/abook.sqlite "$work/held.sqlite"
python3 - "$work/held.sqlite" "$cases/wal" <<'PY'
import shutil, sqlite3, sys
con = sqlite3.connect(sys.argv[1], isolation_level=None)
con.execute("PRAGMA journal_mode=wal"); con.execute("PRAGMA wal_autocheckpoint=0")
con.execute("INSERT INTO properties VALUES ('ffff-wal', '_vCard', ?)",
            ("BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Walden Wally\r\nN:Walden;Wally;;;\r\nEND:VCARD\r\n",))
for part in ("", "-wal"): shutil.copy(sys.argv[1] + part, sys.argv[2] + "/abook.sqlite" + part)
PY
# Radicale on 127.0.0.1 with the sample's cards; the login from netrc
# (_netrc in the wine user's profile, .netrc in HOME for the Linux build).
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
printf 'alice:secret\n' >"$work/users"
printf '[server]\nhosts = 127.0.0.1:%s\n[auth]\ntype = htpasswd\nhtpasswd_filename = %s\nhtpasswd_encryption = plain\n[storage]\nfilesystem_folder = %s\n[logging]\nlevel = warning\n' \
  "$port" "$work/users" "$work/collections" >"$work/radicale.conf"
/usr/bin/python3 -m radicale --config "$work/radicale.conf" &
radicale=$!
python3 - "$port" <<'PY'
import base64, socket, sys, time, urllib.request
port = int(sys.argv[1])
for _ in range(600):
    try: socket.create_connection(("127.0.0.1", port)).close(); break
    except OSError: time.sleep(0.1)
cards = "".join(f"BEGIN:VCARD\r\nVERSION:3.0\r\nUID:{uid}\r\nFN:{fn}\r\nN:{n}\r\n{more}END:VCARD\r\n" for uid, fn, n, more in [
    ("ann", "Ann Example", "Example;Ann;;;", "EMAIL:ann@example.org\r\nBDAY:1961-02-03\r\n"),
    ("sato", "佐藤 花子", "佐藤;花子;;;", "TEL;TYPE=WORK:03-1234-5678\r\nNOTE:一行目\\n二行目\r\n"),
]).encode()
request = urllib.request.Request(f"http://127.0.0.1:{port}/alice/contacts/", cards, method="PUT", headers={
    "Content-Type": "text/vcard", "Authorization": "Basic " + base64.b64encode(b"alice:secret").decode()})
urllib.request.urlopen(request).close()
PY
mkdir -p "$cases/dav"
printf 'url = http://127.0.0.1:%s/\nuser = alice\n' "$port" >"$cases/dav/radicale.carddav"
printf 'machine 127.0.0.1 login alice password secret\n' | tee "$home/.netrc" >"$user_dir/_netrc"
chmod 600 "$home/.netrc"

same() {  # a profile under C:\, as the .exe names it (with /)
  local linux_status=0 exe_status=0 out="$drive_c/exports"
  rm -f "$out/linux.csv" "$out/exe.csv"
  CONTACT_EXPORT_PROFILE="$drive_c/$1" HOME="$home" XDG_CONFIG_HOME="$home/.config" "$linux" "$out/linux.csv" ||
    linux_status=$?
  CONTACT_EXPORT_PROFILE="C:\\${1//\//\\}" wine 'C:\Tools\contact-export.exe' 'C:\exports\exe.csv' || exe_status=$?
  [ "$linux_status" = "$exe_status" ] || fail "$1: the Linux build ended with $linux_status, the .exe with $exe_status"
  last_status=$exe_status
  if [ -f "$out/linux.csv" ] || [ -f "$out/exe.csv" ]; then
    cmp "$out/linux.csv" "$out/exe.csv" || fail "$1: the exports differ"
  fi
  echo "same: $1 (exit $exe_status, $(wc -c <"$out/exe.csv" 2>/dev/null || echo no) bytes)"
}
for file in "$cases"/pst/* "$cases"/books/*; do same "${file#"$drive_c/"}"; done
# The check beside the export for a few data files: Japanese folder names, a
# distribution list, no contacts folder, and one cut short (its header
# records more than the file holds).
head -c 65536 "$cases/pst/aspose-SampleContacts.pst" >"$cases/pst/cut-short.pst"
for file in hiraoka-contacts.pst javalibpst-dist-list.pst outlookpstrs-Empty.pst cut-short.pst; do
  same "cases/pst/$file"
  same_check "cases/pst/$file" "$last_status"
done
# On a console the .exe writes characters, not bytes in the console's code
# page: under a terminal (wine's console there is the terminal, in its UTF-8
# locale) the Japanese folder name arrives whole.
console=$(CONTACT_EXPORT_PROFILE='C:\cases\pst\hiraoka-contacts.pst' LANG=C.UTF-8 \
  script -qec "wine 'C:\\Tools\\contact-export-check.exe'" /dev/null </dev/null | tr -d '\r') ||
  fail "contact-export-check.exe on a console ended with $?"
grep -qxF '  連絡先 (Contact dedicated): 1 record' <<<"$console" ||
  fail "contact-export-check.exe on a console does not show the folder 連絡先: $console"
echo "the check on a console shows 連絡先"
same cases/名簿
same "${tb#"$drive_c/"}"
same cases/evolution
before=$(ls -A "$cases/wal")
same cases/wal/abook.sqlite
[ "$(ls -A "$cases/wal")" = "$before" ] || fail "the book in use has new files beside it: $(ls -A "$cases/wal")"
grep -q Walden "$drive_c/exports/exe.csv" || fail "the card only in the -wal is not exported"
same cases/dav
if [ -n "$(find "$drive_c" -name 'contact-export-book-*')" ]; then
  fail "a private copy of a book is left in %TEMP%"
fi
echo "the .exe exports every kind of store as the Linux build does"
