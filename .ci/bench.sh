#!/usr/bin/env bash
# Keeps the benchmarks from rotting: builds them, runs the tests of the
# benchmark tools, runs every micro-benchmark briefly, and runs the profile
# generator, the object-model call counter and the Python peer on a small
# profile of each layout. Measures nothing worth
# keeping; bench/run.sh does the real runs.
set -euo pipefail
cd "$(dirname "$0")/.."

export DEBIAN_FRONTEND=noninteractive
if ! dpkg -s libbenchmark-dev libgtest-dev python3-vobject >/dev/null 2>&1; then
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends libbenchmark-dev libgtest-dev python3-vobject >/dev/null
fi

cmake -S . -B build-bench-ci -DCMAKE_BUILD_TYPE=Release -DCONTACT_EXPORT_BENCH=ON -DCONTACT_EXPORT_TESTS=OFF
cmake --build build-bench-ci -j2

build-bench-ci/bench/bench_tests
/usr/bin/python3 bench/test_generate_profile.py
build-bench-ci/bench/contact_export_bench --benchmark_min_time=0.01

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for layout in single files; do
  expected=$(/usr/bin/python3 bench/generate_profile.py --count 300 --layout "$layout" --out "$work/$layout")
  CONTACT_EXPORT_PROFILE="$work/$layout" build-bench-ci/bench/count_calls "$work/calls.csv" | tee "$work/calls.txt"
  records=$(awk '$1 == "contacts" {print $2}' "$work/calls.txt")
  per=$(awk '$1 == "calls_per_contact" {print $2}' "$work/calls.txt")
  if [ "$records" != "$expected" ]; then
    echo "count_calls: $records records, the generator made $expected named contacts" >&2
    exit 1
  fi
  if awk -v p="$per" 'BEGIN { exit !(p > 60) }'; then
    echo "count_calls: $per object-model calls per contact, more than 60" >&2
    exit 1
  fi
  /usr/bin/python3 bench/peer_vobject.py "$work/$layout" "$work/peer.csv"
done
