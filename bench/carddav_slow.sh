#!/usr/bin/env bash
# How the program ends against CardDAV servers that are slow or never finish,
# with its own limits (not the shortened ones of the tests). Each case starts
# tests/store/carddav/slow_stub.py on 127.0.0.1, runs the program on a profile
# whose one store is the stub's book, and prints the exit code, the wall time
# and the records written. A run still going after LIMIT seconds is killed and
# reported as such.
#
#   trickle-discovery  the first PROPFIND's body comes one byte a second
#   trickle-report     the second multiget's body comes one byte a second
#   term-discovery     SIGTERM while the first PROPFIND is held open
#   term-report        SIGTERM while the second multiget is held open
#                      (time given from the signal to the end)
#   pace               a multiget of 10 MiB (200 cards with notes of 52 KiB)
#                      served at 50 KiB/s
#
# Usage: bench/carddav_slow.sh PROGRAM [CASE...]   (all cases by default)
# Environment: LIMIT=300 seconds before a run is killed.
set -euo pipefail

REPO=$(cd "$(dirname "$0")/.." && pwd)
PROGRAM=$(realpath "$1")
shift
CASES=${*:-"trickle-discovery trickle-report term-discovery term-report pace"}
LIMIT=${LIMIT:-300}
WORK=$(mktemp -d)
STUB=
cleanup() {
  [ -n "$STUB" ] && kill "$STUB" 2>/dev/null && wait "$STUB" 2>/dev/null
  rm -rf "$WORK"
}
trap cleanup EXIT

now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", b - a }'; }

free_port() { /usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }

start_stub() {  # WHERE MODE COUNT NOTE
  local port
  port=$(free_port)
  rm -f "$WORK/marker"
  /usr/bin/python3 "$REPO/tests/store/carddav/slow_stub.py" "$port" "$1" "$2" "$3" "$4" "$WORK/marker" &
  STUB=$!
  mkdir -p "$WORK/profile"
  printf 'url = http://127.0.0.1:%s/book/\n' "$port" > "$WORK/profile/stub.carddav"
  for _ in $(seq 100); do
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && return
    sleep 0.1
  done
  echo "the stub did not start" >&2
  exit 1
}

stop_stub() {
  kill "$STUB" 2>/dev/null || true
  wait "$STUB" 2>/dev/null || true
  STUB=
}

# Runs the program in the background; RUN_PID is its process.
start_program() {
  rm -f "$WORK/out.csv"
  CONTACT_EXPORT_PROFILE="$WORK/profile" NETRC="$WORK/no-netrc" "$PROGRAM" "$WORK/out.csv" &
  RUN_PID=$!
}

# Waits for RUN_PID at most LIMIT seconds from START; prints the outcome.
finish_program() {  # CASE START
  local code=killed
  while kill -0 "$RUN_PID" 2>/dev/null; do
    if [ "$(elapsed "$2" "$(now)" | cut -d. -f1)" -ge "$LIMIT" ]; then
      kill -KILL "$RUN_PID"
      break
    fi
    sleep 0.1
  done
  local end
  end=$(now)
  if wait "$RUN_PID"; then code=0; else code=$?; fi
  [ "$code" = 137 ] && code="still running after ${LIMIT} s (killed)"
  local records=0
  [ -f "$WORK/out.csv" ] && records=$(grep -c $'\r$' "$WORK/out.csv" || true)
  printf '| %s | %s | %s | %s |\n' "$1" "$code" "$(elapsed "$2" "$end")" "$records"
}

wait_marker() {
  for _ in $(seq 300); do
    [ -e "$WORK/marker" ] && return
    sleep 0.1
  done
  echo "the stub never began its slow answer" >&2
  exit 1
}

echo "| case | exit | seconds | records |"
echo "|---|---|---|---|"
for case in $CASES; do
  case $case in
    trickle-discovery | trickle-report)
      start_stub "${case#trickle-}" trickle 450 100
      start=$(now)
      start_program
      finish_program "$case" "$start"
      ;;
    term-discovery | term-report)
      start_stub "${case#term-}" hold 450 1000
      start_program
      wait_marker
      sleep 0.5
      start=$(now)
      kill -TERM "$RUN_PID"
      finish_program "$case (from the signal)" "$start"
      ;;
    pace)
      # The second multiget: 200 cards with notes of 53,000 bytes, 10.2 MiB in all.
      start_stub report pace:51200 400 53000
      start=$(now)
      start_program
      finish_program "$case" "$start"
      ;;
    *)
      echo "unknown case $case" >&2
      exit 2
      ;;
  esac
  stop_stub
done
