#!/usr/bin/env bash
# Plays the game from the run directory "run/" at the top of the source tree.
# The game reads its sounds from "Ton" and keeps its best score in "save.dat"
# in the directory it runs in, so both live there between plays.
#   scripts/run.sh [BUILD_DIR]      (default build/dev; `make run` calls this)
set -euo pipefail
build=${1:-build/dev}
root=$(cd "$(dirname "$0")/.." && pwd)
rundir="$root/run"
[[ $build == /* ]] || build="$root/$build"
game="$build/app/sdl/nuvalo"
if [[ ! -x $game ]]; then
    echo "run.sh: $game is not built (the desktop game needs NUVALO_BUILD_SDL=ON and libsdl2-dev)" >&2
    exit 1
fi
mkdir -p "$rundir/Ton"
# Newer sounds from the tree replace older copies; a sound the player put
# there himself, newer than the tree's, is kept.
cp -u "$root"/resources/Ton/*.wav "$rundir/Ton/"
cd "$rundir"
echo "Nuvalo plays in $rundir (best score in save.dat there)."
exec "$game"
