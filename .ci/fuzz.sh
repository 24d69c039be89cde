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

# One target's run; its lines go to build-fuzz/<target>.out, shown once it ends.
run_target() {
  local target=$1 work="build-fuzz/work/$1" log="build-fuzz/$1.log" dirs=() dir
  mkdir -p "$work"
  for dir in ${seeds[$target]}; do
    [ -d "$dir" ] && dirs+=("$dir")
  done
  echo "== $target for ${seconds} s (seeds: ${dirs[*]:-none})"
  # The first directory collects what the run finds; the seeds stay as they are.
  # shellcheck disable=SC2086
  if "build-fuzz/$target" ${options[$target]} -max_total_time="$seconds" -timeout=10 \
      -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$artifacts/$target-" \
      "$work" "${dirs[@]}" >"$log" 2>&1; then
    grep -E '^stat::(number_of_executed_units|average_exec_per_sec|new_units_added|peak_rss_mb)' "$log" || true
  else
    echo "!! $target failed:"
    grep -v -E '^(#[0-9]|INFO:)' "$log" | tail -60
    return 1
  fi
}

# Two targets at a time, one a core: each still runs its full time, and the
# step takes half as long.
failed=0
targets=()
for target in fuzz_vcard fuzz_field_encoding fuzz_pst fuzz_multistatus; do
  if [ -x "build-fuzz/$target" ]; then
    targets+=("$target")
  else
    echo "== $target: not built (no libpff, or no libcurl and expat?)"
  fi
done
for ((i = 0; i < ${#targets[@]}; i += 2)); do
  pair=("${targets[@]:i:2}")
  pids=()
  for target in "${pair[@]}"; do
    run_target "$target" >"build-fuzz/$target.out" 2>&1 &
    pids+=("$!")
  done
  for j in "${!pair[@]}"; do
    wait "${pids[$j]}" || failed=1
    cat "build-fuzz/${pair[$j]}.out"
  done
done

if [ "$failed" != 0 ]; then
  echo "Inputs that failed:"
  ls -l "$artifacts"
  exit 1
fi
