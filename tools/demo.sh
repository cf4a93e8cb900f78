#!/usr/bin/env bash
# Builds the program (64-bit, the build this machine can run) and starts it
# under Wine, then shows what it did: its exit code and the working tree it
# prepared under the temporary folder.
#   tools/demo.sh [COMMAND LINE FOR THE PROGRAM]    (default: an empty one)
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-packages.sh
cmake --preset test-x64 >/dev/null
cmake --build --preset test-x64 --target varnel_setup

build=build/test-x64
# A Windows of its own, so that a test run in progress is left alone.
demo=build/demo
mkdir -p $demo
trap 'tools/test-env.sh stop $demo' EXIT
tools/test-env.sh start $demo
# shellcheck disable=SC1091
. $demo/wine/env
# The user's own display, when there is one, shows the program's windows.
[ -n "${VARNEL_DEMO_DISPLAY:-}" ] && export DISPLAY=$VARNEL_DEMO_DISPLAY

echo "== Starting varnel_setup.exe $*"
status=0
/usr/lib/wine/wine64 "$build/bin/varnel_setup.exe" "$@" || status=$?
echo "== Exit code: $status"
temp=$(/usr/lib/wine/wine64 cmd /c echo %TEMP% 2>/dev/null | tr -d '\r')
tree=$(/usr/lib/wine/wine64 winepath -u "$temp\\varnel" 2>/dev/null)
echo "== Working tree $temp\\varnel:"
find "$tree" -printf '   %P\n' | sort
