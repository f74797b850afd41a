#!/usr/bin/env bash
# Installs the Debian packages a given task needs, only those still missing.
# Usage: scripts/install-deps.sh GROUP...   (groups: build test load fuzz lint windows web web-test)
set -euo pipefail

declare -A groups=(
    [build]="cmake make g++ pkg-config python3 libgtest-dev libgmock-dev libbenchmark-dev libstb-dev libsdl2-dev libx11-dev libgif-dev"
    # The package checks: Debian's own lint, menu-entry and AppStream validators, and
    # the file-type database the package adds to.
    [test]="xfonts-shinonome xvfb xdotool x11-utils imagemagick dpkg-dev lintian desktop-file-utils appstream shared-mime-info"
    # Keeping every core busy while the tests run (make test-under-load).
    [load]="stress-ng"
    [fuzz]="clang-14 libclang-rt-14-dev"
    # make lint: the checker and formatter of the same release as the fuzzers' clang.
    [lint]="clang-tidy-14 clang-format-14"
    [windows]="g++-mingw-w64-x86-64 libstb-dev wine wine64 xvfb xdotool x11-utils imagemagick nsis"
    # The browser build: Debian's emscripten (its own clang, binaryen and
    # node), GoogleTest's sources to build for WebAssembly, and npm (below)
    # for the GIF encoder the page carries.
    [web]="cmake make emscripten libgtest-dev libstb-dev"
    # Its end-to-end tests in three engines: Chromium (playwright-core from
    # npm), Firefox ESR (puppeteer-core from npm) and WebKitGTK's WebDriver
    # with its MiniBrowser, under Xvfb.
    [web-test]="chromium firefox-esr webkit2gtk-driver xvfb"
)

wanted=()
for g in "$@"; do
    if [[ -z "${groups[$g]+x}" ]]; then
        echo "install-deps: unknown group '$g'" >&2
        exit 2
    fi
    # shellcheck disable=SC2206
    wanted+=(${groups[$g]})
done

missing=()
for p in "${wanted[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
# The page's GIF encoder and its test tooling come from npm; a node without
# its npm gets Debian's.
if [[ " $* " == *" web "* || " $* " == *" web-test "* ]] && ! command -v npm >/dev/null; then
    missing+=(npm)
fi
[[ ${#missing[@]} -eq 0 ]] && exit 0

if [[ $(id -u) -eq 0 ]]; then
    as_root=()
elif command -v sudo >/dev/null; then
    as_root=(sudo)
else
    echo "install-deps: these packages are missing and there is no sudo to install them: ${missing[*]}" >&2
    exit 1
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
