#!/usr/bin/env bash
# The Linux delivery, checked as a user meets it: the manual page renders
# without a warning; the program is built for the package alone (build-package/:
# no tests, Debian's compiler and linker flags); `cmake --install` lays out the
# expected tree; CPack makes the Debian package, with its dependencies worked
# out by dpkg-shlibdeps; lintian finds no error and no warning that is not
# overridden with its reason; the package is installed with apt-get, its files
# match their checksums, the installed program answers --help and --version
# and exports the installed sample profile to the expected bytes,
# `man contact-export` shows the page, and the package is removed again. Runs
# as root on a throwaway machine. Exits non-zero when anything fails.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build="$root/build-package"

export DEBIAN_FRONTEND=noninteractive
packages=(cmake g++ make dpkg-dev file man-db groff-base lintian)
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

echo "-- manual pages"
# man-db's own check (groff -ww underneath), in an ASCII and a UTF-8 locale.
for page in docs/contact-export.1 docs/contact-export-check.1; do
  for locale in C C.UTF-8; do
    warnings=$(LC_ALL=$locale MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "man --warnings $page ($locale): $warnings"
  done
  for section in NAME SYNOPSIS DESCRIPTION ENVIRONMENT FILES "EXIT STATUS" EXAMPLES "SEE ALSO"; do
    grep -qx "\.SH \"\?$section\"\?" "$page" || fail "$page has no $section section"
  done
done

echo "-- build for the package"
# Debian's hardening flags (stack protector, fortified functions, read-only
# relocations bound at start); given on every configure, so that a build
# folder left by an earlier run takes them too.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
cmake -S "$root" -B "$build" "${launcher[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCONTACT_EXPORT_TESTS=OFF \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build "$build" -j2 >/dev/null
[ ! -e "$build/contact_export_tests" ] || fail "the package's build has built the tests"

echo "-- cmake --install"
cmake --install "$build" --prefix "$work/stage/usr" >/dev/null
expected_tree=$(cd examples && find profile profile.expected.csv -type f | sed 's|^|usr/share/doc/contact-export/examples/|'
  printf '%s\n' usr/bin/contact-export usr/bin/contact-export-check usr/share/man/man1/contact-export.1 \
    usr/share/man/man1/contact-export-check.1 \
    usr/share/doc/contact-export/README.md usr/share/doc/contact-export/LICENSE)
diff <(echo "$expected_tree" | sort) <(cd "$work/stage" && find . -type f -o -type l | sed 's|^\./||' | sort) ||
  fail "cmake --install laid out another tree (above: - expected, + installed)"

echo "-- cpack -G DEB"
rm -f "$build"/contact-export_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
debs=("$build"/contact-export_*.deb)
[ "${#debs[@]}" = 1 ] && [ -f "${debs[0]}" ] || fail "cpack made no single contact-export_*.deb"
deb="./$(basename "$build")/$(basename "${debs[0]}")"
dpkg-deb -c "$deb"
dpkg-deb -I "$deb"
version=$(dpkg-deb -f "$deb" Version)
depends=$(dpkg-deb -f "$deb" Depends)
# The Depends line comes from dpkg-shlibdeps: every library the program is
# linked against is there with a version, and nothing typed by hand.
[[ "$depends" == *"libc6 (>="* && "$depends" == *"libstdc++6 (>="* ]] ||
  fail "Depends is missing the C and C++ libraries: $depends"
if objdump -p "$build/contact-export" | grep -q 'NEEDED *libpff'; then
  [[ "$depends" == *"libpff"* ]] || fail "the program needs libpff but Depends does not: $depends"
fi

echo "-- lintian"
# Errors and warnings fail; the overrides the package carries
# (/usr/share/lintian/overrides/contact-export) each say why.
lintian --fail-on error,warning --display-info "$deb" || fail "lintian reports errors or warnings"

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
  -o "DPkg::Options::=--path-include=/usr/share/man/man1/contact-export*.1*" \
  "$deb" >/dev/null
[ "$(command -v contact-export)" = /usr/bin/contact-export ] || fail "contact-export is not /usr/bin/contact-export"
dpkg --verify contact-export || fail "installed files differ from the package's checksums"

echo "-- the installed program's --help and --version"
# The version the program reports is the package's, without its Debian release.
mkdir "$work/run"
[ "$(cd "$work/run" && contact-export --version)" = "contact-export ${version%-*}" ] ||
  fail "contact-export --version: $(contact-export --version)"
(cd "$work/run" && contact-export --help) | grep -q '^Usage: contact-export OUTPUT-FILE$' || fail "contact-export --help"
[ -z "$(ls -A "$work/run")" ] || fail "--help or --version wrote a file: $(ls -A "$work/run")"

echo "-- the installed program on the installed sample profile"
status=0
(cd "$work" && CONTACT_EXPORT_PROFILE=/usr/share/doc/contact-export/examples/profile \
  contact-export out.csv) || status=$?
[ "$status" = 0 ] || fail "the installed program ended with $status"
cmp "$work/out.csv" examples/profile.expected.csv || fail "the export differs from examples/profile.expected.csv"
cmp /usr/share/doc/contact-export/examples/profile.expected.csv examples/profile.expected.csv
[ "$(man -w contact-export)" = /usr/share/man/man1/contact-export.1.gz ] || fail "man -w contact-export: $(man -w contact-export)"
MANPAGER=cat MANWIDTH=80 man contact-export 2>&1 | grep -q '^EXIT STATUS' || fail "man contact-export shows no page"

echo "-- the installed check on the installed sample profile"
status=0
report=$(cd "$work/run" && CONTACT_EXPORT_PROFILE=/usr/share/doc/contact-export/examples/profile \
  contact-export-check) || status=$?
[ "$status" = 0 ] || fail "the installed check ended with $status"
records=$(grep -c '' examples/profile.expected.csv)
[ "$(echo "$report" | tail -1)" = "$records records; the export would end with exit code 0" ] ||
  fail "the installed check says: $(echo "$report" | tail -1)"
[ -z "$(ls -A "$work/run")" ] || fail "the check wrote a file: $(ls -A "$work/run")"
[ "$(man -w contact-export-check)" = /usr/share/man/man1/contact-export-check.1.gz ] ||
  fail "man -w contact-export-check: $(man -w contact-export-check)"

echo "-- apt-get purge contact-export"
apt-get purge -y -qq contact-export >/dev/null
installed_by_us=0
[ ! -e /usr/bin/contact-export ] && [ ! -e /usr/share/doc/contact-export ] &&
  [ ! -e /usr/share/man/man1/contact-export.1.gz ] || fail "files of the package are left after purge"
echo "package checks passed"
