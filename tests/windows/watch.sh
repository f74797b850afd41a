#!/usr/bin/env bash
# nuvalo.exe --replay under wine in a private Xvfb display: a record the
# simulator made plays to its end in a window beside a running game, says its
# verdict on standard output, saves a clip of its last 10 seconds beside the
# program on G, keeps nothing else and closes on Escape; a damaged record is
# refused with its reason and exit 2.
#   tests/windows/watch.sh NUVALO_EXE NUVALO_SIM_EXE TON_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/windows/xvfb.sh
source "$here/xvfb.sh"

[[ $# -eq 3 ]] || fail "usage: $0 NUVALO_EXE NUVALO_SIM_EXE TON_DIR"
exe=$(realpath "$1") sim=$(realpath "$2") ton=$(realpath "$3")
need windows wine Xvfb xdotool
wine_run=$here/wine-run.sh

work=$(mktemp -d "${TMPDIR:-/tmp}/nuvalo-watch.XXXXXX")
keep_work_on_failure "$work" "the outputs and wine's messages"
mkdir -p "$work/game" "$work/sim" "$work/elsewhere"
cp "$exe" "$work/game/nuvalo.exe"
cp -r "$ton" "$work/game/Ton"
start_xvfb

# The record: a run started and left to crash.
(cd "$work/sim" && printf 'keyup 32\ntimer 2000\n' |
    "$wine_run" "$sim" --seed 5 --quiet --runs runs >/dev/null 2>>"$work/wine.log") ||
    fail "the simulator made no record"
cp "$work/sim/runs/1.nuvrun" "$work/elsewhere/run.nuvrun" || fail "the simulator wrote no record"
score=$("$wine_run" "$sim" --replay "$work/elsewhere/run.nuvrun" 2>>"$work/wine.log" |
    tr -d '\r' | tail -n 1 | sed -n 's/.*"verified":true,.*"score":\([0-9]*\).*/\1/p')
[[ -n $score ]] || fail "the simulator does not verify its own record"
echo "the record scores $score"

(cd "$work/game" && exec "$wine_run" nuvalo.exe 2>>"$work/wine.log") &
game=$!
started_pids+=("$game")
window=$(wait_for_windows 1 60) || fail "no game window appeared"

# Started from another folder, by a relative path, as Explorer might.
(cd "$work/elsewhere" && exec "$wine_run" "$work/game/nuvalo.exe" --replay run.nuvrun \
    >"$work/watch.out" 2>"$work/watch.err") &
watcher=$!
started_pids+=("$watcher")
watched=""
for ((i = 0; i < 600; i++)); do
    watched=$(xdotool search --onlyvisible --name '^Nuvalo - watching a run$' 2>/dev/null | head -n 1 || true)
    [[ -z $watched ]] || break
    sleep 0.1
done
[[ -n $watched ]] || fail "no window watching the run appeared beside the game"
# The run lasts a few seconds; a busy machine may take many more.
for ((i = 0; i < 1200; i++)); do
    [[ ! -s $work/watch.out ]] || break
    kill -0 "$watcher" 2>/dev/null || fail "the watch ended before its run did"
    sleep 0.1
done
verdict=$(tr -d '\r' <"$work/watch.out")
[[ $verdict == "verified: $score points" ]] || fail "the watch said '$verdict', not 'verified: $score points'"
kill -0 "$watcher" 2>/dev/null || fail "the window did not stay open at the run's end"
echo "the watch said: $verdict"

xdotool mousemove --window "$watched" 100 300
timeout 5 xdotool windowfocus --sync "$watched" || fail "cannot focus the watch"
sleep 0.2
xdotool key g
saved() { grep -qE $'^saved nuvalo-clip-1\\.gif\r?$' "$work/watch.out"; }
# The imaging component takes seconds for a clip, under wine many more.
for ((i = 0; i < 1800; i++)); do
    ! saved || break
    kill -0 "$watcher" 2>/dev/null || fail "the watch ended while making a clip"
    sleep 0.1
done
saved || fail "no clip was saved: $(cat "$work/watch.err")"
[[ $(head -c 6 "$work/game/nuvalo-clip-1.gif") == GIF89a ]] || fail "the clip is not a GIF file"
xdotool search --name '^Nuvalo - watching a run - saved nuvalo-clip-1\.gif$' >/dev/null ||
    fail "the title does not name the clip"
echo "the watch saved a clip beside the program"

xdotool key Escape
wait_exit "$watcher" 30 || fail "the watch did not end on Escape"
((rc == 0)) || fail "Escape ended the watch with $rc"
kept=$(cd "$work" && ls game/save.dat game/*.nuvrun elsewhere/save.dat elsewhere/last.nuvrun \
    elsewhere/best.nuvrun 2>/dev/null || true)
[[ -z $kept ]] || fail "the watch kept $kept"
kill -0 "$game" 2>/dev/null || fail "the game ended with the watch"

cp "$work/elsewhere/run.nuvrun" "$work/elsewhere/damaged.nuvrun"
printf '\377' | dd of="$work/elsewhere/damaged.nuvrun" bs=1 seek=12 conv=notrunc 2>/dev/null
(cd "$work/elsewhere" && exec "$wine_run" "$work/game/nuvalo.exe" --replay damaged.nuvrun \
    >/dev/null 2>"$work/damaged.err") &
damaged=$!
started_pids+=("$damaged")
# Its message box: a second window titled Nuvalo.
windows=$(wait_for_windows 2 60) || fail "the damaged record showed no message"
notice=$(grep -vx "$window" <<<"$windows")
xdotool mousemove --window "$notice" 10 10
timeout 5 xdotool windowfocus --sync "$notice" || fail "cannot focus the message"
sleep 0.2
xdotool key Return
wait_exit "$damaged" 30 || fail "the refusal did not end after its message"
((rc == 2)) || fail "a damaged record ended with $rc, not 2"
grep -q "^nuvalo: damaged: its checksum does not match" "$work/damaged.err" ||
    fail "no reason on stderr: $(cat "$work/damaged.err")"
echo "a damaged record: exit 2, $(head -n 1 "$work/damaged.err")"
echo "PASS"
