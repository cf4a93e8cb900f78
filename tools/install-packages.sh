#!/usr/bin/env bash
# Installs what building and testing need on a bare Debian 12 machine.
# Idempotent; set VARNEL_SKIP_INSTALL=1 to skip it on a machine already set up.
#
# Side effects on the machine beyond the packages: the i386 architecture is
# added to dpkg (for wine32), the Polish, English and Russian locales are
# enabled in /etc/locale.gen and generated, and the machine's own nginx service
# is stopped and disabled (the tests and the demo start nginx as a program of
# their own).
#
# A package mirror caught mid-sync serves an index with the wrong size for a
# while (seen for an hour: the security suite's i386 packages), and apt-get
# update then fails as a whole. The update is tried three times, then the
# installation goes on with the indexes there are and a warning naming the one
# that failed. wine32:i386 is installed on its own: its libraries must have the
# very versions of their 64-bit twins, which such an index cannot give. When
# it cannot be installed, everything else is, the reason is kept in
# build/wine32-not-installed.txt, and tools/run-tests.sh skips the 32-bit face
# with it and still runs the 64-bit one.
set -euo pipefail
[ "${VARNEL_SKIP_INSTALL:-0}" = 1 ] && exit 0
wine32_note=$(cd "$(dirname "$0")/.." && pwd)/build/wine32-not-installed.txt

packages=(
  cmake ninja-build python3
  g++-mingw-w64-i686 g++-mingw-w64-x86-64   # the product and the test builds
  googletest                                 # built from source with the test builds
  wine wine64                                # the Windows the tests run on (wine32:i386 below)
  fonts-liberation fonts-wine                # Arial's and Tahoma's metrics for the dialog
  xvfb x11-utils imagemagick xdotool         # windows without a screen, screenshots, the demo's clicks
  nginx-light                                # a real static server (and proxy) for the update tree
  openssl ca-certificates                    # the test authority of the HTTPS tests
  osslsigncode                               # Authenticode signatures: the signed release and the signed stand-ins
)
export DEBIAN_FRONTEND=noninteractive
dpkg --add-architecture i386
apt_log=$(mktemp)
trap 'rm -f "$apt_log"' EXIT
update_failed=""
for try in 1 2 3; do
  apt-get update -q 2>&1 | tee "$apt_log" && update_failed="" && break
  # "Err:4 http://... bookworm-security/main i386 Packages" and, on the next
  # line, why.
  update_failed=$(awk '/^Err:/ { sub(/^Err:[0-9]+ /, ""); name = $0; getline why
                                  sub(/^ +/, "", why); sub(/ \[IP: [^]]*\]$/, "", why)
                                  print name " (" why ")" }' "$apt_log" |
                  paste -sd ';' -)
  update_failed=${update_failed:-"no index named (see apt-get's messages above)"}
  [ "$try" = 3 ] || { echo "apt-get update failed (try $try of 3), again in 15 s" >&2; sleep 15; }
done
if [ -n "$update_failed" ]; then
  echo "WARNING: apt-get update failed 3 times; going on with the package indexes there are." >&2
  echo "WARNING: the index that failed: $update_failed" >&2
fi

# Wine takes its ANSI code page from the Unix locale: 1250 from the Polish
# one, which every test runs under, and 1252 and 1251 from the English and
# Russian ones, under which some tests run again to see the Polish texts
# shown right on a Western and a Cyrillic Windows. They are made first, so
# that no later step runs with a locale that does not exist yet.
apt-get install -y -q locales
made=0
for name in pl_PL en_US ru_RU; do
  locale -a 2>/dev/null | grep -qi "^$name.utf8\$" && continue
  sed -i "s/^# *\($name.UTF-8 UTF-8\)/\1/" /etc/locale.gen
  grep -q "^$name.UTF-8 UTF-8" /etc/locale.gen || echo "$name.UTF-8 UTF-8" >>/etc/locale.gen
  made=1
done
[ "$made" = 0 ] || locale-gen >/dev/null

apt-get install -y -q "${packages[@]}"
if apt-get install -y -q wine32:i386 2>&1 | tee "$apt_log"; then
  rm -f "$wine32_note"
else
  why=$(grep -m1 -E ':i386 .*(not going to be installed|not installable)|^E: ' "$apt_log" |
        sed -E 's/^ +//; s/ +/ /g')
  why="wine32:i386 could not be installed (apt-get: $why)"
  [ -z "$update_failed" ] || why="$why after the package index $update_failed failed to download"
  mkdir -p "$(dirname "$wine32_note")"
  echo "$why" >"$wine32_note"
  echo "WARNING: $why; everything else is installed, and the 32-bit tests cannot run." >&2
fi
# nginx is used as a program of the tests, never as a service of the machine.
if command -v systemctl >/dev/null 2>&1; then systemctl disable --now nginx >/dev/null 2>&1 || true; fi
# Only the machine's own instance (its pid file): a demo's or a test's nginx
# may be running beside it.
if [ -s /run/nginx.pid ]; then kill "$(cat /run/nginx.pid)" >/dev/null 2>&1 || true; fi
