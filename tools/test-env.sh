#!/usr/bin/env bash
# Prepares (start) or tears down (stop) the Windows the tests run on: a Wine
# prefix kept in the build folder, a persistent wineserver and an Xvfb display.
#   tools/test-env.sh start BUILD_DIR
#   tools/test-env.sh stop BUILD_DIR
# `start` writes BUILD_DIR/wine/env, which tools/wine-run.sh reads. The
# prefix is always a 64-bit one: the 64-bit face runs its programs with
# wine64, the 32-bit face (BUILD_DIR/wine-face says x86) with the 32-bit
# loader, under WoW64 as on 64-bit Windows.
set -euo pipefail

action=${1:?start or stop}
build=$(cd "${2:?build folder}" && pwd)
state=$build/wine
mkdir -p "$state"

wine_env() {
  export WINEPREFIX=$state/prefix
  export WINEARCH=win64
  export WINEDEBUG=-all
  # No Mono or Gecko installer prompts.
  export WINEDLLOVERRIDES="mscoree,mshtml="
  # Polish ANSI code page 1250 (OEM 852): without it the program's texts and
  # even the dialog resource come out garbled.
  export LC_ALL=pl_PL.UTF-8
  # Cabinet times are read as local time; tests expect UTC.
  export TZ=UTC
}

stop() {
  if [ -f "$state/env" ]; then
    # shellcheck disable=SC1091
    . "$state/env"
    /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
  fi
  if [ -f "$state/xvfb.pid" ]; then
    kill "$(cat "$state/xvfb.pid")" >/dev/null 2>&1 || true
    rm -f "$state/xvfb.pid"
  fi
  rm -f "$state/env" "$state/display"
}

start() {
  stop
  wine_env
  local loader=/usr/lib/wine/wine64
  if [ "$(cat "$build/wine-face" 2>/dev/null)" = x86 ]; then loader=/usr/lib/wine/wine; fi

  # A free display of Xvfb's own choosing: other programs may hold fixed ones.
  exec 3>"$state/display"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  echo $! >"$state/xvfb.pid"
  exec 3>&-
  for _ in $(seq 100); do
    [ -s "$state/display" ] && break
    sleep 0.1
  done
  [ -s "$state/display" ] || { echo "Xvfb did not start" >&2; exit 1; }
  export DISPLAY=:$(head -n1 "$state/display")

  if [ ! -f "$WINEPREFIX/.varnel-ready" ]; then
    rm -rf "$WINEPREFIX"
    /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
    /usr/lib/wine/wineserver -w
    # Without a window manager every closed message box costs two seconds
    # unless Wine leaves window management to itself.
    /usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
    /usr/lib/wine/wineserver -w
    touch "$WINEPREFIX/.varnel-ready"
  fi

  # One persistent wineserver for the whole run, and Wine's services started
  # detached first, so that they never hold the test runner's output pipes.
  /usr/lib/wine/wineserver -p </dev/null >/dev/null 2>&1
  setsid /usr/lib/wine/wine64 wineboot </dev/null >/dev/null 2>&1 &
  boot=$!
  # Tests start only once Wine's start-up has finished: a program started
  # while it still runs may fail to start at all.
  for _ in $(seq 600); do kill -0 "$boot" 2>/dev/null || break; sleep 0.1; done
  /usr/lib/wine/wine64 cmd /c exit 0 </dev/null >/dev/null 2>&1 || true

  # One desktop for the whole run, started here with no pipe of a test's:
  # Wine ends its desktop process a second after the last program that used
  # it, and a test program that started in that second met a desktop that
  # hung instead of ending (every later box and dialog then failed to appear).
  if [ -f "$build/bin/desktop_keeper.exe" ]; then
    setsid "$loader" "$build/bin/desktop_keeper.exe" </dev/null >/dev/null 2>&1 &
  fi

  # A test authority that the test programs trust and nothing else does:
  # tools/wine-run.sh shows them the system's bundle with it added, in a
  # mount namespace of their own; the machine's bundle stays as it is.
  local certs=$state/certs bundle=
  rm -rf "$certs"
  if [ -f /etc/ssl/certs/ca-certificates.crt ] && command -v openssl >/dev/null &&
     unshare --mount --propagation private true 2>/dev/null &&
     bash "$(dirname "$0")/make_test_certs.sh" "$certs"; then
    bundle=$certs/bundle.crt
    cat /etc/ssl/certs/ca-certificates.crt "$certs/ca.pem" >"$bundle"
  else
    echo "test-env: no test authority (needs openssl, ca-certificates and unshare); the HTTPS tests will fail" >&2
    certs=
  fi

  cat >"$state/env" <<ENV
export WINEPREFIX='$WINEPREFIX'
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES='mscoree,mshtml='
export LC_ALL=pl_PL.UTF-8
export TZ=UTC
export DISPLAY='$DISPLAY'
VARNEL_WINE_LOADER='$loader'
VARNEL_CERT_BUNDLE='$bundle'
export VARNEL_TEST_CERTS='$certs'
ENV
}

case $action in
  start) start ;;
  stop) stop ;;
  *) echo "usage: $0 start|stop BUILD_DIR" >&2; exit 2 ;;
esac
