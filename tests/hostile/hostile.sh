#!/usr/bin/env bash
# The desktop game in hostile surroundings. Where the game can run at all,
# each case plays a whole run on a private X server (Space, the star falls
# untouched until it hits, the crash, the tally, the save) and checks that
# the game goes on (Space starts the next run) and ends with 0 on Escape:
#
#   clock-zero       the clock reads 0 (1970-01-01)
#   clock-negative   the clock reads -2 (before 1970)
#   no-ton           no "Ton" folder: the default sound plays instead
#   bad-wavs         "Ton" holds no WAV, a truncated one, a header without its
#                    samples and a named pipe: none may hang or stop the game
#   no-sound-device  no audio device: one line on stderr, the game plays on
#   unwritable-dir   a working folder the player may not write: the game
#                    plays, the old save.dat stays, nothing is created
#   no-runtime-dir   XDG_RUNTIME_DIR names a missing folder
#   no-display       no display, a display without a server: a clear message
#                    and a non-zero exit; SDL's dummy video: runs headless and
#                    ends with 0 when the session ends it
#
# The clock is set through a preloaded time() (fake_time.c), and the runs
# are made deterministic by it: every saved score must be the one nuvalo-sim
# computes for the same seed, which proves the game read that clock.
#
#   hostile.sh NUVALO NUVALO_SIM FAKE_TIME_LIB SOUNDS_DIR WORK_DIR
#
# Exit 0 when every case passed (a case that cannot run here says why), 77
# when no X server can be started here, 1 when a case failed.
set -uo pipefail

game=$1
sim=$2
faketime=$3
sounds=$4
base=$5
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/support/x11.sh
source "$here/../support/x11.sh"

command -v Xvfb >/dev/null || { echo "SKIP: Xvfb is not installed"; exit 77; }
need test xdotool import

rm -rf "$base"
mkdir -p "$base/results"
chmod 755 "$base"

export SDL_VIDEODRIVER=x11
export LSAN_OPTIONS="suppressions=$here/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
# The preloaded clock comes before the sanitizer's runtime in the sanitizer build.
export ASAN_OPTIONS="verify_asan_link_order=0${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
unset WAYLAND_DISPLAY

# The score an untouched run saves when the clock reads $1, per nuvalo-sim.
predict() {
    local t=$1 dir=$base/sim$1
    local seed=$(((t % 4294967296 + 4294967296) % 4294967296))
    mkdir -p "$dir"
    (cd "$dir" && {
        echo "keyup 32"
        for _ in $(seq 30); do echo "timer 100"; done
    } | "$sim" --seed "$seed" --quiet >/dev/null) || return 1
    cat "$dir/save.dat"
}

# --- One case, run in a subshell of its own ---------------------------------

name=""
dir=""
pids=()

result() { # PASS|FAIL|SKIP text
    echo "$1 $name: $2" >"$base/results/$name"
    [[ $1 == FAIL && -s $dir/err ]] && sed 's/^/    stderr: /' "$dir/err" | head -n 20 >>"$base/results/$name"
    exit 0
}
fail() { result FAIL "$*"; }

cleanup() {
    local p
    for p in "${pids[@]}"; do
        kill "$p" 2>/dev/null
    done
    wait 2>/dev/null
}

start_case() { # name
    name=$1
    dir=$base/$1
    mkdir -p "$dir/play" "$dir/runtime"
    chmod 700 "$dir/runtime"
    trap cleanup EXIT
}

start_x() {
    xvfb_start 800x600x24 "$dir/xvfb.log"
    local ok=$?
    pids+=("$xvfb_pid")
    ((ok == 0)) || result SKIP "Xvfb does not start here"
}

# The start button's top-left pixel: white while halted, gray during a run.
button() {
    import -window "$window" -crop 1x1+460+50 +repage -depth 8 txt:- 2>/dev/null |
        sed -n 's/.*#\([0-9A-Fa-f]\{6\}\).*/\1/p' | head -n 1
}

wait_button() { # colour tenths
    for _ in $(seq "$2"); do
        [[ $(button) == "$1" ]] && return 0
        sleep 0.1
    done
    return 1
}

launch() { # runs the game in $dir/play with the environment set up so far
    if [[ ${SDL_AUDIODRIVER-} == disk ]]; then
        # The game closes the sound device at rest and opens it again for the
        # next run, and the disk driver starts its file anew at every open.
        # Through a pipe held open for the game's whole life every open
        # appends instead, so the file keeps all that was played, however
        # late this script looks at it.
        (cd "$dir/play" && exec env "${clock[@]}" "$@" "$game" >"$dir/out" 2>"$dir/err" \
            9> >(exec cat >"$dir/audio.raw")) &
    else
        (cd "$dir/play" && exec env "${clock[@]}" "$@" "$game" >"$dir/out" 2>"$dir/err") &
    fi
    game_pid=$!
    pids+=("$game_pid")
    window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Nuvalo$' 2>/dev/null | head -n 1)
    [[ -n $window ]] || fail "no window appeared"
    wait_button FFFFFF 50 || fail "the opening frame shows no start button"
}

