#!/usr/bin/env bash
# Runs a Windows program of the test build under 64-bit Wine, in the
# environment that tools/test-env.sh prepared. CTest uses it as the emulator:
#   tools/wine-run.sh BUILD_DIR program.exe [arguments...]
set -eu
build=$1
shift
if [ ! -f "$build/wine/env" ]; then
  echo "The test Windows is not running: tools/test-env.sh start $build" >&2
  exit 1
fi
# shellcheck disable=SC1091
. "$build/wine/env"
exec /usr/lib/wine/wine64 "$@"
