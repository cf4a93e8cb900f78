#!/usr/bin/env bash
# Runs a Windows program of a test build under Wine as the unprivileged user
# nobody, in a prefix of its own kept in the build folder. Wine run by root
# lets read-only files be overwritten, as Windows never does; tests about
# read-only files run here as well.
#   tools/wine-run-unprivileged.sh BUILD_DIR program.exe [arguments...]
# The display, locale and loader are those tools/test-env.sh prepared.
set -eu
build=$(cd "$1" && pwd)
shift
# shellcheck source=tools/wine-env.sh
. "$(dirname "$0")/wine-env.sh"
state=$build/wine-unprivileged
id=65534

mkdir -p "$state/home"
chown "$id:$id" "$state" "$state/home"
as_user() {
  setpriv --reuid=$id --regid=$id --clear-groups \
    env HOME="$state/home" USER=nobody WINEPREFIX="$state/prefix" "$@"
}

if [ ! -f "$state/prefix/.varnel-ready" ]; then
  rm -rf "$state/prefix"
  as_user /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
  as_user /usr/lib/wine/wineserver -w
  as_user /usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\X11 Driver' /v Managed \
    /t REG_SZ /d N /f >/dev/null 2>&1
  as_user /usr/lib/wine/wineserver -w
  as_user touch "$state/prefix/.varnel-ready"
fi

status=0
as_user "$loader" "$@" || status=$?
as_user /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
exit $status
