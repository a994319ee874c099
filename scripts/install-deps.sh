#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the build, the tests and the demo need and this
# machine does not have yet. Safe to run again: it does nothing when everything is there.
set -euo pipefail

# One group a line.
PACKAGES=(
  cmake make g++ googletest
  clang-format
  clang libclang-rt-14-dev libfuzzer-14-dev
  g++-mingw-w64-i686 binutils-mingw-w64-i686
  g++-mingw-w64-x86-64-win32 binutils-mingw-w64-x86-64
  wine wine32:i386 wine64
  xvfb xauth x11-utils xdotool imagemagick
  openssl osslsigncode python3 python3-pil nginx-light tinyproxy curl
  softhsm2 libengine-pkcs11-openssl opensc
  fonts-liberation fonts-wine
)
# Packages that bring system services of their own; the tests start private instances.
SERVICES=(nginx tinyproxy)

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

has_service() {  # has_service NAME: a systemd unit or an init script of that name is installed
  [ -e "/lib/systemd/system/$1.service" ] || [ -e "/usr/lib/systemd/system/$1.service" ] ||
    [ -e "/etc/init.d/$1" ]
}
# Services the machine had before this run are left exactly as they are (enabled, running).
services_before=()
for svc in "${SERVICES[@]}"; do
  if has_service "$svc"; then services_before+=("$svc"); fi
done

echo "install-deps: installing ${missing[*]}"
$SUDO dpkg --add-architecture i386
# A mirror caught mid-sync fails one index now and then ("File has unexpected size"): try again,
# then go on with the lists that did arrive; the install below says so if a package is missing.
lists_complete=0
for try in 1 2 3; do
  if $SUDO env DEBIAN_FRONTEND=noninteractive apt-get update -q; then lists_complete=1; break; fi
  if [ $try = 3 ]; then
    echo "install-deps: some package lists did not download; going on with those that did" >&2
  else
    sleep 20
  fi
done

# While packages install, a policy file keeps them from starting services (nginx would fail when
# port 80 is taken). It must not outlive this script: while it exists, no service on the machine
# can be started by the package tools, so it goes on every way out, interruptions included.
policy=/usr/sbin/policy-rc.d
made_policy=0
remove_policy() {
  if [ $made_policy = 1 ]; then
    $SUDO rm -f "$policy"
    made_policy=0
  fi
}
trap remove_policy EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP
if [ ! -e "$policy" ]; then
  made_policy=1
  printf '#!/bin/sh\nexit 101\n' | $SUDO tee "$policy" >/dev/null
  $SUDO chmod +x "$policy"
fi
install() {
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "$@" \
    "${PACKAGES[@]}"
}
if ! install; then
  # Without one architecture's security list, a library that both architectures need in the
  # same version (wine32's i386 ones beside the amd64 ones) can have a newer amd64 candidate
  # than any i386 one: then both take the release's own versions.
  [ $lists_complete = 0 ] || exit 1
  release=$(. /etc/os-release && echo "$VERSION_CODENAME")
  echo "install-deps: trying again with the versions of $release itself" >&2
  install -t "$release"
fi
remove_policy

# A service that this run brought in is switched off (the package enabled it); the machine's
# own services stay as they were.
for svc in "${SERVICES[@]}"; do
  case " ${services_before[*]} " in *" $svc "*) continue ;; esac
  has_service "$svc" || continue
  $SUDO systemctl disable --now "$svc" >/dev/null 2>&1 ||
    { $SUDO update-rc.d "$svc" disable >/dev/null 2>&1; $SUDO service "$svc" stop >/dev/null 2>&1; } ||
    true
done
