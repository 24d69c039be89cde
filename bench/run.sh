#!/usr/bin/env bash
# Whole-run benchmark: builds the program with optimisation, generates
# profiles of 10,000, 100,000 and 1,000,000 contacts in both layouts (one card
# per file in a three-level folder tree; one file holding every card), and for
# each one measures
#   - the export: wall time, user and system CPU time and peak resident
#     memory (GNU time, %M = the "Maximum resident set size" of time -v);
#   - contacts per second: records / (wall - 0.5 s), the 0.5 s being the fixed
#     pause the run sequence makes before it releases the application object;
#     and records / (user + sys), the work done (the export decodes on two
#     threads, so this is below the wall-time rate on an idle machine);
#   - the I/O floor: cat over the same .vcf files to /dev/null.
# The measured runs follow an unmeasured one over the same files, so the file
# cache is warm; the run of median wall time is reported. Each measured run of
# 1,000,000 contacts follows a run of 100,000, and the growth between the two
# sizes is also given from those pairs, taken at the same machine speed. On the
# 100,000-contact profiles it also runs the Python peer (bench/peer_vobject.py)
# and the object-model call counter (count_calls).
#
# Environment:
#   SIZES="10000 100000 1000000"  profile sizes
#   PEER=1                        0 skips the Python peer
#   RUNS=5                        measured runs of each export; the median
#                                 (by wall time) is reported
#   WORK=/some/dir                where profiles go (default: a new temp dir,
#                                 removed at the end); 1,000,000 contacts take
#                                 about 6 GB one per file, 3 GB in one file,
#                                 one layout at a time
#   BUILD=<repo>/build-bench      build directory
# Prints a Markdown report on stdout (progress goes to stderr).
set -euo pipefail

REPO=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD:-$REPO/build-bench}
SIZES=${SIZES:-"10000 100000 1000000"}
PEER=${PEER:-1}
RUNS=${RUNS:-5}
PAUSE=0.5
PY=/usr/bin/python3  # Debian's, which has python3-vobject

log() { echo "[$(date -u +%H:%M:%S)] $*" >&2; }

# GNU time, Google Benchmark and python3-vobject (Debian packages).
missing=()
[ -x /usr/bin/time ] || missing+=(time)
dpkg -s libbenchmark-dev >/dev/null 2>&1 || missing+=(libbenchmark-dev)
[ "$PEER" != 1 ] || $PY -c 'import vobject' 2>/dev/null || missing+=(python3-vobject)
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" = 0 ]; then
    log "installing ${missing[*]}"
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  else
    echo "bench/run.sh needs: apt-get install ${missing[*]}" >&2
    exit 1
  fi
fi

COMMIT=$(git -C "$REPO" rev-parse --short HEAD)
log "building $COMMIT in $BUILD"
cmake -S "$REPO" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DCONTACT_EXPORT_BENCH=ON \
  -DCONTACT_EXPORT_TESTS=OFF >/dev/null
cmake --build "$BUILD" -j2 >/dev/null
PROGRAM=$BUILD/contact-export
COUNT_CALLS=$BUILD/bench/count_calls

if [ -n "${WORK:-}" ]; then
  mkdir -p "$WORK"
  KEEP=1
else
  WORK=$(mktemp -d /tmp/contact-export-bench.XXXXXX)
  KEEP=0
fi
cleanup() { [ "$KEEP" = 1 ] || rm -rf "$WORK"; }
trap cleanup EXIT

# timed OUT CMD...: runs CMD under GNU time; OUT gets "wall user sys maxrss_kb".
timed() {
  local out=$1
  shift
  /usr/bin/time -f '%e %U %S %M' -o "$out" "$@"
}

# field N FILE: the Nth number of a timed result.
field() { awk -v n="$1" '{print $n}' "$2"; }
# calc EXPR [FORMAT]: EXPR evaluated by awk, printed with FORMAT (%.2f).
calc() { awk "BEGIN { printf \"${2:-%.2f}\", $1 }"; }

free_gb() { df -P -k "$WORK" | awk 'NR == 2 { printf "%d", $4 / 1048576 }'; }

ROWS=()
declare -A WALL CPU RATE CPURATE XCAT RSS PEERX CALLS PAIRWALL

