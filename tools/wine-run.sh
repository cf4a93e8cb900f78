#!/usr/bin/env bash
# Runs a Windows program of a test build under Wine (wine64 for the 64-bit
# face, the 32-bit loader for the 32-bit one), in the environment that
# tools/test-env.sh prepared. CTest uses it as the emulator:
#   tools/wine-run.sh BUILD_DIR program.exe [arguments...]
set -eu
build=$1
shift
# shellcheck source=tools/wine-env.sh
. "$(dirname "$0")/wine-env.sh"
# Wine takes the program's ANSI code page from the Unix locale. The prepared
# environment gives the Polish one (1250); a test run again under another
# code page names its locale here.
if [ -n "${VARNEL_LOCALE:-}" ]; then export LC_ALL=$VARNEL_LOCALE; fi

# CTest lists the tests of every program on each run. Wine has been seen to
# crash on exit after a complete listing ("Inconsistency detected by ld.so:
# dl-fini.c", exit 127), which made the whole run fail before any test: a
# listing is therefore tried up to three times, and only a successful one is
# passed on.
for argument in "$@"; do
  if [ "$argument" = --gtest_list_tests ]; then
    out=$(mktemp)
    for attempt in 1 2 3; do
      if "$loader" "$@" >"$out"; then
        cat "$out"
        rm -f "$out"
        exit 0
      fi
      echo "wine-run: listing $1 failed (attempt $attempt), trying again" >&2
      sleep 1
    done
    cat "$out"
    rm -f "$out"
    exit 1
  fi
done
# The test authority joins the trusted ones for this program only (see
# tools/test-env.sh); Wine reads the bundle in the program's own process.
started=$(date +%s%3N)
status=0
if [ -n "${VARNEL_CERT_BUNDLE:-}" ] && [ -f "$VARNEL_CERT_BUNDLE" ]; then
  unshare --mount --propagation private sh -c \
    'mount --bind "$0" /etc/ssl/certs/ca-certificates.crt && exec "$@"' \
    "$VARNEL_CERT_BUNDLE" "$loader" "$@" || status=$?
else
  "$loader" "$@" || status=$?
fi
# A test once failed in 40 ms without a line of output (Wine reports its
# own errors to nobody under WINEDEBUG=-all): the status and the time then
# say at least how it ended.
if [ $status != 0 ]; then
  echo "wine-run: $(basename "$1") ended with status $status after $(($(date +%s%3N) - started)) ms" >&2
fi
exit $status
