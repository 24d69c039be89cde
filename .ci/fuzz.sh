#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ and runs each for a bounded time
# (FUZZ_SECONDS, default 60). Fails on any crash, leak, timeout or
# out-of-memory; the input that caused it is kept under build-fuzz/artifacts/
# and shown. Seeds: the committed corpora under fuzz/corpus/<target>/ and, read
# where they are, the public vCard samples and Outlook data files kept with the
# tests (tests/data/third_party).
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${FUZZ_SECONDS:-60}"
data="$(pwd)/tests/data/third_party"

# clang and its fuzzer runtime, from the distribution, when missing.
probe="$(mktemp -d)"
trap 'rm -rf "$probe"' EXIT
echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }' \
  >"$probe/probe.cpp"
if ! clang++ -fsanitize=fuzzer,address,undefined "$probe/probe.cpp" -o "$probe/probe" 2>/dev/null; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends clang libclang-rt-14-dev >/dev/null
fi

cmake -S fuzz -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build build-fuzz -j2

artifacts="build-fuzz/artifacts"
rm -rf "$artifacts" build-fuzz/work
mkdir -p "$artifacts"
export LSAN_OPTIONS="suppressions=$(pwd)/fuzz/lsan_suppressions.txt"
export ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=0"

# Cards are small; longer inputs only slow the search down.
declare -A options=(
  [fuzz_vcard]="-max_len=16384 -dict=fuzz/vcard.dict"
  [fuzz_field_encoding]="-max_len=4096"
  [fuzz_pst]=""
  [fuzz_multistatus]="-max_len=16384 -dict=fuzz/multistatus.dict"
)
declare -A seeds=(
  [fuzz_vcard]="fuzz/corpus/vcard $data/vcard-samples"
  [fuzz_field_encoding]="fuzz/corpus/field_encoding"
  [fuzz_pst]="$data/pst"
  [fuzz_multistatus]="fuzz/corpus/multistatus"
)

failed=0
for target in fuzz_vcard fuzz_field_encoding fuzz_pst fuzz_multistatus; do
  [ -x "build-fuzz/$target" ] || { echo "== $target: not built (no libpff, or no libcurl and expat?)"; continue; }
  work="build-fuzz/work/$target"
  mkdir -p "$work"
  dirs=()
  for dir in ${seeds[$target]}; do
    [ -d "$dir" ] && dirs+=("$dir")
  done
  echo "== $target for ${seconds} s (seeds: ${dirs[*]:-none})"
  log="build-fuzz/$target.log"
  # The first directory collects what the run finds; the seeds stay as they are.
  # shellcheck disable=SC2086
  if "build-fuzz/$target" ${options[$target]} -max_total_time="$seconds" -timeout=10 \
      -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$artifacts/$target-" \
      "$work" "${dirs[@]}" >"$log" 2>&1; then
    grep -E '^stat::(number_of_executed_units|average_exec_per_sec|new_units_added|peak_rss_mb)' "$log" || true
  else
    failed=1
    echo "!! $target failed:"
    grep -v -E '^(#[0-9]|INFO:)' "$log" | tail -60
  fi
done

if [ "$failed" != 0 ]; then
  echo "Inputs that failed:"
  ls -l "$artifacts"
  exit 1
fi
