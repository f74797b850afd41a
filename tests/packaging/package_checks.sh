#!/usr/bin/env bash
# Makes the .deb from the build with CPack and has Debian's tools judge it:
# lintian at every level with nothing to say, the menu entry and the AppStream
# entry valid, the files players and the desktop look for where they look, the
# changelog and the release list at the package's version, the run records'
# file type as the desktop reads it, and the launcher starting the game from
# the unpacked tree.
#   package_checks.sh CPACK CPACK_CONFIG WORK_DIR CHANGELOG
set -uo pipefail
cpack=$1 config=$2 work=$3 changelog=$4

fail() { echo "FAIL: $*" >&2; exit 1; }

for tool in lintian desktop-file-validate appstreamcli dpkg-deb dpkg-parsechangelog update-mime-database; do
    command -v "$tool" >/dev/null ||
        fail "$tool is missing (scripts/install-deps.sh test installs the package checks)"
done

rm -rf "$work"
mkdir -p "$work"
"$cpack" -G DEB --config "$config" -B "$work/out" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; fail "cpack"; }
debs=("$work"/out/*.deb)
[[ ${#debs[@]} -eq 1 && -f ${debs[0]} ]] || fail "expected one .deb, got: ${debs[*]}"
deb=${debs[0]}
echo "== $deb"

# Lintian says "running with root privileges" on stderr under root; only its
# findings, on stdout, count.
lintian --pedantic --display-info --display-experimental --fail-on error,warning,info,pedantic \
    "$deb" >"$work/lintian.log"
rc=$?
cat "$work/lintian.log"
[[ $rc -eq 0 && ! -s $work/lintian.log ]] || fail "lintian (status $rc)"

root=$work/root
dpkg-deb -x "$deb" "$root" || fail "dpkg-deb -x"
desktop-file-validate "$root"/usr/share/applications/org.example.nuvalo.desktop ||
    fail "desktop-file-validate"
# The tree as a whole: the entry's menu file and icon are found beside it.
appstreamcli validate-tree --no-net --pedantic "$root" >"$work/appstream.log" 2>&1
rc=$?
cat "$work/appstream.log"
[[ $rc -eq 0 ]] && ! grep -qE '^ +[EWIP]: ' "$work/appstream.log" || fail "appstreamcli validate-tree"

dpkg-deb -c "$deb" | awk '{print $NF}' >"$work/contents"
wanted=(./usr/games/nuvalo ./usr/share/man/man6/nuvalo.6.gz ./usr/share/doc/nuvalo/README
        ./usr/share/metainfo/org.example.nuvalo.metainfo.xml
        ./usr/share/mime/packages/org.example.nuvalo.xml
        ./usr/share/icons/hicolor/scalable/apps/nuvalo.svg)
for size in 16 24 32 48 64 128 256; do
    wanted+=("./usr/share/icons/hicolor/${size}x${size}/apps/nuvalo.png")
done
for path in "${wanted[@]}"; do
    grep -qxF "$path" "$work/contents" || fail "$path is not in the package"
done

# The desktop's file-type database built from the package's part alone: .nuvrun
# by name and "NUVR" by content, the type the menu entry opens.
# (It says nothing unless something is wrong, even a file it cannot parse.)
mime=$work/share/mime
mkdir -p "$mime/packages"
cp "$root"/usr/share/mime/packages/org.example.nuvalo.xml "$mime/packages/"
XDG_DATA_DIRS=$work/share update-mime-database "$mime" >"$work/mime.log" 2>&1 &&
    [[ ! -s $work/mime.log ]] || { cat "$work/mime.log"; fail "update-mime-database"; }
grep -qx '50:application/x-nuvalo-run:\*\.nuvrun' "$mime/globs2" || fail "no *.nuvrun in the globs"
grep -aq '^\[50:application/x-nuvalo-run\]$' "$mime/magic" && grep -aq 'NUVR' "$mime/magic" ||
    fail "no NUVR in the magic"
grep -qx 'MimeType=application/x-nuvalo-run;' "$root"/usr/share/applications/org.example.nuvalo.desktop ||
    fail "the menu entry does not open run records"

version=$(dpkg-deb -f "$deb" Version)
logged=$(dpkg-parsechangelog -l "$changelog" -S Version)
[[ $logged == "$version" ]] || fail "packaging/changelog's newest entry is $logged, the package $version"
released=$(grep -o -m1 '<release version="[^"]*"' \
    "$root"/usr/share/metainfo/org.example.nuvalo.metainfo.xml | cut -d'"' -f2)
[[ $released == "$version" ]] || fail "the metainfo's newest release is $released, the package $version"

# The launcher finds the game and its sounds relative to itself wherever the
# tree is unpacked; with no display the game then says so and ends with 1.
home=$work/home
mkdir -p "$home/runtime"
env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER SDL_AUDIODRIVER=dummy \
    XDG_DATA_HOME="$home" XDG_RUNTIME_DIR="$home/runtime" \
    timeout 20 "$root"/usr/games/nuvalo >/dev/null 2>"$work/launch.log"
rc=$?
cat "$work/launch.log"
[[ $rc -eq 1 ]] && grep -q "cannot open a display" "$work/launch.log" ||
    fail "the unpacked launcher ended with $rc"
[[ $(readlink -f "$home/nuvalo/Ton") == "$(readlink -f "$root/usr/share/nuvalo/Ton")" ]] ||
    fail "the player's Ton does not lead to the unpacked sounds"
# A run named by a path relative to where the command was given is found,
# though the game runs in its own folder: this one is no record, and it is
# refused for what it holds.
printf 'NUVR' >"$work/not-a-run.nuvrun"
(cd "$work" && env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER SDL_AUDIODRIVER=dummy \
    XDG_DATA_HOME="$home" XDG_RUNTIME_DIR="$home/runtime" \
    timeout 20 "$root"/usr/games/nuvalo --replay not-a-run.nuvrun >/dev/null 2>"$work/launch.log")
rc=$?
cat "$work/launch.log"
[[ $rc -eq 2 && $(wc -l <"$work/launch.log") == 1 ]] && grep -q '^nuvalo: ' "$work/launch.log" &&
    ! grep -q 'cannot open' "$work/launch.log" || fail "the launcher lost the run's relative path ($rc)"
# The launcher's own failures: one line from the game naming the folder and
# why, exit 1, nothing made at the root of the file system. Played by an
# ordinary user (nobody, whose home the password database gives as a folder
# that cannot be made), from a folder that user can reach.
if (($(id -u) == 0)) && id nobody >/dev/null 2>&1 && command -v setpriv >/dev/null; then
    as_nobody=(setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups)
    open=$(mktemp -d)
    chmod 755 "$open"
    cp -a "$root" "$open/root"
    mkdir -m 555 "$open/read-only"
    nobody_home=$(getent passwd nobody | cut -d: -f6)
    launch_as_nobody() { # expected-folder VAR=value...
        local folder=$1
        shift
        env -i PATH=/usr/bin:/bin "$@" "${as_nobody[@]}" timeout 20 "$open/root/usr/games/nuvalo" \
            >/dev/null 2>"$work/launch.log"
        rc=$?
        [[ $rc == 1 && $(wc -l <"$work/launch.log") == 1 ]] &&
            grep -q "^nuvalo: cannot make the game folder $folder (" "$work/launch.log" || {
            cat "$work/launch.log"
            rm -rf "$open"
            fail "the launcher ($*) ended with $rc, without the one line about $folder"
        }
    }
    [[ ! -e $nobody_home ]] && launch_as_nobody "$nobody_home/.local/share/nuvalo"
    launch_as_nobody "$open/read-only/nuvalo" XDG_DATA_HOME="$open/read-only"
    rm -rf "$open"
    [[ ! -e /.local ]] || fail "a folder was made at the root of the file system"
fi
# The game runs by its own path (as ps shows it), not one through games/../.
home=$work/home-dummy
mkdir -p "$home/runtime"
env SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy XDG_DATA_HOME="$home" \
    XDG_RUNTIME_DIR="$home/runtime" "$root"/usr/games/nuvalo >/dev/null 2>&1 &
launched=$!
for _ in $(seq 100); do
    [[ $(readlink "/proc/$launched/exe" 2>/dev/null) == */libexec/nuvalo/nuvalo ]] && break
    sleep 0.1
done
program=$(tr '\0' '\n' <"/proc/$launched/cmdline" 2>/dev/null | head -n 1)
kill -TERM "$launched" 2>/dev/null
wait "$launched"
[[ $program == "$(readlink -f "$root/usr/libexec/nuvalo/nuvalo")" ]] ||
    fail "the game runs as '$program', not by its real path"
echo "PASS"
