#!/usr/bin/env bash
# make lint: clang-tidy over the product code (the sources the ci build
# compiles under game/, persist/, render/, host/, clip/, app/ and resources/; tests are
# left to the compiler's warnings) and clang-format over every tracked
# source file. Needs the ci build's compile_commands.json.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/ci
tidy=$(command -v clang-tidy-14 || command -v clang-tidy)
format=$(command -v clang-format-14 || command -v clang-format)

if [[ ! -f $build/compile_commands.json ]]; then
    echo "lint: $build/compile_commands.json is missing; run cmake --preset ci first" >&2
    exit 2
fi

echo "lint: clang-format"
git ls-files -z -- '*.cpp' '*.h' | xargs -0 "$format" --dry-run -Werror

echo "lint: clang-tidy"
root=$(pwd)
python3 - "$build/compile_commands.json" "$root" <<'PY' | xargs -0 -P2 -n4 "$tidy" -p "$build" --quiet
import json, os, sys
root = sys.argv[2] + "/"
seen = set()
for entry in json.load(open(sys.argv[1])):
    path = os.path.normpath(os.path.join(entry["directory"], entry["file"]))
    rel = path[len(root):] if path.startswith(root) else None
    if rel and rel.split("/")[0] in ("game", "persist", "render", "host", "clip", "app", "resources") and rel not in seen:
        seen.add(rel)
        sys.stdout.write(path + "\0")
PY
echo "lint: clean"
