# Sourced by the wine-run scripts: loads the environment that
# tools/test-env.sh prepared for the build folder $build, and sets $loader.
if [ ! -f "$build/wine/env" ]; then
  echo "The test Windows is not running: tools/test-env.sh start $build" >&2
  exit 1
fi
# shellcheck disable=SC1091
. "$build/wine/env"
loader=${VARNEL_WINE_LOADER:-/usr/lib/wine/wine64}
