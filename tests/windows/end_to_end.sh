#!/usr/bin/env bash
# End-to-end test of nuvalo.exe under wine in a private Xvfb display:
# the halted first frame, Space and Escape let go in the game's window after a
# press in another starting nothing, Space and Left through the real keyboard
# path, Left let go after the focus moved to another window, the
# single-instance guard, and Escape ending the program with exit code 0.
#   tests/windows/end_to_end.sh NUVALO_EXE HALTED_FRAME_TOOL TON_DIR
# Screenshots are kept in $NUVALO_E2E_OUT (default: a folder under /tmp) for
# a look after a failure.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/windows/xvfb.sh
source "$here/xvfb.sh"

[[ $# -eq 3 ]] || fail "usage: $0 NUVALO_EXE HALTED_FRAME_TOOL TON_DIR"
exe=$(realpath "$1") reference_tool=$(realpath "$2") ton=$(realpath "$3")
need windows wine Xvfb xdotool xwininfo xmessage import compare convert
wine_run=$here/wine-run.sh

work=$(mktemp -d "${TMPDIR:-/tmp}/nuvalo-e2e.XXXXXX")
out=${NUVALO_E2E_OUT:-$work/shots}
mkdir -p "$out" "$work/game" "$work/reference"
keep_work_on_failure "$work" "screenshots and wine's messages"
# The game as it is unpacked from the zip: the program with "Ton" beside it.
cp "$exe" "$work/game/nuvalo.exe"
cp -r "$ton" "$work/game/Ton"

start_xvfb
echo "display $DISPLAY, work folder $work"

# The reference: the same rules and renderer compose the halted frame.
# Wine's own messages (and those of the desktop process it starts for the
# display) go to a log rather than into the test's output.
(cd "$work/reference" && "$wine_run" "$reference_tool" halted.png 2>>"$work/wine.log") ||
    fail "the reference frame could not be composed"

shot() { # window file
    timeout 20 import -window "$1" "png24:$2" 2>/dev/null
}
differing_pixels() { # a b  -> number of pixels that differ
    # compare exits with 1 when the pictures differ, which is no error here.
    { compare -metric AE "$1" "$2" null: 2>&1 >/dev/null || true; } | sed 's/[^0-9].*//'
}

(cd "$work/game" && exec "$wine_run" nuvalo.exe 2>>"$work/wine.log") &
first=$!
started_pids+=("$first")
window=$(wait_for_windows 1 60) || fail "no window named Nuvalo appeared"
echo "window $window"

# The halted first frame, once it has been painted: a busy machine can take
# seconds over a cold wine's first paint, so look again for a while.
for ((i = 0; i < 20; i++)); do
    sleep 0.5
    shot "$window" "$out/halted.png"
    diff_halted=$(differing_pixels "$out/halted.png" "$work/reference/halted.png")
    [[ $diff_halted != 0 ]] || break
done
[[ $diff_halted == 0 ]] ||
    fail "halted frame differs from the composed reference in $diff_halted pixels (see $out)"
geometry=$(xwininfo -id "$window")
width=$(awk '/Width:/ { print $2 }' <<<"$geometry")
height=$(awk '/Height:/ { print $2 }' <<<"$geometry")
[[ $width == 600 && $height == 450 ]] || fail "client area is ${width}x${height}, not 600x450"
echo "halted frame matches the reference"

# Another program's window to take the focus, beside the game.
xmessage -geometry 200x80+700+100 other 2>>"$work/wine.log" &
started_pids+=("$!")
other=""
for ((i = 0; i < 100; i++)); do
    other=$(xdotool search --onlyvisible --name '^xmessage$' 2>/dev/null | head -n 1 || true)
    [[ -z $other ]] || break
    sleep 0.1
done
[[ -n $other ]] || fail "no other window to move the focus to"

# Space and then Escape pressed over the other window and let go over the
# game's: the game never saw the presses, so the releases start no run and do
# not quit. No window has been given the focus yet, so keys go to the window
# under the pointer and wine keeps the game's window active all along. The
# frame stays the halted one while the game takes in the first; the run
# started below shows that the game outlived the second.
stray_release() { # key
    xdotool mousemove --sync --window "$other" 20 20
    xdotool keydown "$1"
    xdotool mousemove --sync --window "$window" 100 300
    xdotool keyup "$1"
}
stray_release space
for ((i = 0; i < 5; i++)); do
    sleep 0.3
    shot "$window" "$out/stray.png" || fail "no game window after Space was let go in it"
    stray=$(differing_pixels "$out/stray.png" "$work/reference/halted.png")
    [[ $stray == 0 ]] ||
        fail "Space let go after a press elsewhere changed the halted frame in $stray pixels"
done
stray_release Escape

# Keys go to the window under the pointer (there is no window manager);
# focusing the game's window explicitly lets wine see when it loses the focus.
xdotool mousemove --window "$window" 100 300
timeout 5 xdotool windowfocus --sync "$window" || fail "cannot focus the game's window"
sleep 0.2
# The star (its brightest pixels are pure white) stands at y 80 once the run
# is under way; steering left moves it from its start column x 200.
star_column() { # shot -> the star's mean x, -1 when there is none
    convert "$1" -crop 400x40+0+60 +repage txt:- |
        awk -F'[,:]' '/#FFFFFF/ { sum += $1; n++ } END { if (n) printf "%d", sum / n; else print -1 }'
}
xdotool keydown space keyup space
xdotool keydown Left
# Held until the star has turned: a busy machine gives wine its ticks late,
# so the time that takes is not the test.
for ((i = 0; i < 150; i++)); do
    shot "$window" "$out/playing-1.png" ||
        fail "the game's window went before its run started (on the Escape let go above?)"
    star_x=$(star_column "$out/playing-1.png")
    ((star_x >= 0 && star_x < 185)) && break
    sleep 0.1
done
# Left let go in the other window: the game never sees that release.
timeout 5 xdotool windowfocus --sync "$other" || fail "cannot focus the other window"
xdotool keyup Left

moved=$(differing_pixels "$out/halted.png" "$out/playing-1.png")
((moved > 100)) || fail "Space did not start a run: only $moved pixels changed"
((star_x >= 0)) || fail "no star found in the playfield"
((star_x < 185)) || fail "holding Left did not steer the star left in 15 s (x $star_x)"
echo "run started, star steered left to x $star_x"
# Once the game has seen the focus go, the star stands still: two looks a
# third of a second apart agree. Turning on unseen, it would reach the wall
# (x 12) within a second, so it must stop well short of that; no stone has
# risen to the star yet.
for ((i = 0; i < 30; i++)); do
    shot "$window" "$out/playing-2.png"
    sleep 0.3
    shot "$window" "$out/playing-3.png"
    stopped_x=$(star_column "$out/playing-2.png") later_x=$(star_column "$out/playing-3.png")
    ((stopped_x >= 0 && stopped_x == later_x)) && break
done
ticking=$(differing_pixels "$out/playing-2.png" "$out/playing-3.png")
((ticking > 0)) || fail "the frame stood still during a run"
((stopped_x >= 40 && stopped_x == later_x)) ||
    fail "the star kept turning after the focus moved away (x $stopped_x, then $later_x)"
echo "focus moved away with Left held: the star stopped at x $stopped_x"

# A second copy finds the first, shows its notice once and leaves with 0.
# Wine's message-box trace shows the text the box was given, as UTF-16 code
# units: 多重起動を確認しました.
(cd "$work/game" && NUVALO_WINEDEBUG=-all,trace+msgbox exec "$wine_run" nuvalo.exe \
    2>"$work/second.log") &
second=$!
started_pids+=("$second")
windows=$(wait_for_windows 2 60) || fail "the second copy showed no notice"
notice=$(grep -vx "$window" <<<"$windows")
shot "$notice" "$out/notice.png"
xdotool mousemove --window "$notice" 10 10
timeout 5 xdotool windowfocus --sync "$notice" || fail "cannot focus the notice"
sleep 0.2
xdotool key Return
wait_exit "$second" 30 || fail "the second copy did not end after its notice"
((rc == 0)) || fail "the second copy exited with $rc"
notices=$(grep -c 'L"\\591a\\91cd\\8d77\\52d5\\3092\\78ba\\8a8d\\3057\\307e\\3057\\305f"' \
    "$work/second.log" || true)
[[ $notices == 1 ]] || fail "the notice was shown $notices times, not once with the Japanese text"
kill -0 "$first" 2>/dev/null || fail "the first copy ended with the second"
wait_for_windows 1 10 >/dev/null || fail "windows left over after the notice"
echo "second copy refused with exit code 0; first copy still running"

# Escape, on release, closes the game with exit code 0.
xdotool mousemove --window "$window" 100 300
timeout 5 xdotool windowfocus --sync "$window" || fail "cannot focus the game's window"
sleep 0.2
xdotool key Escape
wait_exit "$first" 30 || fail "the game did not end on Escape"
((rc == 0)) || fail "Escape ended the game with $rc"
echo "Escape closed the game with exit code 0"
echo "PASS"
