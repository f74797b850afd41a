#!/usr/bin/env bash
# Without a display the game says so on stderr and ends with a non-zero code.
set -uo pipefail
game=$1
err=$(mktemp)
trap 'rm -f "$err"' EXIT
env -u DISPLAY -u WAYLAND_DISPLAY SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy timeout 20 "$game" 2>"$err" >/dev/null
rc=$?
cat "$err"
if ((rc == 0 || rc == 124)); then
    echo "FAIL: exit code $rc" >&2
    exit 1
fi
grep -q "cannot open a display" "$err" || { echo "FAIL: no message on stderr" >&2; exit 1; }
echo "PASS (exit code $rc)"
