#!/usr/bin/env bash
# Runs a command while every core is kept busy, as on a newcomer's laptop that
# is building something else: the tests must pass there too.
#   scripts/under-load.sh COMMAND [ARGS...]
# The load is Debian's stress-ng, one CPU worker per core (LOAD_WORKERS to
# change it); it stops when the command ends, however it ends.
set -euo pipefail

command -v stress-ng >/dev/null ||
    { echo "under-load: stress-ng is missing (scripts/install-deps.sh load)" >&2; exit 1; }
workers=${LOAD_WORKERS:-$(nproc)}
stress-ng --cpu "$workers" --timeout 3h --quiet &
load=$!
trap 'kill "$load" 2>/dev/null; wait "$load" 2>/dev/null || true' EXIT
trap 'exit 130' INT TERM
echo "under-load: $workers busy CPU workers (stress-ng) while running: $*"
started=$(date +%s)
status=0
"$@" || status=$?
echo "under-load: '$*' ended with $status after $(($(date +%s) - started)) s"
exit "$status"
