#!/usr/bin/env bash
# The Windows installer under wine, in a wine prefix of its own (a new user's
# machine) and a private Xvfb display: a silent install for the current user,
# the Start-menu shortcut starting the installed game in the install folder, a
# run whose score (and record) the game keeps there, .nuvrun files opening in
# the game, then a silent uninstall through the uninstall entry that takes
# everything the installer put there but what the game kept.
#   tests/windows/installer.sh SETUP_EXE TON_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/windows/xvfb.sh
source "$here/xvfb.sh"

[[ $# -eq 2 ]] || fail "usage: $0 SETUP_EXE TON_DIR"
[[ -f $1 ]] || fail "no installer at $1 (cmake --build --preset windows --target installer)"
setup=$(realpath "$1") ton=$(realpath "$2")
need windows wine Xvfb xdotool python3
wine_run=$here/wine-run.sh

work=$(mktemp -d "${TMPDIR:-/tmp}/nuvalo-installer.XXXXXX")
keep_work_on_failure "$work" "the wine prefix and wine's messages"
export NUVALO_WINEPREFIX=$work/prefix
# Wine would copy the Start-menu shortcut into this machine's own menu.
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
log=$work/wine.log

start_xvfb
"$wine_run" --prepare 2>>"$log"

unix_path() { # windows path -> the file in the prefix
    realpath -m "$("$wine_run" winepath -u "$1" 2>>"$log")"
}
windows_folder() { # variable name, e.g. LOCALAPPDATA -> its folder in the prefix
    unix_path "$("$wine_run" cmd /c echo "%$1%" 2>>"$log" | tr -d '\r')"
}
key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Nuvalo'
registry_value() { # name -> its data in the uninstall entry, empty when missing
    "$wine_run" reg query "$key" /v "$1" 2>>"$log" | tr -d '\r' |
        sed -n "s/^ *$1 *REG_[A-Z_]* *//p" || true
}
classes='HKCU\Software\Classes'
association() { # -> the program .nuvrun files open with, empty when none
    local progid
    progid=$("$wine_run" reg query "$classes\.nuvrun" /ve 2>>"$log" | tr -d '\r' |
        sed -n 's/^ *([^)]*) *REG_SZ *//p' || true)
    [[ -z $progid ]] || "$wine_run" reg query "$classes\\$progid\shell\open\command" /ve \
        2>>"$log" | tr -d '\r' | sed -n 's/^ *([^)]*) *REG_SZ *//p' || true
}

"$wine_run" "$setup" /S 2>>"$log" || fail "the silent install failed"
dir=$(windows_folder LOCALAPPDATA)/Programs/Nuvalo
lnk=$(windows_folder APPDATA)/Microsoft/Windows/Start\ Menu/Programs/Nuvalo.lnk
installed=(nuvalo.exe README.txt LICENSE.txt Uninstall.exe)
for file in "${installed[@]}"; do
    [[ -s $dir/$file ]] || fail "$file is not in $dir"
done
for wav in "$ton"/*.wav; do
    cmp -s "$wav" "$dir/Ton/${wav##*/}" || fail "Ton/${wav##*/} is not installed as built"
done
echo "installed in $dir"

for name in DisplayName DisplayVersion Publisher DisplayIcon NoModify NoRepair; do
    [[ -n $(registry_value "$name") ]] || fail "the uninstall entry has no $name"
done
[[ $(unix_path "$(registry_value InstallLocation)") == "$dir" ]] ||
    fail "the uninstall entry's InstallLocation is not $dir"
uninstaller=$(registry_value UninstallString)
uninstaller=${uninstaller//\"/}
[[ $(unix_path "$uninstaller") == "$dir/Uninstall.exe" ]] ||
    fail "the uninstall entry runs $uninstaller"
opens=$(association)
[[ $opens == *'\nuvalo.exe" --replay "%1"' && $(unix_path "$(cut -d'"' -f2 <<<"$opens")") == "$dir/nuvalo.exe" ]] ||
    fail ".nuvrun files open with '$opens'"

# The shortcut's target and working folder, from the .lnk file's LinkInfo
# (the local path) and its WORKING_DIR string; wine counts the strings' final
# NUL, Windows does not.
[[ -f $lnk ]] || fail "no Start-menu shortcut at $lnk"
mapfile -t shortcut < <(python3 - "$lnk" <<'EOF'
import struct, sys
data = open(sys.argv[1], "rb").read()
flags, = struct.unpack_from("<I", data, 0x14)
pos, target, strings = 0x4C, "", {}
if flags & 0x01:  # HasLinkTargetIDList
    pos += 2 + struct.unpack_from("<H", data, pos)[0]
if flags & 0x02:  # HasLinkInfo
    size, _, _, _, base = struct.unpack_from("<5I", data, pos)
    target = data[pos + base:data.index(b"\0", pos + base)].decode("latin-1")
    pos += size
unicode = flags & 0x80
for bit in (0x04, 0x08, 0x10, 0x20, 0x40):  # name, relative path, working dir, ...
    if flags & bit:
        count = struct.unpack_from("<H", data, pos)[0] * (2 if unicode else 1)
        text = data[pos + 2:pos + 2 + count]
        strings[bit] = text.decode("utf-16-le" if unicode else "latin-1").rstrip("\0")
        pos += 2 + count
print(target)
print(strings.get(0x10, ""))
EOF
)
[[ ${#shortcut[@]} == 2 ]] || fail "the shortcut could not be read"
target=${shortcut[0]} start_in=${shortcut[1]}
[[ $(unix_path "$target") == "$dir/nuvalo.exe" ]] || fail "the shortcut starts $target"
[[ -n $start_in && $(unix_path "$start_in") == "$dir" ]] ||
    fail "the shortcut starts the game in '$start_in', not in its install folder"
echo "the shortcut starts $target in $start_in"

# The game as the shortcut starts it. Left alone, a run ends in a crash within
# seconds; the tally that follows saves the score.
(cd "$(unix_path "$start_in")" && exec "$wine_run" "$target" 2>>"$log") &
game=$!
started_pids+=("$game")
window=$(wait_for_windows 1 60) || fail "the installed game showed no window"
xdotool mousemove --window "$window" 100 300
timeout 5 xdotool windowfocus --sync "$window" || fail "cannot focus the game's window"
# Space again every 5 s until a score is saved: a cold wine may not have
# taken the first one, and during a run Space does nothing.
for ((i = 0; i < 900; i++)); do
    [[ ! -s $dir/save.dat ]] || break
    ((i % 50 == 0)) && xdotool keydown space keyup space
    sleep 0.1
done
score=$(cat "$dir/save.dat" 2>/dev/null || true)
[[ $score =~ ^[1-9][0-9]*$ ]] || fail "the game saved no score in $dir (save.dat: '$score')"
# The run's record is written as the result shows, before the tally saves.
[[ -s $dir/last.nuvrun ]] || fail "the game kept no last.nuvrun beside save.dat"
for ((i = 0; i < 100; i++)); do
    [[ ! -s $dir/best.nuvrun ]] || break
    sleep 0.1
done
cmp -s "$dir/last.nuvrun" "$dir/best.nuvrun" || fail "the best run kept is not the run that saved the score"
xdotool key Escape
wait_exit "$game" 30 || fail "the installed game did not end on Escape"
((rc == 0)) || fail "Escape ended the installed game with $rc"
echo "the installed game saved the score $score and closed"

# The uninstaller copies itself away and returns at once; its copy has done its
# work when the wine session ends.
"$wine_run" "$uninstaller" /S 2>>"$log" || fail "the silent uninstall failed"
"$wine_run" --end-session 60 || fail "the uninstaller did not finish"
for file in "${installed[@]}" Ton; do
    [[ ! -e $dir/$file ]] || fail "the uninstaller left $file"
done
[[ ! -e $lnk ]] || fail "the uninstaller left the Start-menu shortcut"
[[ -z $(registry_value DisplayName) ]] || fail "the uninstaller left the uninstall entry"
[[ -z $(association) ]] || fail "the uninstaller left .nuvrun opening with $(association)"
[[ $(cat "$dir/save.dat" 2>/dev/null) == "$score" ]] ||
    fail "the uninstaller did not keep save.dat with the score $score"
[[ -s $dir/last.nuvrun && -s $dir/best.nuvrun ]] || fail "the uninstaller did not keep the runs"
echo "uninstalled; save.dat kept with $score, and the runs"
echo "PASS"
