#!/usr/bin/env bash
# The optional libraries of the stand-alone store, cross-built for 64-bit
# Windows from Debian's own source packages, as static libraries with their
# pkg-config files under DIR:
#   SQLite   (Thunderbird and Evolution books), with the compile-time options
#            of Debian's libsqlite3, so that a book reads the same on both
#   libpff   (.pst/.ost), with its bundled libyal libraries and mingw zlib
#   expat, libpsl (the Public Suffix List built in, from Debian's
#            publicsuffix data; no IDN library), libcurl (HTTP and HTTPS only,
#            TLS by Schannel with the Windows certificate store)
#   .ci/windows-deps.sh DIR
# Each source is the version of the Linux development package installed here
# when the archive still serves it, else the newest it serves. DIR/stamp names
# the versions asked for and this script's hash; when it matches, nothing is
# done. DIR/versions names the versions built. The
# machine's apt configuration is left as it is: the source index is fetched
# into a private folder, from deb-src twins of the configured archive. The
# tools are installed only when one is missing: with them in place the script
# takes no dpkg lock, and can run beside other installs (.ci/run starts it in
# the background).
set -euo pipefail
[ $# = 1 ] || { echo "usage: $0 DIR" >&2; exit 2; }
mkdir -p "$1"
prefix=$(cd "$1" && pwd)
host=x86_64-w64-mingw32
script_hash=$(sha256sum "$0" | cut -d' ' -f1)

export DEBIAN_FRONTEND=noninteractive
tools=(dpkg-dev xz-utils tcl python3 cmake publicsuffix libz-mingw-w64-dev gcc-mingw-w64-x86-64-posix make pkg-config)
installed=$(dpkg-query -W -f='${db:Status-Status}\n' "${tools[@]}" 2>/dev/null | grep -cx installed || true)
if [ "$installed" != "${#tools[@]}" ]; then
  apt-get install -y -qq --no-install-recommends "${tools[@]}" >/dev/null ||
    { apt-get update -qq && apt-get install -y -qq --no-install-recommends "${tools[@]}" >/dev/null; }
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/contact-export-deps.XXXXXX")
# The libraries that build in the background, each in its own process group
# (killed whole when this script ends before them) and with its own log.
declare -A building=()
cleanup() {
  local status=$? name
  for name in "${!building[@]}"; do kill -- "-${building[$name]}" 2>/dev/null || true; done
  wait
  rm -rf "$work"
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
in_background() {  # NAME COMMAND...: COMMAND run in the source's folder
  local name=$1
  shift
  set -m
  (cd "$work/$name" && "$@") </dev/null >"$work/$name.log" 2>&1 &
  building[$name]=$!
  set +m
}
finish() {  # NAME: waits for it; its log when it failed
  local status=0
  wait "${building[$1]}" || status=$?
  unset "building[$1]"
  [ "$status" = 0 ] || { cat "$work/$1.log" >&2; echo "$1 did not build ($status)" >&2; exit 1; }
}

# deb-src twins of the configured archive, one-line and deb822 alike.
mkdir -p "$work/parts" "$work/lists/partial"
shopt -s nullglob
for list in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
  [ -f "$list" ] && sed -nE 's/^[[:space:]]*deb([[:space:]])/deb-src\1/p' "$list" >>"$work/parts/deb-src.list"
done
for sources in /etc/apt/sources.list.d/*.sources; do
  sed -E 's/^Types:.*/Types: deb-src/I' "$sources" >"$work/parts/$(basename "$sources")"
done
apt_private=(-o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$work/parts"
  -o Dir::State::Lists="$work/lists" -o Dir::Cache::pkgcache= -o Dir::Cache::srcpkgcache=)
apt-get "${apt_private[@]}" -qq update

# source package => the development package whose version is preferred
declare -A dev=([sqlite3]=libsqlite3-dev [libpff]=libpff-dev [expat]=libexpat1-dev
  [curl]=libcurl4-openssl-dev [libpsl]=libpsl-dev)
declare -A version
candidates() {
  dpkg-query -W -f='${source:Version}\n' "${dev[$1]}" 2>/dev/null || true
  apt-cache "${apt_private[@]}" showsrc "$1" | sed -n 's/^Version: //p' | sort -rV
}
for pkg in sqlite3 libpff expat curl libpsl; do
  for v in $(candidates "$pkg" | awk 'NF && !seen[$0]++'); do
    if apt-get "${apt_private[@]}" -qq --print-uris source "$pkg=$v" 2>/dev/null | grep -q .; then
      version[$pkg]=$v
      break
    fi
  done
  [ -n "${version[$pkg]:-}" ] || { echo "no source version of $pkg" >&2; exit 1; }
done
stamp=$(for pkg in sqlite3 libpff expat curl libpsl; do echo "$pkg ${version[$pkg]}"; done
  echo "publicsuffix $(dpkg-query -W -f='${Version}' publicsuffix)"
  echo "script $script_hash")
if [ -f "$prefix/stamp" ] && [ "$(cat "$prefix/stamp")" = "$stamp" ]; then
  echo "-- windows deps up to date in $prefix"
  exit 0
fi
rm -rf "${prefix:?}"/*

# Downloaded and unpacked with Debian's patches; a version the archive lists
# but no longer serves is passed over for the next one.
cd "$work"
fetch() {
  local pkg=$1 v
  for v in "${version[$pkg]}" $(candidates "$pkg" | awk 'NF && !seen[$0]++'); do
    mkdir -p "$work/get" && rm -rf "$work/get"/*
    if (cd "$work/get" && apt-get "${apt_private[@]}" -qq source "$pkg=$v" >/dev/null 2>&1); then
      version[$pkg]=$v
      rm -rf "$work/$pkg" && mv "$(find "$work/get" -mindepth 1 -maxdepth 1 -type d | head -1)" "$work/$pkg"
      return 0
    fi
  done
  echo "cannot fetch the source of $pkg" >&2
  return 1
}
for pkg in sqlite3 libpff expat curl libpsl; do fetch "$pkg"; done

jobs=$(nproc)
cross=(--host=$host --prefix="$prefix" --disable-shared --enable-static --disable-dependency-tracking)
export CC=$host-gcc-posix AR=$host-ar RANLIB=$host-ranlib CFLAGS=-O2
export PKG_CONFIG_LIBDIR="$prefix/lib/pkgconfig" PKG_CONFIG_PATH=
mkdir -p "$prefix/lib/pkgconfig" "$prefix/include"

# libcurl and libpff, the two long builds, start first and run meanwhile:
# their configure scripts run one process at a time, for a minute each.
build_curl() {
  ./configure -q "${cross[@]}" --with-schannel --without-zlib --without-brotli --without-zstd \
    --without-libidn2 --without-nghttp2 --without-libssh2 --without-libssh --without-librtmp --without-libpsl \
    --without-ca-bundle --without-ca-path --without-libgsasl \
    --disable-ftp --disable-file --disable-ldap --disable-ldaps --disable-rtsp --disable-dict --disable-telnet \
    --disable-tftp --disable-pop3 --disable-imap --disable-smb --disable-smtp --disable-gopher --disable-mqtt \
    --disable-manual --disable-alt-svc --disable-websockets >/dev/null &&
    make -s -j"$jobs" -C lib >/dev/null && make -s -C lib install >/dev/null &&
    make -s -C include install >/dev/null && make -s install-pkgconfigDATA >/dev/null
}
echo "-- libcurl ${version[curl]} (in the background)"
in_background curl build_curl

# libcthreads names three Windows headers in mixed case; mingw's are lower case.
# The wide character type gives the wide calls (libpff_file_open_wide), and
# UNICODE makes the libraries' own strings wide, so that a wide name reaches
# CreateFileW as it is: without it, libbfio narrows the name again and
# libcfile opens it with CreateFileA, through the ANSI code page.
# WIN32_LEAN_AND_MEAN leaves out the parts of windows.h they do not use: the
# same code, compiled in half the time.
mkdir -p "$work/shim"
for header in Synchapi Processthreadsapi Threadpoolapiset; do
  echo "#include <${header,,}.h>" >"$work/shim/$header.h"
done
build_libpff() {
  local d
  ./configure -q "${cross[@]}" --enable-winapi=yes --enable-wide-character-type --enable-python=no \
    CPPFLAGS="-I$work/shim -DUNICODE -D_UNICODE -DWIN32_LEAN_AND_MEAN" >/dev/null &&
    make -s -j"$jobs" -C include >/dev/null && make -s -j"$jobs" -C common >/dev/null &&
    for d in lib*/; do [ "$d" = libpff/ ] || make -s -j"$jobs" -C "$d" >/dev/null || return; done &&
    make -s -j"$jobs" -C libpff >/dev/null && make -s -C libpff install >/dev/null &&
    make -s -C include install >/dev/null && make -s install-pkgconfigDATA >/dev/null
}
echo "-- libpff ${version[libpff]} (in the background)"
in_background libpff build_libpff

echo "-- SQLite ${version[sqlite3]}"
# The amalgamation is generated by a native build of the tree, then compiled
# alone for Windows with debian/rules' options (less extension loading, which
# the program never does).
(cd sqlite3 && CC=gcc AR=ar RANLIB=ranlib ./configure -q >/dev/null && make -s sqlite3.c >/dev/null)
sqlite_options=$(sed -n '/^export CFLAGS += /,/[^\\]$/p' sqlite3/debian/rules | grep -o -- '-DSQLITE_[A-Z0-9_]*\(=[0-9]*\)\?' |
  grep -v LOAD_EXTENSION | tr '\n' ' ')
[ -n "$sqlite_options" ] || { echo "no SQLite options in debian/rules" >&2; exit 1; }
# shellcheck disable=SC2086
$CC -O2 -fno-strict-aliasing $sqlite_options -DSQLITE_OMIT_LOAD_EXTENSION -c sqlite3/sqlite3.c -o sqlite3/sqlite3.o
$AR rcs "$prefix/lib/libsqlite3.a" sqlite3/sqlite3.o
cp sqlite3/sqlite3.h sqlite3/sqlite3ext.h "$prefix/include/"
cat >"$prefix/lib/pkgconfig/sqlite3.pc" <<EOF
prefix=$prefix
Name: SQLite
Description: SQL database engine
Version: ${version[sqlite3]%%-*}
Libs: -L\${prefix}/lib -lsqlite3
Cflags: -I\${prefix}/include
EOF

echo "-- expat ${version[expat]}"
# Debian's source carries no configure script; expat's own CMake build,
# whose header defines XML_DTD as the autotools one does (1, not empty: the
# security fixes test its value).
sed -i 's/^#cmakedefine XML_DTD$/#cmakedefine XML_DTD 1/' expat/expat/expat_config.h.cmake
cmake -S expat/expat -B expat/build -DCMAKE_SYSTEM_NAME=Windows -DCMAKE_C_COMPILER="$CC" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DEXPAT_SHARED_LIBS=OFF \
  -DEXPAT_BUILD_TOOLS=OFF -DEXPAT_BUILD_EXAMPLES=OFF -DEXPAT_BUILD_TESTS=OFF -DEXPAT_BUILD_DOCS=OFF >/dev/null
cmake --build expat/build -j"$jobs" --target install >/dev/null

echo "-- libpsl ${version[libpsl]}"
# Two C files and the list compiled into a DAFSA: no build system needed, and
# no IDN library (host names reach it as ASCII).
psl_version=${version[libpsl]%%-*}
IFS=. read -r psl_major psl_minor psl_patch <<<"$psl_version"
(cd libpsl &&
  sed -e "s/@LIBPSL_VERSION@/$psl_version/" -e "s/@LIBPSL_VERSION_MAJOR@/$psl_major/" \
      -e "s/@LIBPSL_VERSION_MINOR@/$psl_minor/" -e "s/@LIBPSL_VERSION_PATCH@/$psl_patch/" \
      -e "s/@LIBPSL_VERSION_NUMBER@/$(printf '0x%02x%02x%02x' "$psl_major" "$psl_minor" "$psl_patch")/" \
      include/libpsl.h.in >"$prefix/include/libpsl.h" &&
  python3 src/psl-make-dafsa --output-format=cxx+ /usr/share/publicsuffix/public_suffix_list.dat src/suffixes_dafsa.h &&
  for c in psl lookup_string_in_fixed_set; do
    $CC -O2 -DBUILDING_PSL -DPSL_STATIC -DENABLE_BUILTIN -DPACKAGE_VERSION="\"$psl_version\"" \
      -I"$prefix/include" -Isrc -c src/$c.c -o src/$c.o
  done &&
  $AR rcs "$prefix/lib/libpsl.a" src/psl.o src/lookup_string_in_fixed_set.o)
cat >"$prefix/lib/pkgconfig/libpsl.pc" <<EOF
prefix=$prefix
Name: libpsl
Description: Public Suffix List C library
Version: $psl_version
Libs: -L\${prefix}/lib -lpsl
Libs.private: -lws2_32
Cflags: -I\${prefix}/include -DPSL_STATIC
EOF

finish libpff
[ -f "$prefix/lib/libpff.a" ] || { echo "libpff did not build" >&2; exit 1; }
finish curl
[ -f "$prefix/lib/libcurl.a" ] || { echo "libcurl did not build" >&2; exit 1; }
for pkg in sqlite3 libpff expat curl libpsl; do echo "$pkg ${version[$pkg]}"; done >"$prefix/versions"
echo "publicsuffix $(dpkg-query -W -f='${Version}' publicsuffix)" >>"$prefix/versions"
cat "$prefix/versions"
echo "$stamp" >"$prefix/stamp"
echo "-- windows deps built in $prefix in $SECONDS s"
