#!/usr/bin/env bash
# The Linux delivery, checked as a user meets it: the manual page renders
# without a warning; `cmake --install` lays out the expected tree; CPack makes
# the Debian package from the tests' build (build/), with its dependencies
# worked out by dpkg-shlibdeps; the package is installed with apt-get, the
# installed program exports the installed sample profile to the expected
# bytes, `man contact-export` shows the page, and the package is removed
# again. Runs as root on a throwaway machine. Exits non-zero when anything
# fails.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build="$root/build"

export DEBIAN_FRONTEND=noninteractive
packages=(cmake g++ make dpkg-dev file man-db groff-base)
apt-get install -y -qq --no-install-recommends "${packages[@]}" >/dev/null ||
  { apt-get update -qq && apt-get install -y -qq --no-install-recommends "${packages[@]}" >/dev/null; }

work=$(mktemp -d "${TMPDIR:-/tmp}/contact-export-package.XXXXXX")
installed_by_us=0
cleanup() {
  local status=$?
  if [ "$installed_by_us" = 1 ]; then apt-get purge -y -qq contact-export >/dev/null 2>&1 || true; fi
  rm -rf "$work"
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

fail() { echo "FAILED: $*" >&2; exit 1; }

echo "-- manual page"
# man-db's own check (groff -ww underneath), in an ASCII and a UTF-8 locale.
for locale in C C.UTF-8; do
  warnings=$(LC_ALL=$locale MANWIDTH=80 man --warnings -l docs/contact-export.1 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man --warnings ($locale): $warnings"
done
for section in NAME SYNOPSIS DESCRIPTION ENVIRONMENT FILES "EXIT STATUS" EXAMPLES "SEE ALSO"; do
  grep -qx "\.SH \"\?$section\"\?" docs/contact-export.1 || fail "manual page has no $section section"
done

echo "-- cmake --install"
cmake --build "$build" -j2 --target contact-export
cmake --install "$build" --prefix "$work/stage/usr" >/dev/null
expected_tree=$(cd examples && find profile profile.expected.csv -type f | sed 's|^|usr/share/doc/contact-export/examples/|'
  printf '%s\n' usr/bin/contact-export usr/share/man/man1/contact-export.1 \
    usr/share/doc/contact-export/README.md usr/share/doc/contact-export/LICENSE)
diff <(echo "$expected_tree" | sort) <(cd "$work/stage" && find . -type f -o -type l | sed 's|^\./||' | sort) ||
  fail "cmake --install laid out another tree (above: - expected, + installed)"

echo "-- cpack -G DEB"
rm -f "$build"/contact-export_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
debs=("$build"/contact-export_*.deb)
[ "${#debs[@]}" = 1 ] && [ -f "${debs[0]}" ] || fail "cpack made no single contact-export_*.deb"
deb="./build/$(basename "${debs[0]}")"
dpkg-deb -c "$deb"
dpkg-deb -I "$deb"
depends=$(dpkg-deb -f "$deb" Depends)
# The Depends line comes from dpkg-shlibdeps: every library the program is
# linked against is there with a version, and nothing typed by hand.
[[ "$depends" == *"libc6 (>="* && "$depends" == *"libstdc++6 (>="* ]] ||
  fail "Depends is missing the C and C++ libraries: $depends"
if objdump -p "$build/contact-export" | grep -q 'NEEDED *libpff'; then
  [[ "$depends" == *"libpff"* ]] || fail "the program needs libpff but Depends does not: $depends"
fi

echo "-- apt-get install $deb"
# A copy left by an earlier run of the same version would make apt-get skip
# the install.
if dpkg-query -W -f '${Status}' contact-export 2>/dev/null | grep -q ' installed$'; then
  apt-get purge -y -qq contact-export >/dev/null
fi
installed_by_us=1
# Slim images tell dpkg not to unpack documentation and manual pages; the
# sample profile and the page are what is checked here, so they are asked for.
apt-get install -y -qq --no-install-recommends \
  -o "DPkg::Options::=--path-include=/usr/share/doc/contact-export/*" \
  -o "DPkg::Options::=--path-include=/usr/share/man/man1/contact-export.1*" \
  "$deb" >/dev/null
[ "$(command -v contact-export)" = /usr/bin/contact-export ] || fail "contact-export is not /usr/bin/contact-export"

echo "-- the installed program on the installed sample profile"
status=0
(cd "$work" && CONTACT_EXPORT_PROFILE=/usr/share/doc/contact-export/examples/profile \
  contact-export out.csv) || status=$?
[ "$status" = 0 ] || fail "the installed program ended with $status"
cmp "$work/out.csv" examples/profile.expected.csv || fail "the export differs from examples/profile.expected.csv"
cmp /usr/share/doc/contact-export/examples/profile.expected.csv examples/profile.expected.csv
[ "$(man -w contact-export)" = /usr/share/man/man1/contact-export.1 ] || fail "man -w contact-export: $(man -w contact-export)"
MANPAGER=cat MANWIDTH=80 man contact-export 2>&1 | grep -q '^EXIT STATUS' || fail "man contact-export shows no page"

echo "-- apt-get purge contact-export"
apt-get purge -y -qq contact-export >/dev/null
installed_by_us=0
[ ! -e /usr/bin/contact-export ] && [ ! -e /usr/share/doc/contact-export ] &&
  [ ! -e /usr/share/man/man1/contact-export.1 ] || fail "files of the package are left after purge"
echo "package checks passed"
