#!/usr/bin/env bash
# Measures the game's mean tick period under wine over 20 s (1000 ticks) in a
# private Xvfb display, with the game's thread held up once for 85 ms inside a
# tick; passes when the mean lies within 1% of 20 ms and the stall brought no
# burst of catch-up ticks. 85 ms ends early in a period, so the tick after the
# late one is due about 15 ms later (a burst would bring three at once).
#   tests/windows/tick_period.sh TICK_PROBE_EXE [TICKS]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/windows/xvfb.sh
source "$here/xvfb.sh"

[[ $# -ge 1 ]] || fail "usage: $0 TICK_PROBE_EXE [TICKS]"
need windows wine Xvfb
probe=$(realpath "$1")
work=$(mktemp -d "${TMPDIR:-/tmp}/nuvalo-ticks.XXXXXX")
trap 'cleanup; rm -rf "$work"' EXIT
start_xvfb
cd "$work"
# Wine's own messages go to a log, shown only when the measurement fails.
status=0
"$here/wine-run.sh" "$probe" --ticks "${2:-1000}" --stall 85 2>"$work/wine.log" || status=$?
if [[ $status != 0 ]]; then
    cat "$work/wine.log" >&2
fi
exit "$status"