press_space() {
    for _ in 1 2 3; do
        timeout 5 xdotool windowfocus --sync "$window" 2>/dev/null
        xdotool keydown space
        sleep 0.05
        xdotool keyup space
        wait_button 808080 30 && return 0
    done
    fail "Space did not start a run"
}

# A whole untouched run: start, crash, tally; then the next run starts and
# Escape ends the game with 0.
play_run() {
    press_space
    wait_button FFFFFF 900 || fail "the run did not come to its complete result within 90 s"
    press_space
    timeout 5 xdotool windowfocus --sync "$window" 2>/dev/null
    xdotool key Escape
    wait_exit "$game_pid" 10 || fail "the game did not end on Escape"
    ((rc == 0)) || fail "the game ended with $rc, not 0"
}

expect_saved() { # score
    local saved
    saved=$(cat "$dir/play/save.dat" 2>/dev/null)
    [[ $saved == "$1" ]] || fail "save.dat holds '${saved}', expected '$1' from nuvalo-sim"
}

# Something other than silence reached the sound device during the game's
# life. The pipe's reader may still be writing the last of it out.
expect_audible() {
    for _ in $(seq 300); do
        (($(tr -d '\000' <"$dir/audio.raw" 2>/dev/null | head -c 1 | wc -c) == 1)) && return 0
        sleep 0.1
    done
    [[ -s $dir/audio.raw ]] || fail "no audio written in 30 s"
    fail "nothing was heard: the game's $(stat -c %s "$dir/audio.raw") bytes of sound were all silence"
}

# The game alone gets the clock: the tools that watch it keep the real one.
clock=()
with_clock() { # seconds
    clock=(LD_PRELOAD="$faketime" NUVALO_FAKE_TIME="$1")
}

