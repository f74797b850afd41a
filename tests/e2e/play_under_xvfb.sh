#!/usr/bin/env bash
# Plays the real game on a private X server, as a player would: looks at the
# opening frame, lets go in the game of a Space pressed in another window
# (which starts nothing), starts a run with Space, steers left, starts a
# second copy, and quits with Escape; then opens at twice the size on a
# desktop scaled to 200 % and starts a run with a click; then plays once
# without a sound device and is ended by the session (SIGTERM).
#
#   play_under_xvfb.sh NUVALO CHECKER SOUNDS_DIR SHOTS_DIR
#
# Exit 0 when every step passed, 77 when no X server can be started here (the
# test is then skipped), 1 on a failed step. Screenshots stay in SHOTS_DIR.
set -uo pipefail
# shellcheck source=tests/support/x11.sh
source "$(dirname "${BASH_SOURCE[0]}")/../support/x11.sh"

game=$1
checker=$2
sounds=$3
shots=$4

skip() {
    echo "SKIP: $*"
    exit 77
}
fail() {
    echo "FAIL: $*" >&2
    for f in "$work"/*.err; do
        [[ -s $f ]] && { echo "--- $(basename "$f")" >&2; cat "$f" >&2; }
    done
    exit 1
}
step() { echo "== $*"; }

command -v Xvfb >/dev/null || skip "Xvfb is not installed"
need test xdotool xwininfo xmessage import convert

# Scratch space beside the screenshots, in the build tree, where nothing else
# tidies up behind our back.
mkdir -p "$shots"
work=$(mktemp -d "$(cd "$shots/.." && pwd)/e2e-run.XXXXXX")
started=()
cleanup() {
    local p
    for p in "${started[@]}"; do
        pkill -P "$p" 2>/dev/null
        kill "$p" 2>/dev/null
    done
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$shots"
rm -f "$shots"/*.png

# A private X server on the first free display number.
# Large enough for the frame at twice its size.
xvfb_start 1600x1200x24 "$work/xvfb.log"
ok=$?
started+=("$xvfb_pid")
((ok == 0)) || skip "Xvfb does not start here: $(tail -n 1 "$work/xvfb.log")"

# The game as a player starts it: its own working directory holding "Ton",
# no sound device, this display only.
export SDL_AUDIODRIVER=dummy SDL_VIDEODRIVER=x11
# In the sanitizer build: what the system libraries keep to the end is theirs.
export LSAN_OPTIONS="suppressions=$(cd "$(dirname "$0")" && pwd)/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
unset WAYLAND_DISPLAY GDK_SCALE QT_SCALE_FACTOR
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
mkdir -p "$work/play/Ton" "$work/check"
cp "$sounds"/*.wav "$work/play/Ton/" 2>/dev/null || true
cd "$work/play" || fail "no working directory"

shot() { # window name
    import -window "$1" -depth 8 "ppm:$work/$2.ppm" 2>>"$work/import.err" || return 1
    convert "$work/$2.ppm" "$shots/$2.png" 2>>"$work/import.err"
}

check() { # mode name [scale]
    (cd "$work/check" && "$checker" "$1" "$work/$2.ppm" ${3:+"$3"})
}

step "start the game"
"$game" >"$work/first.out" 2>"$work/first.err" &
first=$!
started+=("$first")
window=$(timeout 15 xdotool search --sync --onlyvisible --name '^Nuvalo$' | head -n 1)
[[ -n $window ]] || fail "no window titled Nuvalo appeared"
geometry=$(xdotool getwindowgeometry "$window" | sed -n 's/.*Geometry: //p')
[[ $geometry == 600x450 ]] || fail "the window is $geometry, not 600x450"

step "the halted opening frame"
ok=0
for i in $(seq 30); do
    shot "$window" halted && check halted halted 2>"$work/check.err" && { ok=1; break; }
    sleep 0.1
done
((ok)) || { cat "$work/check.err" >&2; fail "the opening frame is not the halted first run"; }

step "Space pressed in another window and let go in the game starts nothing"
xmessage -geometry +0+0 -title Elsewhere "another window" >/dev/null 2>&1 &
other_pid=$!
started+=("$other_pid")
other=$(timeout 15 xdotool search --sync --onlyvisible --name '^Elsewhere$' | head -n 1)
[[ -n $other ]] || fail "no other window appeared"
timeout 5 xdotool windowfocus --sync "$other" || fail "cannot focus the other window"
xdotool keydown space
timeout 5 xdotool windowfocus --sync "$window" || fail "cannot focus the window"
xdotool keyup space
# The window loses its picture and gets it back from the game, which reads
# the request after the release: the frame it then shows is the halted one.
xdotool windowunmap --sync "$window" windowmap --sync "$window"
ok=0
for i in $(seq 30); do
    shot "$window" stray-space && check halted stray-space 2>"$work/check.err" && { ok=1; break; }
    sleep 0.1
done
((ok)) || { cat "$work/check.err" >&2; fail "a Space pressed elsewhere started a run"; }
kill "$other_pid" 2>/dev/null

step "Space starts a run"
timeout 5 xdotool windowfocus --sync "$window" || fail "cannot focus the window"
xdotool keydown space
sleep 0.05
xdotool keyup space
ok=0
for i in $(seq 30); do
    shot "$window" playing && check playing playing 2>"$work/check.err" && { ok=1; break; }
    sleep 0.1
done
((ok)) || { cat "$work/check.err" >&2; fail "no run started: speed or button unchanged"; }

step "holding Left moves the star"
before=""
for i in $(seq 20); do
    shot "$window" star-before && before=$(check star star-before 2>/dev/null) && break
    sleep 0.05
done
[[ -n $before ]] || fail "the star did not fall into view"
read -r x1 _ <<<"$before"
xdotool keydown Left
# Held until the star has gone 30 pixels left: a busy machine gives the game
# its ticks late, so the time this takes is not the test.
for i in $(seq 150); do
    shot "$window" star-after
    after=$(check star star-after 2>"$work/check.err") || { cat "$work/check.err" >&2; xdotool keyup Left; fail "the star is gone while steering"; }
    read -r x2 _ <<<"$after"
    ((x2 <= x1 - 30)) && break
    sleep 0.1
done
xdotool keyup Left
echo "star x $x1 -> $x2"
((x2 <= x1 - 30)) || fail "the star did not move 30 pixels left in 15 s of holding Left (x $x1 -> $x2)"

step "a second copy is refused"
# Starts a second copy with the given environment and looks for its notice,
# a window titled Nuvalo other than $window; its pid in $second, the notice
# (or nothing) in $notice.
second_copy() { # name [VAR=value...]
    local name=$1
    shift
    env "$@" "$game" >"$work/$name.out" 2>"$work/$name.err" &
    second=$!
    started+=("$second")
    notice=""
    for i in $(seq 100); do
        kill -0 "$second" 2>/dev/null || break
        for id in $(xwininfo -root -children 2>/dev/null | awk '/"Nuvalo"/ { print $1 }'); do
            (($(printf '%d' "$id") != window)) && notice=$id
        done
        [[ -n $notice ]] && break
        sleep 0.1
    done
}
second_copy second
if [[ -n $notice ]]; then
    sleep 0.3
    shot "$notice" notice || true
    timeout 5 xdotool windowfocus --sync "$notice" || true
    xdotool key Return
else
    grep -q "多重起動を確認しました" "$work/second.err" ||
        fail "the second copy showed no notice"
fi
wait_exit "$second" 10 || fail "the second copy did not end after its notice"
((rc == 0)) || fail "the second copy ended with $rc, not 0"
kill -0 "$first" 2>/dev/null || fail "the first copy ended too"
shot "$window" after-second && check playing after-second 2>"$work/check.err" ||
    fail "the first copy no longer shows its run"

step "Escape ends the game"
timeout 5 xdotool windowfocus --sync "$window" || fail "cannot focus the window"
xdotool key Escape
wait_exit "$first" 5 || fail "the game did not end on Escape"
((rc == 0)) || fail "the game ended with $rc, not 0"

step "on a desktop scaled to 200 %"
GDK_SCALE=2 "$game" >"$work/scaled.out" 2>"$work/scaled.err" &
scaled=$!
started+=("$scaled")
window=$(timeout 15 xdotool search --sync --onlyvisible --name '^Nuvalo$' | head -n 1)
[[ -n $window ]] || fail "no window at 200 %"
geometry=$(xdotool getwindowgeometry "$window" | sed -n 's/.*Geometry: //p')
[[ $geometry == 1200x900 ]] || fail "the window at 200 % is $geometry, not 1200x900"
ok=0
for i in $(seq 30); do
    shot "$window" halted-2x && check halted halted-2x 2 2>"$work/check.err" && { ok=1; break; }
    sleep 0.1
done
((ok)) || { cat "$work/check.err" >&2; fail "the opening frame at 200 % is not the halted frame doubled"; }
# The start button's far corner (540, 70) in frame pixels.
xdotool mousemove --window "$window" 1081 141 click 1
ok=0
for i in $(seq 30); do
    shot "$window" playing-2x && check playing playing-2x 2 2>"$work/check.err" && { ok=1; break; }
    sleep 0.1
done
((ok)) || { cat "$work/check.err" >&2; fail "a click on the button at 200 % started no run"; }
# A second copy's notice at the same factor: 224 x 106 at 100 %.
second_copy second-2x GDK_SCALE=2
[[ -n $notice ]] || fail "no notice from a second copy at 200 %"
geometry=""
for i in $(seq 50); do
    geometry=$(xdotool getwindowgeometry "$notice" 2>/dev/null | sed -n 's/.*Geometry: //p')
    [[ $geometry == 448x212 ]] && break
    sleep 0.1
done
[[ $geometry == 448x212 ]] || fail "the notice at 200 % is $geometry, not 448x212"
timeout 5 xdotool windowfocus --sync "$notice" || true
xdotool key Return
wait_exit "$second" 10 || fail "the second copy at 200 % did not end after its notice"
((rc == 0)) || fail "the second copy at 200 % ended with $rc, not 0"
kill -TERM "$scaled"
wait_exit "$scaled" 5 || fail "the game at 200 % did not end when asked to"

step "without sound, and ended by the session"
# ALSA asked for a card that is not there writes its own lines while SDL
# looks; the player sees the game's one line.
SDL_AUDIODRIVER=alsa AUDIODEV=hw:99 "$game" >"$work/third.out" 2>"$work/third.err" &
third=$!
started+=("$third")
window=$(timeout 15 xdotool search --sync --onlyvisible --name '^Nuvalo$' | head -n 1)
[[ -n $window ]] || fail "no window without a sound device"
shot "$window" silent && check halted silent 2>"$work/check.err" || fail "no opening frame without sound"
lines=$(wc -l <"$work/third.err")
((lines == 1)) && grep -q "no sound" "$work/third.err" ||
    fail "expected one line about the missing sound device, got $lines: $(cat "$work/third.err")"
kill -TERM "$third"
wait_exit "$third" 5 || fail "the game did not end when asked to by the session"
((rc == 0)) || fail "the game ended with $rc on SIGTERM, not 0"
echo "PASS"
