#!/usr/bin/env bash
# Watches a recorded run with the real game on a private X server: a record
# the simulator made plays to its end in a window beside a running game, says
# its verdict on standard output, saves a clip of its last 10 seconds on G
# (and writes nothing else into its folder) and closes on Escape; a damaged
# record is refused with its reason and exit 2.
#
#   watch_under_xvfb.sh NUVALO NUVALO_SIM SHOTS_DIR
#
# Exit 0 when every step passed, 77 when no X server can be started here (the
# test is then skipped), 1 on a failed step.
set -uo pipefail
# shellcheck source=tests/support/x11.sh
source "$(dirname "${BASH_SOURCE[0]}")/../support/x11.sh"

game=$1
sim=$2
shots=$3

skip() {
    echo "SKIP: $*"
    exit 77
}
fail() {
    echo "FAIL: $*" >&2
    for f in "$work"/*.err "$work"/*.out; do
        [[ -s $f ]] && { echo "--- $(basename "$f")" >&2; cat "$f" >&2; }
    done
    exit 1
}
step() { echo "== $*"; }

command -v Xvfb >/dev/null || skip "Xvfb is not installed"
need test xdotool xwininfo import convert identify

mkdir -p "$shots"
work=$(mktemp -d "$(cd "$shots/.." && pwd)/watch-run.XXXXXX")
started=()
cleanup() {
    local p
    for p in "${started[@]}"; do
        kill "$p" 2>/dev/null
    done
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

xvfb_start 800x600x24 "$work/xvfb.log"
ok=$?
started+=("$xvfb_pid")
((ok == 0)) || skip "Xvfb does not start here: $(tail -n 1 "$work/xvfb.log")"
export SDL_AUDIODRIVER=dummy SDL_VIDEODRIVER=x11
export LSAN_OPTIONS="suppressions=$(cd "$(dirname "$0")" && pwd)/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
unset WAYLAND_DISPLAY GDK_SCALE QT_SCALE_FACTOR
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
mkdir -p "$work/sim" "$work/game" "$work/watch"

step "a record from the simulator: a run started and left to crash"
(cd "$work/sim" && printf 'keyup 32\ntimer 2000\n' | "$sim" --seed 5 --quiet --runs runs >/dev/null) ||
    fail "the simulator made no record"
record=$work/sim/runs/1.nuvrun
[[ -s $record ]] || fail "no record at $record"
score=$("$sim" --replay "$record" | tail -n 1 | sed -n 's/.*"verified":true,.*"score":\([0-9]*\).*/\1/p')
[[ -n $score ]] || fail "the simulator does not verify its own record"
echo "the record scores $score"

step "a game holds the display"
(cd "$work/game" && exec "$game" >"$work/game.out" 2>"$work/game.err") &
first=$!
started+=("$first")
window=$(timeout 15 xdotool search --sync --onlyvisible --name '^Nuvalo$' | head -n 1)
[[ -n $window ]] || fail "no game window appeared"

step "the record plays to its end beside it"
(cd "$work/watch" && exec "$game" --replay "$record" >"$work/watch.out" 2>"$work/watch.err") &
watcher=$!
started+=("$watcher")
watched=$(timeout 15 xdotool search --sync --onlyvisible --name '^Nuvalo - watching a run$' | head -n 1)
[[ -n $watched ]] || fail "no window watching the run appeared"
# The run lasts a few seconds; a busy machine may take many more.
for ((i = 0; i < 1200; i++)); do
    [[ -s $work/watch.out ]] && break
    kill -0 "$watcher" 2>/dev/null || fail "the watch ended before its run did"
    sleep 0.1
done
[[ $(cat "$work/watch.out") == "verified: $score points" ]] ||
    fail "the watch said '$(cat "$work/watch.out")', not 'verified: $score points'"
import -window "$watched" -depth 8 "ppm:$work/end.ppm" 2>/dev/null &&
    convert "$work/end.ppm" "$shots/watch-end.png" 2>/dev/null
kill -0 "$watcher" 2>/dev/null || fail "the window did not stay open at the run's end"

step "G saves the last 10 seconds as a clip beside the runs"
timeout 5 xdotool windowfocus --sync "$watched" || fail "cannot focus the watch"
xdotool key g
clip=$work/watch/nuvalo-clip-1.gif
for ((i = 0; i < 1200; i++)); do
    grep -qx "saved nuvalo-clip-1.gif" "$work/watch.out" && break
    kill -0 "$watcher" 2>/dev/null || fail "the watch ended while making a clip"
    sleep 0.1
done
grep -qx "saved nuvalo-clip-1.gif" "$work/watch.out" || fail "no clip was saved"
[[ $(head -c 6 "$clip") == GIF89a ]] || fail "$clip is not a GIF file"
frames=$(identify "$clip" | wc -l)
((frames == 500)) || fail "the clip has $frames frames, not 500"
xdotool search --name '^Nuvalo - watching a run - saved nuvalo-clip-1\.gif$' >/dev/null ||
    fail "the title does not name the clip"

step "Escape closes the watch, which kept nothing else"
xdotool key Escape
wait_exit "$watcher" 10 || fail "the watch did not end on Escape"
((rc == 0)) || fail "the watch ended with $rc, not 0"
[[ $(ls -A "$work/watch") == nuvalo-clip-1.gif ]] ||
    fail "the watch wrote into its folder: $(ls -A "$work/watch")"
(($(grep -c verified "$work/watch.out") == 1)) || fail "the verdict was written more than once"
rm "$clip"
kill -0 "$first" 2>/dev/null || fail "the game ended with the watch"

step "a damaged record is refused with its reason"
cp "$record" "$work/damaged.nuvrun"
printf '\377' | dd of="$work/damaged.nuvrun" bs=1 seek=12 conv=notrunc 2>/dev/null
(cd "$work/watch" && exec "$game" --replay "$work/damaged.nuvrun" >"$work/damaged.out" 2>"$work/damaged.err") &
damaged=$!
started+=("$damaged")
# Its notice: a window titled Nuvalo other than the game's.
notice=""
for ((i = 0; i < 150; i++)); do
    kill -0 "$damaged" 2>/dev/null || break
    for id in $(xdotool search --onlyvisible --name '^Nuvalo$' 2>/dev/null); do
        ((id != window)) && notice=$id
    done
    [[ -z $notice ]] || break
    sleep 0.1
done
[[ -n $notice ]] || fail "the damaged record showed no notice"
timeout 5 xdotool windowfocus --sync "$notice" || true
xdotool key Return
wait_exit "$damaged" 10 || fail "the refusal did not end after its notice"
((rc == 2)) || fail "a damaged record ended with $rc, not 2"
grep -qx "nuvalo: damaged: its checksum does not match" "$work/damaged.err" ||
    fail "no reason on stderr"
[[ -z $(ls -A "$work/watch") ]] || fail "the refusal wrote into its folder"

kill -TERM "$first"
wait_exit "$first" 5 || fail "the game did not end when asked to"
echo "PASS"
