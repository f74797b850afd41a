#!/usr/bin/env bash
# Runs a Windows program under wine: the cross build's emulator for its tests.
#   tests/windows/wine-run.sh PROGRAM.exe [ARGS...]
#   tests/windows/wine-run.sh --prepare      only make the prefix, if missing
#   tests/windows/wine-run.sh --end-session  wait until the prefix's wine
#                                            session (wineserver) has ended
# Make the prefix before CTest starts (make test-windows does): CTest lists
# each test program's tests through here with a 5 s limit, too short for the
# first-time setup.
# The wine prefix is made once and then reused; NUVALO_WINEPREFIX (or
# WINEPREFIX) chooses where, by default in the user's cache folder.
set -euo pipefail

: "${NUVALO_WINEPREFIX:=${WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/nuvalo/wineprefix}}"
export WINEPREFIX=$NUVALO_WINEPREFIX
export WINEDEBUG=${NUVALO_WINEDEBUG:--all}
# No Mono or Gecko download prompts: the game needs neither.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

if [[ ${1-} == --end-session ]]; then
    # The server leaves a few seconds after its last program; bounded, in
    # case a program hangs.
    timeout "${2:-60}" wineserver -w 2>/dev/null
    exit
fi

wine_bin=$(command -v wine || true)
if [[ -z $wine_bin ]]; then
    echo "wine-run: wine is not installed (scripts/install-deps.sh windows)" >&2
    exit 127
fi

# Tests run in parallel; the first one makes the prefix while the others wait.
if [[ ! -f $WINEPREFIX/.nuvalo-ready ]]; then
    mkdir -p "$(dirname "$WINEPREFIX")"
    exec 9>"$WINEPREFIX.lock"
    flock 9
    if [[ ! -f $WINEPREFIX/.nuvalo-ready ]]; then
        started=$(date +%s.%N)
        "$wine_bin" wineboot -i >/dev/null 2>&1 </dev/null
        wineserver -w 2>/dev/null || true
        touch "$WINEPREFIX/.nuvalo-ready"
        awk -v a="$started" -v b="$(date +%s.%N)" \
            'BEGIN { printf "wine-run: made the wine prefix %s in %.1f s\n", ENVIRON["WINEPREFIX"], b - a }' >&2
    fi
    flock -u 9
    exec 9>&-
fi

if [[ ${1-} == --prepare ]]; then
    exit 0
fi

# Now and then, with several programs starting at once, the wine server drops
# a new program's connection before the program has run at all ("wine client
# error:0: recvmsg: Connection reset by peer"). That says nothing about the
# program, so it is started again, up to three times; anything else it writes
# or returns is passed on unchanged. Its error output is held back until it
# ends, so that a retried start leaves no trace in it.
errors=$(mktemp "${TMPDIR:-/tmp}/wine-run.XXXXXX")
trap 'rm -f "$errors"' EXIT
child=""
trap '[[ -z $child ]] || kill -TERM "$child" 2>/dev/null' TERM INT HUP
for attempt in 1 2 3; do
    # Explicit, or a program started in the background would read nothing.
    "$wine_bin" "$@" <&0 2>"$errors" &
    child=$!
    status=0
    wait "$child" || status=$?
    # A signal to this script stops the program too; wait for its real end.
    while kill -0 "$child" 2>/dev/null; do
        status=0
        wait "$child" || status=$?
    done
    child=""
    if ((status == 0 || attempt == 3)) || ! grep -q '^wine client error:' "$errors"; then
        break
    fi
    echo "wine-run: attempt $attempt of $*: $(head -n 1 "$errors")" >>"$WINEPREFIX.retries.log"
    sleep 0.5
done
cat "$errors" >&2
exit "$status"