full_ton() {
    mkdir -p "$dir/play/Ton"
    cp "$sounds"/*.wav "$dir/play/Ton/"
}

disk_audio() {
    export SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=/dev/fd/9 SDL_DISKAUDIODELAY=0
}

# --- The cases ---------------------------------------------------------------

case_clock_zero() {
    start_case clock-zero
    start_x
    full_ton
    disk_audio
    with_clock 0
    export XDG_RUNTIME_DIR=$dir/runtime
    launch
    play_run
    expect_saved "$score0"
    expect_audible
    result PASS "clock 0: a whole run, score $score0 as nuvalo-sim --seed 0 computes"
}

case_clock_negative() {
    start_case clock-negative
    start_x
    full_ton
    export SDL_AUDIODRIVER=dummy
    with_clock -2
    export XDG_RUNTIME_DIR=$dir/runtime
    launch
    play_run
    expect_saved "$score2"
    result PASS "clock -2: a whole run, score $score2 as nuvalo-sim --seed 4294967294 computes"
}

case_no_ton() {
    start_case no-ton
    start_x
    disk_audio
    with_clock 0
    export XDG_RUNTIME_DIR=$dir/runtime
    launch
    play_run
    expect_saved "$score0"
    expect_audible
    result PASS "no Ton folder: the default sound was heard, a whole run saved $score0"
}

case_bad_wavs() {
    start_case bad-wavs
    start_x
    mkdir -p "$dir/play/Ton"
    printf 'this is no sound\n' >"$dir/play/Ton/ball01.wav"
    local real
    real=$(ls "$sounds"/*.wav | head -n 1)
    head -c $(($(stat -c %s "$real") / 2)) "$real" >"$dir/play/Ton/button03.wav"
    head -c 44 "$real" >"$dir/play/Ton/magic01.wav"
    mkfifo "$dir/play/Ton/decide04.wav"
    disk_audio
    with_clock -2147483648
    export XDG_RUNTIME_DIR=$dir/runtime
    launch
    play_run
    expect_saved "$scoreMin"
    expect_audible
    result PASS "no WAV, half a WAV, a bare header, a named pipe: a whole run saved $scoreMin"
}

case_no_sound_device() {
    start_case no-sound-device
    start_x
    full_ton
    export SDL_AUDIODRIVER=no-such-driver
    with_clock 0
    export XDG_RUNTIME_DIR=$dir/runtime
    launch
    play_run
    expect_saved "$score0"
    local lines
    lines=$(grep -c "sound" "$dir/err")
    ((lines == 1)) || fail "expected one line about the sound device on stderr, got $lines"
    result PASS "no sound device: one line on stderr, a whole run saved $score0"
}

case_unwritable_dir() {
    start_case unwritable-dir
    full_ton
    printf '5\n' >"$dir/play/save.dat"
    local as=()
    if (($(id -u) == 0)); then
        id nobody >/dev/null 2>&1 || result SKIP "no user nobody to play as"
        command -v setpriv >/dev/null || result SKIP "setpriv is missing"
        as=(setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups)
        "${as[@]}" test -x "$dir/play" || result SKIP "the build folder is closed to nobody"
        chown nobody "$dir/runtime"
    else
        chmod 555 "$dir/play"
    fi
    "${as[@]}" test -w "$dir/play" && result SKIP "cannot make a folder unwritable for the player"
    start_x
    export SDL_AUDIODRIVER=dummy
    with_clock -1
    export XDG_RUNTIME_DIR=$dir/runtime
    local before
    before=$(ls -A "$dir/play" | tr '\n' ' ')
    launch "${as[@]}"
    play_run
    chmod 755 "$dir/play"
    [[ $(cat "$dir/play/save.dat") == 5 ]] || fail "the old save.dat changed"
    [[ $(ls -A "$dir/play" | tr '\n' ' ') == "$before" ]] ||
        fail "files appeared: $(ls -A "$dir/play" | tr '\n' ' ')"
    result PASS "unwritable folder: a whole run played, save.dat kept 5, nothing created"
}

case_no_runtime_dir() {
    start_case no-runtime-dir
    start_x
    full_ton
    export SDL_AUDIODRIVER=dummy
    with_clock 0
    export XDG_RUNTIME_DIR=$dir/missing/runtime
    launch
    play_run
    expect_saved "$score0"
    result PASS "XDG_RUNTIME_DIR missing: a whole run saved $score0"
}

case_no_display() {
    start_case no-display
    export SDL_AUDIODRIVER=dummy XDG_RUNTIME_DIR=$dir/runtime
    cd "$dir/play" || fail "no working folder"
    env -u DISPLAY timeout 20 "$game" >"$dir/out" 2>"$dir/err"
    rc=$?
    local unset=$rc
    ((rc != 0 && rc < 124)) || fail "without DISPLAY the game ended with $rc"
    grep -q "cannot open a display" "$dir/err" || fail "without DISPLAY no message on stderr"
    # A display number no server answers on.
    DISPLAY=:$((900 + RANDOM % 90)) timeout 20 "$game" >"$dir/out" 2>"$dir/err"
    rc=$?
    local dead=$rc
    ((rc != 0 && rc < 124)) || fail "with a dead display the game ended with $rc"
    grep -q "cannot open a display" "$dir/err" || fail "with a dead display no message on stderr"
    [[ ! -e $dir/play/save.dat ]] || fail "save.dat was written without a display"
    # SDL's dummy video: no window anyone can see, but the game runs.
    SDL_VIDEODRIVER=dummy "$game" >"$dir/out" 2>"$dir/err" &
    game_pid=$!
    pids+=("$game_pid")
    sleep 2
    kill -0 "$game_pid" 2>/dev/null || { wait "$game_pid"; fail "with dummy video the game ended with $?"; }
    kill -TERM "$game_pid"
    wait_exit "$game_pid" 5 || fail "with dummy video the game did not end on SIGTERM"
    ((rc == 0)) || fail "with dummy video the game ended with $rc on SIGTERM"
    result PASS "no display, a dead display: a message, exit $unset and $dead; dummy video: ran, ended with 0"
}

# --- Run them all at once, each with its own X server ------------------------

score0=$(predict 0) || { echo "FAIL: nuvalo-sim did not run" >&2; exit 1; }
score2=$(predict -2) || exit 1
scoreMin=$(predict -2147483648) || exit 1
[[ $score0 != "$score2" ]] || { echo "FAIL: the clocks chosen give the same run" >&2; exit 1; }

cases=(case_clock_zero case_clock_negative case_no_ton case_bad_wavs case_no_sound_device
    case_unwritable_dir case_no_runtime_dir case_no_display)
waiting=()
for c in "${cases[@]}"; do
    ("$c") &
    waiting+=($!)
done
for p in "${waiting[@]}"; do
    wait "$p"
done

status=0
skipped_x=0
for c in "${cases[@]}"; do
    n=${c#case_}
    n=${n//_/-}
    if [[ ! -s $base/results/$n ]]; then
        echo "FAIL $n: the case ended without a result"
        status=1
        continue
    fi
    cat "$base/results/$n"
    grep -q "^FAIL" "$base/results/$n" && status=1
    grep -q "^SKIP $n: Xvfb" "$base/results/$n" && skipped_x=$((skipped_x + 1))
done
((status == 0 && skipped_x > 0 && skipped_x == ${#cases[@]} - 1)) && exit 77
exit $status
