#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the build, the tests and the demo need and this
# machine does not have yet. Safe to run again: it does nothing when everything is there.
set -euo pipefail

PACKAGES=(
  cmake make g++ googletest
  g++-mingw-w64-i686 binutils-mingw-w64-i686
  wine wine32:i386 wine64
  xvfb xauth x11-utils xdotool imagemagick
  openssl osslsigncode python3 python3-pil nginx-light tinyproxy curl
  fonts-liberation fonts-wine
)

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

missing=()
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  missing+=("i386-architecture")
fi
for p in "${PACKAGES[@]}"; do
  name=${p%%:*}
  arch=${p#*:}; [ "$arch" = "$p" ] && arch=""
  query=$name; [ -n "$arch" ] && query="$name:$arch"
  if ! dpkg-query -W -f='${Status}\n' "$query" 2>/dev/null | grep -q '^install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
$SUDO dpkg --add-architecture i386
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get update -q
# nginx and tinyproxy would start system services while they install (and fail when port 80 is
# taken): the tests start private instances, so no service is started now.
policy=/usr/sbin/policy-rc.d
had_policy=0
[ -e "$policy" ] && had_policy=1
if [ $had_policy = 0 ]; then
  printf '#!/bin/sh\nexit 101\n' | $SUDO tee "$policy" >/dev/null
  $SUDO chmod +x "$policy"
fi
status=0
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
  "${PACKAGES[@]}" || status=$?
[ $had_policy = 0 ] && $SUDO rm -f "$policy"
[ $status = 0 ] || exit $status
# nginx and tinyproxy come with services of their own; the tests start private instances.
for svc in nginx tinyproxy; do
  $SUDO systemctl disable --now "$svc" >/dev/null 2>&1 || $SUDO service "$svc" stop >/dev/null 2>&1 || true
done
