#!/usr/bin/env bash
# Installs what building and testing need on a bare Debian 12 machine.
# Idempotent; set VARNEL_SKIP_INSTALL=1 to skip it on a machine already set up.
#
# Side effects on the machine beyond the packages: the i386 architecture is
# added to dpkg (for wine32), the Polish, English and Russian locales are
# enabled in /etc/locale.gen and generated, and the machine's own nginx service
# is stopped and disabled (the tests and the demo start nginx as a program of
# their own).
set -euo pipefail
[ "${VARNEL_SKIP_INSTALL:-0}" = 1 ] && exit 0

packages=(
  cmake ninja-build python3
  g++-mingw-w64-i686 g++-mingw-w64-x86-64   # the product and the test builds
  googletest                                 # built from source with the test builds
  wine wine64 wine32:i386                    # the Windows the tests run on, 64- and 32-bit
  fonts-liberation fonts-wine                # Arial's and Tahoma's metrics for the dialog
  xvfb x11-utils imagemagick xdotool         # windows without a screen, screenshots, the demo's clicks
  nginx-light                                # a real static server (and proxy) for the update tree
  openssl ca-certificates                    # the test authority of the HTTPS tests
  osslsigncode                               # Authenticode signatures: the signed release and the signed stand-ins
)
export DEBIAN_FRONTEND=noninteractive
dpkg --add-architecture i386
apt-get update -q

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
# nginx is used as a program of the tests, never as a service of the machine.
if command -v systemctl >/dev/null 2>&1; then systemctl disable --now nginx >/dev/null 2>&1 || true; fi
# Only the machine's own instance (its pid file): a demo's or a test's nginx
# may be running beside it.
if [ -s /run/nginx.pid ]; then kill "$(cat /run/nginx.pid)" >/dev/null 2>&1 || true; fi