# measure N LAYOUT: generates, runs, records one table row; leaves the profile.
measure() {
  local n=$1 layout=$2
  local profile=$WORK/p$n-$layout
  log "generating $n contacts, layout $layout"
  rm -rf "$profile"
  local expected
  expected=$($PY "$REPO/bench/generate_profile.py" --count "$n" --layout "$layout" --out "$profile")
  local bytes
  bytes=$(du -sb "$profile" | cut -f1)
  find "$profile" -name '*.vcf' -print0 | sort -z >"$WORK/list"

  log "cat floor"
  xargs -0 cat <"$WORK/list" >/dev/null
  timed "$WORK/t.cat" xargs -0 cat <"$WORK/list" >/dev/null

  log "export (warm-up, then $RUNS measured runs)"
  local out=$WORK/out.csv
  CONTACT_EXPORT_PROFILE=$profile "$PROGRAM" "$out"
  rm -f "$out"
  # The growth from 100,000 to 1,000,000 contacts is a ratio of two times,
  # and this kind of machine changes speed over minutes: each run of the big
  # profile comes right after a run of the 100,000-contact one, so that both
  # figures of the ratio are taken at the same speed.
  local small=""
  [ "$n" -ge 1000000 ] && [ -d "$WORK/p100000-$layout" ] && small=$WORK/p100000-$layout
  local k written
  for ((k = 1; k <= RUNS; k++)); do
    if [ -n "$small" ]; then
      # Twice: the big profile's run may have pushed the small one's files
      # and directory entries out of the caches; the second run is measured.
      CONTACT_EXPORT_PROFILE=$small "$PROGRAM" "$out"
      rm -f "$out"
      CONTACT_EXPORT_PROFILE=$small timed "$WORK/t.pair.$k" "$PROGRAM" "$out"
      rm -f "$out"
    fi
    CONTACT_EXPORT_PROFILE=$profile timed "$WORK/t.run.$k" "$PROGRAM" "$out"
    written=$(wc -l <"$out")
    rm -f "$out"
    [ "$written" = "$expected" ] || log "WARNING: $written records written, $expected expected"
  done
  if [ -n "$small" ]; then
    local pairs
    pairs=$(for ((k = 1; k <= RUNS; k++)); do field 1 "$WORK/t.pair.$k"; done | sort -n)
    log "100,000-contact runs between them: $(echo "$pairs" | tr '\n' ' ')"
    PAIRWALL[$layout]=$(calc "$(echo "$pairs" | awk -v m=$(((RUNS + 1) / 2)) 'NR == m') - $PAUSE")
  fi
  # The run of median wall time stands for all (its CPU time and memory too);
  # the spread is logged.
  local walls
  walls=$(for ((k = 1; k <= RUNS; k++)); do echo "$(field 1 "$WORK/t.run.$k") $k"; done | sort -n)
  log "wall times: $(echo "$walls" | awk '{printf "%s ", $1}')"
  cp "$WORK/t.run.$(echo "$walls" | awk -v m=$(((RUNS + 1) / 2)) 'NR == m {print $2}')" "$WORK/t.run"

  local wall user sys rss catwall
  wall=$(field 1 "$WORK/t.run"); user=$(field 2 "$WORK/t.run"); sys=$(field 3 "$WORK/t.run")
  rss=$(field 4 "$WORK/t.run"); catwall=$(field 1 "$WORK/t.cat")
  local net cpu
  net=$(calc "$wall - $PAUSE"); cpu=$(calc "$user + $sys")
  # A run of 10,000 contacts can end within the pause's resolution.
  [ "$(calc "$net < 0.01" %d)" = 1 ] && net=0.01
  WALL[$n-$layout]=$net
  CPU[$n-$layout]=$cpu
  RATE[$n-$layout]=$(calc "$written / $net" %d)
  CPURATE[$n-$layout]=$(calc "$written / ($cpu > 0 ? $cpu : 0.001)" %d)
  XCAT[$n-$layout]=$(calc "$net / ($catwall > 0 ? $catwall : 0.01)" %.1f)
  RSS[$n-$layout]=$(calc "$rss / 1024" %.1f)
  ROWS+=("| $n | $layout | $(calc "$bytes / 1048576" %d) MB | $written | $wall | $user + $sys | \
$(calc "$written / ($net > 0 ? $net : 0.001)" %d) | $(calc "$written / ($cpu > 0 ? $cpu : 0.001)" %d) | \
$(calc "$rss / 1024" %.1f) MB | $catwall | $(calc "$net / ($catwall > 0 ? $catwall : 0.01)" %.1f) |")
}

