#!/usr/bin/env bash
# The card decoder's two threads, checked twice: a Clang build of the core
# library with its thread-safety analysis, where touching a shared field
# without its lock is an error; and the tests that run both threads (the
# decoder's, the store's, the program's and the hostile profiles') under
# ThreadSanitizer, which fails on the first data race.
set -euo pipefail
cd "$(dirname "$0")/.."

if ! command -v clang++ >/dev/null; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends clang >/dev/null
fi

echo "-- Clang thread-safety analysis of the core library"
cmake -S . -B build-clang-threads -DCMAKE_CXX_COMPILER=clang++ -DCONTACT_EXPORT_TESTS=OFF \
  -DCMAKE_CXX_FLAGS="-Wthread-safety -Werror=thread-safety" >/dev/null
cmake --build build-clang-threads -j2 --target contact_export_core

echo "-- ThreadSanitizer: the tests that run both threads"
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCONTACT_EXPORT_SANITIZE=thread >/dev/null
cmake --build build-tsan -j2
tests='^(CardDecoderTest|CardIndexTest|ObjectsTest|LayoutTest|ProgramTest|StandaloneProgramTest|HostileProfileTest|VastProfileTest|RacingCopiesTest)\.'
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
  ctest --test-dir build-tsan --output-on-failure -j2 -R "$tests"
