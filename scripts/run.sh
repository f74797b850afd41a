#!/usr/bin/env bash
# Plays the game from a run directory that holds the "Ton" sounds and keeps
# "save.dat" between plays.
set -euo pipefail
build=${1:-build/dev}
root=$(cd "$(dirname "$0")/.." && pwd)
rundir="$root/run"
mkdir -p "$rundir"
if [[ -d "$root/resources/Ton" ]]; then
    mkdir -p "$rundir/Ton"
    cp -u "$root"/resources/Ton/*.wav "$rundir/Ton/" 2>/dev/null || true
fi
cd "$rundir"
if [[ -x "$root/$build/app/nuvalo" ]]; then
    exec "$root/$build/app/nuvalo"
fi
echo "The desktop game is not built yet; playing a demo script headlessly with nuvalo-sim."
exec "$root/$build/app/nuvalo-sim" --seed 1 "$root/app/sim/demo.txt"