PEER_ROWS=()
CALL_ROWS=()

peer() {
  local n=$1 layout=$2
  local profile=$WORK/p$n-$layout
  log "Python peer over $n contacts, layout $layout"
  timed "$WORK/t.peer" "$PY" "$REPO/bench/peer_vobject.py" "$profile" "$WORK/peer.csv" >/dev/null
  local wall cpu
  wall=$(field 1 "$WORK/t.peer"); cpu=$(calc "$(field 2 "$WORK/t.peer") + $(field 3 "$WORK/t.peer")")
  rm -f "$WORK/peer.csv"
  PEERX[$n-$layout]=$(calc "$wall / ${WALL[$n-$layout]}" %.1f)
  PEER_ROWS+=("| $n | $layout | $wall | $cpu | $(calc "$wall / (${WALL[$n-$layout]} + $PAUSE)" %.1f) | \
$(calc "$wall / ${WALL[$n-$layout]}" %.1f) | $(calc "$cpu / ${CPU[$n-$layout]}" %.1f) |")
}

calls() {
  local n=$1 layout=$2
  log "object-model calls over $n contacts, layout $layout"
  CONTACT_EXPORT_PROFILE=$WORK/p$n-$layout "$COUNT_CALLS" "$WORK/calls.csv" >"$WORK/calls.txt"
  rm -f "$WORK/calls.csv"
  CALLS[$n-$layout]=$(awk '$1 == "calls_per_contact" {print $2}' "$WORK/calls.txt")
  CALL_ROWS+=("| $n | $layout | $(awk '$1 == "contacts" {print $2}' "$WORK/calls.txt") | \
$(awk '$1 == "calls" {print $2}' "$WORK/calls.txt") | $(awk '$1 == "calls_per_contact" {print $2}' "$WORK/calls.txt") |")
}

LOAD_BEFORE=$(cut -d' ' -f1-3 /proc/loadavg)
START=$(date +%s)
for n in $SIZES; do
  for layout in single files; do
    if [ "$n" -ge 1000000 ] && [ "$(free_gb)" -lt 10 ]; then
      log "skipping $n contacts: less than 10 GB free in $WORK"
      continue
    fi
    measure "$n" "$layout"
    if [ "$n" = 100000 ]; then
      calls "$n" "$layout"
      [ "$PEER" = 1 ] && peer "$n" "$layout"
    fi
    # The big profiles go as soon as they are measured.
    [ "$n" -ge 1000000 ] && rm -rf "$WORK/p$n-$layout"
  done
done
LOAD_AFTER=$(cut -d' ' -f1-3 /proc/loadavg)

cat <<EOF
## Whole runs

