#!/usr/bin/env bash
# Installs, from Debian's packages, everything that building, running and
# testing StockAt needs. Safe to run again: apt-get skips what is there.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev
  libncurses-dev libcli11-dev libcpp-httplib-dev libssl-dev libsystemd-dev nlohmann-json3-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libssl-dev libcurl4-openssl-dev
  gammu gammu-smsd dbus dbus-x11 python3 python3-dbusmock python3-aiosmtpd
  tmux curl htop procps
  help2man man-db groff-base lintian file
  systemd
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
