#!/usr/bin/env bash
# Without a display the game says so on stderr and ends with a non-zero code,
# both when X11 is asked for and when SDL is left to choose (it would fall
# back to drawing off screen), and it claims no display lock on the way.
set -uo pipefail
game=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -m 700 "$work/runtime"

# Without XDG_RUNTIME_DIR as well, libwayland would add a line of its own.
for driver in x11 "" no-runtime-dir; do
    echo "== ${driver:-SDL_VIDEODRIVER unset}"
    runtime=("XDG_RUNTIME_DIR=$work/runtime")
    case $driver in
    "") choice=(-u SDL_VIDEODRIVER) ;;
    no-runtime-dir) choice=(-u SDL_VIDEODRIVER) runtime=(-u XDG_RUNTIME_DIR) ;;
    *) choice=("SDL_VIDEODRIVER=$driver") ;;
    esac
    env -u DISPLAY -u WAYLAND_DISPLAY "${choice[@]}" "${runtime[@]}" SDL_AUDIODRIVER=dummy \
        timeout 20 "$game" 2>"$work/err" >/dev/null
    rc=$?
    cat "$work/err"
    if ((rc == 0 || rc == 124)); then
        echo "FAIL: exit code $rc" >&2
        exit 1
    fi
    grep -q "cannot open a display" "$work/err" || { echo "FAIL: no message on stderr" >&2; exit 1; }
    (($(wc -l <"$work/err") == 1)) || { echo "FAIL: more than the game's one line on stderr" >&2; exit 1; }
    if [[ -n $(ls -A "$work/runtime") ]]; then
        echo "FAIL: a lock was left behind: $(ls -A "$work/runtime")" >&2
        exit 1
    fi
done
echo "PASS"
