# Sourced by the wine tests: a private X display and clean-up of everything the
# test started. Only processes started here are ever stopped.
# shellcheck source=tests/support/x11.sh
source "$(dirname "${BASH_SOURCE[0]}")/../support/x11.sh"

started_pids=()
xvfb_pid=""

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

cleanup() {
    local pid
    for pid in "${started_pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    # Let this display's wine session end before the display goes away.
    "$here/wine-run.sh" --end-session 30 || true
    if [[ -n $xvfb_pid ]]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
}

# Cleans up when the script ends, and removes its work folder after a pass;
# after a failure the folder is kept for a look, and the script says so.
#   keep_work_on_failure WORK_DIR "what it holds"
keep_work_on_failure() {
    kept_dir=$1 kept_what=$2
    trap finish_work EXIT
}
finish_work() {
    local status=$?
    cleanup
    if [[ $status == 0 ]]; then
        rm -rf "$kept_dir"
    else
        echo "$kept_what kept in $kept_dir" >&2
    fi
}

# Starts Xvfb on a free display number and exports DISPLAY. Wine runs one
# desktop per session, bound to the display of the session's first program, so
# a session still left by earlier tests (started without a display) must end
# first; the CTest registration runs these tests on their own for that.
start_xvfb() {
    "$here/wine-run.sh" --end-session 60 || fail "an earlier wine session does not end"
    xvfb_start 1280x1024x24 /dev/null || fail "Xvfb did not start"
}

# Waits up to $2 seconds (default 30) until exactly $1 top-level windows named
# "Nuvalo" exist; prints their ids.
wait_for_windows() {
    local want=$1 limit=${2:-30} ids i
    for ((i = 0; i < limit * 10; i++)); do
        ids=$(xdotool search --onlyvisible --name '^Nuvalo$' 2>/dev/null || true)
        if [[ $(grep -c . <<<"$ids") -eq $want ]]; then
            echo "$ids"
            return 0
        fi
        sleep 0.1
    done
    return 1
}
