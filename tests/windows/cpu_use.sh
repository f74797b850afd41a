#!/usr/bin/env bash
# Measures what nuvalo.exe costs under wine in a private Xvfb display: the
# share of one core used by the game's process and by the X server over a
# while halted (the first frame, never changing), then over as long playing
# (Space pressed every half second, so a new run starts whenever one ends).
#   tests/windows/cpu_use.sh NUVALO_EXE TON_DIR [SECONDS]   (default 20)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/windows/xvfb.sh
source "$here/xvfb.sh"

[[ $# -ge 2 ]] || fail "usage: $0 NUVALO_EXE TON_DIR [SECONDS]"
exe=$(realpath "$1") ton=$(realpath "$2") seconds=${3:-20}
need windows wine Xvfb xdotool
work=$(mktemp -d "${TMPDIR:-/tmp}/nuvalo-cpu.XXXXXX")
trap 'cleanup; rm -rf "$work"' EXIT
cp "$exe" "$work/nuvalo.exe"
cp -r "$ton" "$work/Ton"
start_xvfb

(cd "$work" && exec "$here/wine-run.sh" nuvalo.exe 2>>"$work/wine.log") &
game=$!
started_pids+=("$game")
window=$(wait_for_windows 1 60) || fail "no window named Nuvalo appeared"
sleep 2 # past the start-up work
# The runner waits on wine, which becomes the game's own process: measure that.
process=$(pgrep -P "$game" | head -n 1) || fail "cannot find the game's process"

cpu_ticks() { # pid -> user + system time in clock ticks
    awk '{ print $14 + $15 }' "/proc/$1/stat"
}
measure() { # label, while a command runs for $seconds
    local label=$1 g0 x0 t0 g1 x1 t1
    shift
    g0=$(cpu_ticks "$process") x0=$(cpu_ticks "$xvfb_pid") t0=$(date +%s.%N)
    "$@"
    g1=$(cpu_ticks "$process") x1=$(cpu_ticks "$xvfb_pid") t1=$(date +%s.%N)
    awk -v l="$label" -v g="$((g1 - g0))" -v x="$((x1 - x0))" -v t0="$t0" -v t1="$t1" \
        -v hz="$(getconf CLK_TCK)" 'BEGIN {
            s = t1 - t0
            printf "%-8s over %.1f s: game %.2f %% of a core, X server %.2f %%\n",
                   l, s, 100 * g / hz / s, 100 * x / hz / s }'
}
keep_playing() {
    local end=$((SECONDS + seconds))
    while ((SECONDS < end)); do
        xdotool key --window "$window" space
        sleep 0.5
    done
}

xdotool mousemove --window "$window" 100 300
timeout 5 xdotool windowfocus --sync "$window" || fail "cannot focus the game's window"
measure halted sleep "$seconds"
measure playing keep_playing
xdotool key Escape
wait_exit "$game" 30 || true
