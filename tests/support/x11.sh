# shellcheck shell=bash
# Sourced by the tests that drive a game on a private X server: starting the
# server, waiting for a program to end, and the tools a test needs.

# Fails the test (exit 1) unless every tool is installed; GROUP is the group
# of scripts/install-deps.sh that installs them.
#   need GROUP TOOL...
need() {
    local group=$1 tool
    shift
    for tool in "$@"; do
        command -v "$tool" >/dev/null || {
            echo "FAIL: $tool is missing (scripts/install-deps.sh $group installs it)" >&2
            exit 1
        }
    done
}

# Starts Xvfb on the first free display number and exports DISPLAY; the
# server's pid is in $xvfb_pid, for the caller to stop. Returns 1 when no
# server comes up; the server's own messages are in LOG.
#   xvfb_start SCREEN LOG      e.g. xvfb_start 800x600x24 "$work/xvfb.log"
xvfb_start() {
    local screen=$1 log=$2 number i
    number=$(mktemp)
    Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp 3>"$number" >/dev/null 2>"$log" &
    xvfb_pid=$!
    # A server that cannot start ends, so only a slow start waits long.
    for ((i = 0; i < 300; i++)); do
        [[ -s $number ]] && break
        kill -0 "$xvfb_pid" 2>/dev/null || break
        sleep 0.1
    done
    if [[ ! -s $number ]]; then
        rm -f "$number"
        return 1
    fi
    DISPLAY=":$(head -n 1 "$number")"
    export DISPLAY
    rm -f "$number"
}

# Waits up to SECONDS for the started process PID to end and puts its exit
# status in $rc; returns 1 when it is still running.
#   wait_exit PID SECONDS
# shellcheck disable=SC2034 # rc is the caller's
wait_exit() {
    local pid=$1 limit=$2 i
    for ((i = 0; i < limit * 10; i++)); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -0 "$pid" 2>/dev/null && return 1
    rc=0
    wait "$pid" || rc=$?
    return 0
}