Machine: $(nproc) cores, $(lscpu | sed -n 's/^Model name: *//p' | head -1), $(free -g | awk '/^Mem:/ {print $2}') GB RAM;
load average $LOAD_BEFORE at the start, $LOAD_AFTER at the end; $(date -u '+%Y-%m-%d %H:%M UTC'), $(( $(date +%s) - START )) s.
Build: \`cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DCONTACT_EXPORT_BENCH=ON\`, commit $COMMIT (plus uncommitted changes of the working tree, if any).

Contacts/s (wall) = records / (wall - 0.5 s): the run sequence pauses 500 ms
before it releases the application object, and that pause is taken out.
Contacts/s (CPU) = records / (user + sys). "x cat" = (wall - 0.5 s) / cat wall.

| contacts | layout | size | records | wall s | user + sys s | contacts/s (wall) | contacts/s (CPU) | peak RSS | cat s | x cat |
|---|---|---|---|---|---|---|---|---|---|---|
EOF
printf '%s\n' "${ROWS[@]}"

if [ -n "${WALL[1000000-single]:-}${WALL[1000000-files]:-}" ]; then
  echo
  echo "Growth, 1,000,000 against 100,000 contacts (wall - 0.5 s; CPU):"
  echo
fi
for layout in single files; do
  if [ -n "${WALL[1000000-$layout]:-}" ] && [ -n "${WALL[100000-$layout]:-}" ]; then
    echo "- $layout: $(calc "${WALL[1000000-$layout]} / ${WALL[100000-$layout]}" %.1f) x wall, $(calc "${CPU[1000000-$layout]} / ${CPU[100000-$layout]}" %.1f) x CPU"
  fi
  if [ -n "${WALL[1000000-$layout]:-}" ] && [ -n "${PAIRWALL[$layout]:-}" ]; then
    echo "  (against the median of the 100,000-contact runs made between the 1,000,000-contact ones, $(calc "${PAIRWALL[$layout]} + $PAUSE") s: $(calc "${WALL[1000000-$layout]} / ${PAIRWALL[$layout]}" %.1f) x wall)"
  fi
done

if [ ${#CALL_ROWS[@]} -gt 0 ]; then
  cat <<EOF

## Object-model calls (bench/count_calls)

| contacts | layout | records | calls | calls per record |
|---|---|---|---|---|
EOF
  printf '%s\n' "${CALL_ROWS[@]}"
fi

if [ ${#PEER_ROWS[@]} -gt 0 ]; then
  cat <<EOF

## Python peer (bench/peer_vobject.py, python3-vobject + csv)

Ratios: peer wall / our wall; peer wall / our (wall - 0.5 s); peer CPU / our CPU.

| contacts | layout | peer wall s | peer user + sys s | x ours (wall) | x ours (wall - 0.5 s) | x ours (CPU) |
|---|---|---|---|---|---|---|
EOF
  printf '%s\n' "${PEER_ROWS[@]}"
fi

# verdict CONDITION: "met" or "MISSED" (awk condition over the figures).
verdict() { awk "BEGIN { print (($1) ? \"met\" : \"MISSED\") }"; }
has() { for key in "$@"; do [ -n "$key" ] || return 1; done; }

if [ -n "${RATE[100000-single]:-}${RATE[100000-files]:-}" ]; then
  echo
  echo "## Targets (wall figures, pause taken out)"
  echo
fi
if has "${RATE[100000-single]:-}"; then
  echo "- 100,000 in one file >= 200,000 contacts/s: ${RATE[100000-single]} ($(verdict "${RATE[100000-single]} >= 200000"); CPU: ${CPURATE[100000-single]})"
fi
if has "${RATE[100000-files]:-}"; then
  echo "- 100,000 one per file >= 100,000 contacts/s: ${RATE[100000-files]} ($(verdict "${RATE[100000-files]} >= 100000"); CPU: ${CPURATE[100000-files]})"
  echo "- 100,000 one per file <= 3 x cat: ${XCAT[100000-files]} x ($(verdict "${XCAT[100000-files]} <= 3"))"
fi
for layout in single files; do
  if has "${RSS[1000000-$layout]:-}"; then
    echo "- 1,000,000 $layout: peak RSS <= 64 MB: ${RSS[1000000-$layout]} MB ($(verdict "${RSS[1000000-$layout]} <= 64"))"
  fi
  if has "${WALL[1000000-$layout]:-}" "${WALL[100000-$layout]:-}"; then
    growth=$(calc "${WALL[1000000-$layout]} / ${WALL[100000-$layout]}" %.1f)
    if has "${PAIRWALL[$layout]:-}"; then
      paired=$(calc "${WALL[1000000-$layout]} / ${PAIRWALL[$layout]}" %.1f)
      echo "- 1,000,000 $layout <= 12 x the 100,000 run: $paired x against the runs in between ($(verdict "$paired <= 12")); $growth x against the table's run"
    else
      echo "- 1,000,000 $layout <= 12 x the 100,000 run: $growth x ($(verdict "$growth <= 12"))"
    fi
  fi
  if has "${PEERX[100000-$layout]:-}"; then
    echo "- $layout: >= 30 x faster than the Python peer: ${PEERX[100000-$layout]} x ($(verdict "${PEERX[100000-$layout]} >= 30"))"
  fi
  if has "${CALLS[100000-$layout]:-}"; then
    echo "- $layout: <= 60 object-model calls per contact: ${CALLS[100000-$layout]} ($(verdict "${CALLS[100000-$layout]} <= 60"))"
  fi
done
